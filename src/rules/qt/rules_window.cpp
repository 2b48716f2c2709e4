#include "rules/qt/rules_window.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTreeWidget>
#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/gbk.h"
#include "rules/rule_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

constexpr int kSubjectMaxChars = 100;
constexpr int kBodyMaxChars = 512;

enum Column { kMinimumColumn = 0, kMaximumColumn, kSubjectColumn, kBodyColumn, kColumnCount };

const char kHelpText[] =
    "根据不同的金额来识别来发送不同的邮件，比如收到98元发泡妞教程;收到198元发网赚教程。"
    "例：泡妞教程98元可以设置最大最小都是98元或者最小设置一个小于98的，最大设置一个大于98的，"
    "与其它设置不干涉即可。";

const char kPlaceholderHelp[] =
    "邮件标题和内容中可以写 {流水号} {金额} {名称} {对方} {日期} {备注}，发送时按每笔订单替换"
    "成该订单的内容；不认识的花括号按原样发送。点“发送预览”可用一笔示例订单发一封给自己看看。\n"
    "{卡密:名称} 换成库存“名称”中的一个卡密（{卡密} 取库存“默认”）：每笔订单一个，同一封邮件里"
    "写几次都是同一个，重新发送仍是这个；库存用完时订单显示“缺货”，补充卡密后自动发出。"
    "补充卡密：fahuo-cli stock add --data-dir 数据文件夹 名称 文件。";

const char kContactNotice[] = "问题反馈：请联系软件提供者";

template <typename W>
W* Make(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(x, y, w, h);
  return widget;
}

template <typename W>
W* MakeCaptioned(QWidget* parent, const char* name, int x, int y, int w, int h,
                 const char* caption) {
  W* widget = Make<W>(parent, name, x, y, w, h);
  widget->setText(QString::fromUtf8(caption));
  return widget;
}

void SetRowTexts(QTreeWidgetItem* item, const DeliveryRule& rule) {
  item->setText(kMinimumColumn, QString::fromStdString(AmountToText(rule.minimum)));
  item->setText(kMaximumColumn, QString::fromStdString(AmountToText(rule.maximum)));
  item->setText(kSubjectColumn, FromGbk(rule.subject));
  item->setText(kBodyColumn, FromGbk(rule.body));
}

}  // namespace

RulesWindow::RulesWindow(std::string table_path, RuleBook& book, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), table_path_(std::move(table_path)), book_(book), dialogs_(dialogs) {
  setObjectName(QStringLiteral("RulesWindow"));
  setWindowTitle(QStringLiteral("自动发货邮件内容设置"));
  setGeometry(50, 50, 640, 581);
  setFixedSize(640, 581);
  BuildControls();
  FillFromTable();
}

