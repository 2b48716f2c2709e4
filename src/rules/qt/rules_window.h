#pragma once
// The window in which the seller adds, changes, deletes and saves the delivery rules. Edits
// live in its list until Save; closing it any other way discards them.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "rules/delivery_rule.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace fahuo {

class Dialogs;

class RulesWindow : public QDialog {
  Q_OBJECT
 public:
  // Fills the list from the rule table at `table_path`; a missing table gives an empty
  // list. A table that cannot be read, or holds more rules than the list shows, is named in
  // a box, and the save then renames it aside instead of replacing it. Saves publish the
  // rules to `book`. Boxes go through `dialogs`. Both outlive the window.
  RulesWindow(std::string table_path, RuleBook& book, Dialogs& dialogs, QWidget* parent = nullptr);

  // The rules the list holds now, in row order, as Save would store them.
  std::vector<DeliveryRule> ListedRules() const;

  // Closing with changes that were not saved asks whether to save them first.
  void reject() override;

  // 发送预览 mails the selected rule (the edit boxes' rule without a selection), filled with
  // a sample order, to the seller's own address. The window knows no mail account and no
  // orders: its owner hands in what sends a preview of a rule. The sending must not block
  // the UI thread; it shows its own answer and calls `done` on the UI thread when over (at
  // once when it refuses). The button stays disabled until the hook is set.
  using PreviewSender = std::function<void(const DeliveryRule& rule, std::function<void()> done)>;
  void SetPreviewHook(PreviewSender send);
  // 库存管理 opens the stocks of codes over `over` (this window); hidden until handed in.
  using StockOpener = std::function<void(QWidget* over)>;
  void SetStockHook(StockOpener open);

 protected:
  // Ctrl+Tab types a tab into the body; Tab alone moves on to the next control.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void FillFromTable();
  void AppendRow(const DeliveryRule& rule);
  // 0-based row of the selected rule, -1 without one.
  int CurrentSelection() const;
  // Reads the four edit boxes; shows the first problem and returns false when the rule
  // may not enter the list.
  bool ReadEntry(DeliveryRule* rule);
  // Whether the edit boxes hold a rule that is in no row (typed, then not added).
  bool EntryPending() const;
  // Names the first other rule whose range meets row `row`'s, and the rule that wins.
  void WarnOverlap(int row);
  void MoveSelected(int by);
  void Inform(const QString& text, const QString& caption = {});
  bool AskYes(const QString& text);

  void OnListDoubleClicked();
  void OnAdd();
  void OnModify();
  void OnDelete();
  void OnSave();
  void OnHelp();
  void OnSendPreview();
  void OnBodyChanged();
  void OnMoveUp() { MoveSelected(-1); }
  void OnMoveDown() { MoveSelected(1); }

  QTreeWidget* 超级列表框1 = nullptr;
  QGroupBox* 分组框1 = nullptr;
  QLabel* 标签1 = nullptr;
  QLineEdit* 编辑框_最小金额 = nullptr;
  QLabel* 标签2 = nullptr;
  QLineEdit* 编辑框_最大金额 = nullptr;
  QLabel* 标签4 = nullptr;
  QLineEdit* 编辑框_标题 = nullptr;
  QLabel* 标签3 = nullptr;
  QPlainTextEdit* 编辑框_内容 = nullptr;
  QPushButton* 按钮_添加 = nullptr;
  QPushButton* 按钮_删除 = nullptr;
  QPushButton* 按钮_保存 = nullptr;
  QPushButton* 按钮_修改 = nullptr;
  QPushButton* 按钮1 = nullptr;
  QLineEdit* 编辑框1 = nullptr;
  // Below the list: the first matching rule wins, so the order matters.
  QPushButton* 按钮_上移 = nullptr;
  QPushButton* 按钮_下移 = nullptr;
  QPushButton* 按钮_发送预览 = nullptr;
  QPushButton* 按钮_库存管理 = nullptr;

  const std::string table_path_;
  RuleBook& book_;
  Dialogs& dialogs_;
  PreviewSender send_preview_;
  StockOpener open_stocks_;

  bool keep_old_table_ = false;
  bool changed_ = false;  // the list differs from the table
};

}  // namespace fahuo
