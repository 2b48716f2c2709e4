#pragma once
// The delivery record (发货记录): every bill the ledger holds, with its delivery state, a
// filter by state, date and text, the seller's actions on the selected bill and a CSV export
// of the rows the filter shows. A window of its own, not modal. UI thread only.
#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "ledger/ledger.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

class QHBoxLayout;

namespace fahuo {

class Dialogs;
class OrderActions;
class RecordModel;
class Shop;

class RecordWindow : public QWidget {
  Q_OBJECT

 public:
  // `actions` may be null (the action buttons are then disabled); it and `dialogs` outlive
  // the window.
  RecordWindow(Shop& shop, OrderActions* actions, Dialogs& dialogs, QWidget* parent = nullptr);

  // Reads the ledger again (the bills changed), keeping the filter and the selected bill.
  void Reload();
  // Applies the filter fields now (the search field also applies itself after a pause).
  void ApplyFilter();
  // The filter the fields describe.
  LedgerFilter FilterFromFields() const;

  RecordModel& model() { return *model_; }
  QTableView* table() const { return 表格_发货记录; }
  std::optional<std::string> SelectedSerial() const;  // GBK
  bool SelectSerial(const std::string& serial);       // among the rows fetched

  // Asks where to and writes the rows the filter shows as CSV.
  void ExportCsv();

 private:
  void BuildLayout();
  QHBoxLayout* BuildFilters();
  QHBoxLayout* BuildActions();
  void Wire();
  void UpdateButtons();
  void UpdateCount();
  void ShowMenuAt(const QPoint& pos);
  template <typename Action>
  void OnSelected(Action action);

  Shop& shop_;
  QPointer<OrderActions> actions_;
  Dialogs& dialogs_;
  RecordModel* model_ = nullptr;
  QTimer* search_pause_ = nullptr;

  QComboBox* 组合框_状态 = nullptr;
  QCheckBox* 选择框_日期 = nullptr;
  QDateEdit* 日期框_开始 = nullptr;
  QDateEdit* 日期框_结束 = nullptr;
  QLineEdit* 编辑框_搜索 = nullptr;
  QPushButton* 按钮_刷新 = nullptr;
  QTableView* 表格_发货记录 = nullptr;
  QPushButton* 按钮_重新发送 = nullptr;
  QPushButton* 按钮_发送到其他邮箱 = nullptr;
  QPushButton* 按钮_标记为已处理 = nullptr;
  QPushButton* 按钮_复制流水号 = nullptr;
  QPushButton* 按钮_导出 = nullptr;
  QLabel* 标签_合计 = nullptr;
};

}  // namespace fahuo