void RulesWindow::BuildControls() {
  超级列表框1 = Make<QTreeWidget>(this, "超级列表框1", 7, 10, 409, 528);
  超级列表框1->setColumnCount(kColumnCount);
  超级列表框1->setHeaderLabels({QStringLiteral("最小金额"), QStringLiteral("最大金额"),
                                QStringLiteral("邮件标题"), QStringLiteral("邮件内容")});
  const int widths[kColumnCount] = {60, 60, 80, 200};
  for (int c = 0; c < kColumnCount; ++c) 超级列表框1->setColumnWidth(c, widths[c]);
  超级列表框1->setRootIsDecorated(false);
  超级列表框1->setUniformRowHeights(true);
  超级列表框1->setSelectionMode(QAbstractItemView::SingleSelection);
  超级列表框1->setSelectionBehavior(QAbstractItemView::SelectRows);
  超级列表框1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  超级列表框1->header()->setStretchLastSection(false);

  分组框1 = Make<QGroupBox>(this, "分组框1", 426, 16, 192, 520);
  分组框1->setTitle(QStringLiteral("添加规则"));
  QWidget* g = 分组框1;
  标签1 = MakeCaptioned<QLabel>(g, "标签1", 10, 18, 50, 20, "最小金额");
  编辑框_最小金额 = Make<QLineEdit>(g, "编辑框_最小金额", 73, 18, 50, 20);
  标签2 = MakeCaptioned<QLabel>(g, "标签2", 10, 52, 50, 20, "最大金额");
  编辑框_最大金额 = Make<QLineEdit>(g, "编辑框_最大金额", 73, 52, 50, 20);
  标签4 = MakeCaptioned<QLabel>(g, "标签4", 10, 81, 50, 20, "邮件标题");
  编辑框_标题 = Make<QLineEdit>(g, "编辑框_标题", 10, 102, 170, 20);
  编辑框_标题->setMaxLength(kSubjectMaxChars);
  标签3 = MakeCaptioned<QLabel>(g, "标签3", 10, 130, 50, 20, "邮件内容");
  编辑框_内容 = Make<QPlainTextEdit>(g, "编辑框_内容", 10, 151, 170, 219);
  编辑框_内容->setTabChangesFocus(true);
  编辑框_内容->installEventFilter(this);
  按钮_添加 = MakeCaptioned<QPushButton>(g, "按钮_添加", 10, 376, 80, 30, "添加");
  按钮_删除 = MakeCaptioned<QPushButton>(g, "按钮_删除", 100, 376, 80, 30, "删除");
  按钮_保存 = MakeCaptioned<QPushButton>(g, "按钮_保存", 10, 412, 80, 30, "保存");
  按钮_修改 = MakeCaptioned<QPushButton>(g, "按钮_修改", 100, 412, 80, 30, "双击列表修改");
  按钮1 = MakeCaptioned<QPushButton>(g, "按钮1", 10, 448, 170, 30, "点击查看详细设置规则");
  编辑框1 = MakeCaptioned<QLineEdit>(g, "编辑框1", 10, 487, 170, 25, kContactNotice);
  编辑框1->setReadOnly(true);
  按钮_上移 = MakeCaptioned<QPushButton>(this, "按钮_上移", 7, 544, 80, 28, "上移");
  按钮_下移 = MakeCaptioned<QPushButton>(this, "按钮_下移", 95, 544, 80, 28, "下移");
  按钮_发送预览 = MakeCaptioned<QPushButton>(this, "按钮_发送预览", 183, 544, 80, 28, "发送预览");
  按钮_发送预览->setEnabled(false);  // until the owner hands in the mail account
  按钮_库存管理 = MakeCaptioned<QPushButton>(this, "按钮_库存管理", 271, 544, 80, 28, "库存管理");
  按钮_库存管理->setToolTip(QStringLiteral("{卡密:名称} 发出的卡密：添加、查看剩余、按卡密查找"));
  按钮_库存管理->hide();  // until the owner hands in the stock window
  const QString placeholder_help = QString::fromUtf8(kPlaceholderHelp);
  编辑框_标题->setToolTip(placeholder_help);
  编辑框_内容->setToolTip(placeholder_help);
  按钮_发送预览->setToolTip(placeholder_help);

  // Enter in an edit box must not press a button of the dialog (and close it).
  for (QPushButton* b : {按钮_添加, 按钮_删除, 按钮_保存, 按钮_修改, 按钮1, 按钮_上移, 按钮_下移,
                         按钮_发送预览, 按钮_库存管理}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  connect(超级列表框1, &QTreeWidget::itemDoubleClicked, this, &RulesWindow::OnListDoubleClicked);
  connect(按钮_添加, &QPushButton::clicked, this, &RulesWindow::OnAdd);
  connect(按钮_修改, &QPushButton::clicked, this, &RulesWindow::OnModify);
  connect(按钮_删除, &QPushButton::clicked, this, &RulesWindow::OnDelete);
  connect(按钮_保存, &QPushButton::clicked, this, &RulesWindow::OnSave);
  connect(按钮1, &QPushButton::clicked, this, &RulesWindow::OnHelp);
  connect(编辑框_内容, &QPlainTextEdit::textChanged, this, &RulesWindow::OnBodyChanged);
  connect(按钮_上移, &QPushButton::clicked, this, &RulesWindow::OnMoveUp);
  connect(按钮_下移, &QPushButton::clicked, this, &RulesWindow::OnMoveDown);
  connect(按钮_发送预览, &QPushButton::clicked, this, &RulesWindow::OnSendPreview);
  connect(按钮_库存管理, &QPushButton::clicked, this, [this] {
    if (open_stocks_) open_stocks_(this);
  });
}

void RulesWindow::FillFromTable() {
  // A missing table is no error: the seller starts with no rules. A table that is there
  // but cannot be shown whole must survive the next save.
  RuleTableRead read = ReadRuleTable(table_path_, kMaxRules);
  if (read.status == RuleTableRead::Status::kUnreadable) {
    keep_old_table_ = true;
    Inform(QStringLiteral("规则表 Yjgz.edb 无法读取，列表为空。保存时会先把原文件改名保留。"));
    return;
  }
  超级列表框1->setUpdatesEnabled(false);
  for (const DeliveryRule& rule : read.rules) AppendRow(rule);
  超级列表框1->setUpdatesEnabled(true);
  // A save writes only what the list shows: the rows left out stay in the kept file.
  if (!read.refused.empty()) {
    keep_old_table_ = true;
    Inform(FromGbk(RulesRefusedNotice(read.refused)) +
           QStringLiteral("。保存时会先把原文件改名保留。"));
  }
  if (read.Cut()) {
    keep_old_table_ = true;
    Inform(FromGbk(RulesCutNotice(read.total)) + QStringLiteral("。保存时会先把原文件改名保留。"));
  }
}

void RulesWindow::AppendRow(const DeliveryRule& rule) {
  auto* item = new QTreeWidgetItem(超级列表框1);
  SetRowTexts(item, rule);
}

int RulesWindow::CurrentSelection() const {
  const QList<QTreeWidgetItem*> selected = 超级列表框1->selectedItems();
  if (selected.isEmpty()) return -1;
  return 超级列表框1->indexOfTopLevelItem(selected.first());
}

std::vector<DeliveryRule> RulesWindow::ListedRules() const {
  std::vector<DeliveryRule> rules;
  const int count = 超级列表框1->topLevelItemCount();
  rules.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const QTreeWidgetItem* item = 超级列表框1->topLevelItem(i);
    rules.push_back({AmountFromText(ToGbk(item->text(kMinimumColumn))),
                     AmountFromText(ToGbk(item->text(kMaximumColumn))),
                     ToGbk(item->text(kSubjectColumn)), ToGbk(item->text(kBodyColumn))});
  }
  return rules;
}

bool RulesWindow::ReadEntry(DeliveryRule* rule) {
  if (!IsAmountText(ToGbk(编辑框_最小金额->text())) ||
      !IsAmountText(ToGbk(编辑框_最大金额->text()))) {
    Inform(FromGbk(AmountNotANumberMessage()));
    return false;
  }
  rule->maximum = AmountFromText(ToGbk(编辑框_最大金额->text()));
  rule->minimum = AmountFromText(ToGbk(编辑框_最小金额->text()));
  rule->subject = ToGbk(编辑框_标题->text());
  rule->body = ToGbk(编辑框_内容->toPlainText());
  const std::string problem =
      RuleEntryProblem(rule->minimum, rule->maximum, rule->subject, rule->body);
  if (problem.empty()) return true;
  Inform(FromGbk(problem));
  return false;
}

bool RulesWindow::EntryPending() const {
  const QString texts[] = {编辑框_最小金额->text(), 编辑框_最大金额->text(), 编辑框_标题->text(),
                           编辑框_内容->toPlainText()};
  if (std::all_of(std::begin(texts), std::end(texts),
                  [](const QString& t) { return t.isEmpty(); })) {
    return false;
  }
  const DeliveryRule entry{AmountFromText(ToGbk(texts[0])), AmountFromText(ToGbk(texts[1])),
                           ToGbk(texts[2]), ToGbk(texts[3])};
  const std::vector<DeliveryRule> rules = ListedRules();
  return std::find(rules.begin(), rules.end(), entry) == rules.end();
}

void RulesWindow::WarnOverlap(int row) {
  const std::vector<DeliveryRule> rules = ListedRules();
  const DeliveryRule& rule = rules[static_cast<size_t>(row)];
  for (size_t i = 0; i < rules.size(); ++i) {
    if (static_cast<int>(i) == row) continue;
    if (rules[i].minimum > rule.maximum || rule.minimum > rules[i].maximum) continue;
    const size_t winner = std::min(i, static_cast<size_t>(row));
    Inform(QStringLiteral("金额范围与第 %1 条规则“%2”重叠：两条都符合的金额按排在前面的第 %3 条"
                          "规则“%4”发送。")
               .arg(i + 1)
               .arg(FromGbk(rules[i].subject))
               .arg(winner + 1)
               .arg(FromGbk(rules[winner].subject)));
    return;
  }
}

void RulesWindow::MoveSelected(int by) {
  const int row = CurrentSelection();
  if (row < 0) {
    Inform(QStringLiteral("请选择要移动的规则"));
    return;
  }
  const int to = row + by;
  if (to < 0 || to >= 超级列表框1->topLevelItemCount()) return;
  QTreeWidgetItem* item = 超级列表框1->takeTopLevelItem(row);
  超级列表框1->insertTopLevelItem(to, item);
  超级列表框1->clearSelection();
  item->setSelected(true);
  超级列表框1->setCurrentItem(item);
  changed_ = true;
}

void RulesWindow::Inform(const QString& text, const QString& caption) {
  dialogs_.Ask(this, Dialogs::Icon::kInformation, caption, text, Dialogs::Buttons::kOk);
}

bool RulesWindow::AskYes(const QString& text) {
  return dialogs_.Ask(this, Dialogs::Icon::kQuestion, {}, text, Dialogs::Buttons::kYesNo) ==
         Dialogs::Answer::kYes;
}

bool RulesWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == 编辑框_内容 && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ControlModifier)) {
      编辑框_内容->insertPlainText(QStringLiteral("\t"));
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void RulesWindow::reject() {
  if (changed_ && AskYes(QStringLiteral("规则已修改，是否保存？"))) {
    OnSave();  // closes the window when the save worked
    return;
  }
  QDialog::reject();
}

void RulesWindow::OnListDoubleClicked() {
  const int row = CurrentSelection();
  if (row < 0) return;
  const QTreeWidgetItem* item = 超级列表框1->topLevelItem(row);
  编辑框_最小金额->setText(item->text(kMinimumColumn));
  编辑框_最大金额->setText(item->text(kMaximumColumn));
  编辑框_标题->setText(item->text(kSubjectColumn));
  编辑框_内容->setPlainText(item->text(kBodyColumn));
}

void RulesWindow::OnAdd() {
  DeliveryRule rule;
  if (!ReadEntry(&rule)) return;
  AppendRow(rule);  // the edit boxes keep their texts for the next, similar rule
  changed_ = true;
  WarnOverlap(超级列表框1->topLevelItemCount() - 1);
}

void RulesWindow::OnModify() {
  const int row = CurrentSelection();
  if (row < 0) {
    Inform(QStringLiteral("请选择要修改的选项"));
    return;
  }
  DeliveryRule rule;
  if (!ReadEntry(&rule)) return;
  SetRowTexts(超级列表框1->topLevelItem(row), rule);
  changed_ = true;
  WarnOverlap(row);
}

void RulesWindow::OnDelete() {
  const int row = CurrentSelection();
  if (row < 0) {
    Inform(QStringLiteral("请选择要删除的条件"));
    return;
  }
  delete 超级列表框1->takeTopLevelItem(row);
  changed_ = true;
  // No row stays selected, so a second click cannot delete a neighbour by accident.
  超级列表框1->clearSelection();
}

void RulesWindow::OnSave() {
  if (EntryPending() && AskYes(QStringLiteral("编辑框中的规则还没有添加到列表，是否先添加？"))) {
    DeliveryRule rule;
    if (!ReadEntry(&rule)) return;
    AppendRow(rule);
    changed_ = true;
  }
  std::string failure;
  std::string kept_as;
  if (!SaveRuleTable(table_path_, book_, ListedRules(), &failure,
                     keep_old_table_ ? &kept_as : nullptr)) {
    Inform(FromGbk(failure));
    return;
  }
  keep_old_table_ = false;
  changed_ = false;
  QString text = QStringLiteral("保存成功");
  if (!kept_as.empty()) {
    text += QStringLiteral("\n原规则表已改名保留为：") + QString::fromStdString(kept_as);
  }
  Inform(text);
  accept();
}

void RulesWindow::OnHelp() {
  Inform(
      QString::fromUtf8(kHelpText) + QStringLiteral("\n\n") + QString::fromUtf8(kPlaceholderHelp),
      QStringLiteral("设置规则"));
}

void RulesWindow::SetStockHook(StockOpener open) {
  open_stocks_ = std::move(open);
  按钮_库存管理->setVisible(static_cast<bool>(open_stocks_));
}

void RulesWindow::SetPreviewHook(PreviewSender send) {
  send_preview_ = std::move(send);
  按钮_发送预览->setEnabled(static_cast<bool>(send_preview_));
}

void RulesWindow::OnSendPreview() {
  if (!send_preview_) return;
  DeliveryRule rule;
  const int row = CurrentSelection();
  if (row >= 0) {
    rule = ListedRules()[static_cast<size_t>(row)];
  } else if (!ReadEntry(&rule)) {
    return;
  }
  按钮_发送预览->setEnabled(false);  // one preview at a time
  QPointer<QPushButton> button = 按钮_发送预览;
  send_preview_(rule, [button] {
    if (button) button->setEnabled(true);
  });
}

void RulesWindow::OnBodyChanged() {
  // QPlainTextEdit has no maximum length of its own; cut what goes beyond it.
  const QString text = 编辑框_内容->toPlainText();
  if (text.size() <= kBodyMaxChars) return;
  int keep = kBodyMaxChars;
  if (text.at(keep - 1).isHighSurrogate()) --keep;  // never half a character
  QTextCursor cursor = 编辑框_内容->textCursor();
  cursor.setPosition(keep);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

}  // namespace fahuo
