#include "app/record_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/order_actions.h"
#include "app/record_model.h"
#include "delivery/shop.h"
#include "ledger/bill_state_text.h"
#include "ledger/record_rows.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/widgets.h"

namespace fahuo {
namespace {

constexpr int kAllStates = -1;
constexpr int kSellerStates = -2;
constexpr int kSearchPauseMs = 300;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int64_t StartOfDay(const QDate& date) { return date.startOfDay().toSecsSinceEpoch(); }

}  // namespace

RecordWindow::RecordWindow(Shop& shop, OrderActions* actions, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), shop_(shop), actions_(actions), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("发货记录"));
  model_ = new RecordModel(shop_.ledger(), this);
  BuildLayout();
  UpdateCount();
  UpdateButtons();
  if (actions_) connect(actions_, &OrderActions::changed, this, &RecordWindow::Reload);
}

QHBoxLayout* RecordWindow::BuildFilters() {
  组合框_状态 = Named(new QComboBox(this), "组合框_状态");
  组合框_状态->addItem(QStringLiteral("全部"), kAllStates);
  组合框_状态->addItem(QStringLiteral("需要处理"), kSellerStates);
  for (BillState state : FilterStates()) {
    组合框_状态->addItem(Utf8(StateLabel(state)), static_cast<int>(state));
  }
  选择框_日期 = Named(new QCheckBox(QStringLiteral("日期"), this), "选择框_日期");
  const QDate today = QDate::currentDate();
  日期框_开始 = Named(new QDateEdit(today.addDays(-30), this), "日期框_开始");
  日期框_结束 = Named(new QDateEdit(today, this), "日期框_结束");
  for (QDateEdit* edit : {日期框_开始, 日期框_结束}) {
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy.MM.dd"));
    edit->setEnabled(false);
  }
  编辑框_搜索 = Named(new QLineEdit(this), "编辑框_搜索");
  编辑框_搜索->setPlaceholderText(QStringLiteral("搜索流水号、名称、收件人"));
  编辑框_搜索->setClearButtonEnabled(true);
  按钮_刷新 = Named(new QPushButton(QStringLiteral("刷新"), this), "按钮_刷新");

  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(QStringLiteral("状态"), this));
  filters->addWidget(组合框_状态);
  filters->addSpacing(12);
  filters->addWidget(选择框_日期);
  filters->addWidget(日期框_开始);
  filters->addWidget(new QLabel(QStringLiteral("至"), this));
  filters->addWidget(日期框_结束);
  filters->addSpacing(12);
  filters->addWidget(编辑框_搜索, 1);
  filters->addWidget(按钮_刷新);
  return filters;
}

QHBoxLayout* RecordWindow::BuildActions() {
  按钮_重新发送 = Named(new QPushButton(QStringLiteral("重新发送"), this), "按钮_重新发送");
  按钮_发送到其他邮箱 =
      Named(new QPushButton(QStringLiteral("发送到其他邮箱…"), this), "按钮_发送到其他邮箱");
  按钮_标记为已处理 =
      Named(new QPushButton(QStringLiteral("标记为已处理"), this), "按钮_标记为已处理");
  按钮_复制流水号 = Named(new QPushButton(QStringLiteral("复制流水号"), this), "按钮_复制流水号");
  按钮_导出 = Named(new QPushButton(QStringLiteral("导出 CSV…"), this), "按钮_导出");
  标签_合计 = Named(new QLabel(this), "标签_合计");

  auto* actions = new QHBoxLayout;
  for (QPushButton* b : {按钮_重新发送, 按钮_发送到其他邮箱, 按钮_标记为已处理, 按钮_复制流水号}) {
    actions->addWidget(b);
  }
  actions->addStretch(1);
  actions->addWidget(标签_合计);
  actions->addWidget(按钮_导出);
  return actions;
}

void RecordWindow::BuildLayout() {
  QHBoxLayout* filters = BuildFilters();
  表格_发货记录 = Named(new QTableView(this), "表格_发货记录");
  表格_发货记录->setModel(model_);
  表格_发货记录->setSelectionBehavior(QAbstractItemView::SelectRows);
  表格_发货记录->setSelectionMode(QAbstractItemView::SingleSelection);
  表格_发货记录->setEditTriggers(QAbstractItemView::NoEditTriggers);
  表格_发货记录->setContextMenuPolicy(Qt::CustomContextMenu);
  表格_发货记录->setWordWrap(false);
  表格_发货记录->verticalHeader()->hide();
  表格_发货记录->verticalHeader()->setDefaultSectionSize(表格_发货记录->fontMetrics().height() + 8);
  表格_发货记录->horizontalHeader()->setStretchLastSection(true);
  SizeRecordColumns(表格_发货记录);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(表格_发货记录, 1);
  layout->addLayout(BuildActions());
  // Wide enough for every column where the screen allows, so the codes and the sending
  // account are seen without scrolling.
  int columns = 0;
  for (int c = 0; c < 表格_发货记录->model()->columnCount(); ++c) {
    columns += 表格_发货记录->columnWidth(c);
  }
  int width = columns + 2 * 表格_发货记录->frameWidth() + 48;
  if (const QScreen* screen = this->screen()) {
    width = std::min(width, screen->availableGeometry().width() - 40);
  }
  resize(std::max(width, 1100), 600);
  Wire();
}

void RecordWindow::Wire() {
  search_pause_ = new QTimer(this);
  search_pause_->setSingleShot(true);
  search_pause_->setInterval(kSearchPauseMs);
  connect(search_pause_, &QTimer::timeout, this, &RecordWindow::ApplyFilter);
  connect(编辑框_搜索, &QLineEdit::textChanged, search_pause_, qOverload<>(&QTimer::start));
  connect(编辑框_搜索, &QLineEdit::returnPressed, this, &RecordWindow::ApplyFilter);
  connect(组合框_状态, &QComboBox::currentIndexChanged, this, &RecordWindow::ApplyFilter);
  connect(选择框_日期, &QCheckBox::toggled, this, [this](bool on) {
    日期框_开始->setEnabled(on);
    日期框_结束->setEnabled(on);
    ApplyFilter();
  });
  for (QDateEdit* edit : {日期框_开始, 日期框_结束}) {
    connect(edit, &QDateEdit::dateChanged, this, [this] {
      if (选择框_日期->isChecked()) ApplyFilter();
    });
  }
  connect(按钮_刷新, &QPushButton::clicked, this, &RecordWindow::Reload);
  connect(按钮_导出, &QPushButton::clicked, this, &RecordWindow::ExportCsv);
  connect(表格_发货记录->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &RecordWindow::UpdateButtons);
  connect(model_, &QAbstractItemModel::modelReset, this, &RecordWindow::UpdateButtons);
  connect(表格_发货记录, &QWidget::customContextMenuRequested, this, &RecordWindow::ShowMenuAt);
  connect(按钮_重新发送, &QPushButton::clicked, this,
          [this] { OnSelected([this](const std::string& s) { actions_->Resend(s); }); });
  connect(按钮_发送到其他邮箱, &QPushButton::clicked, this,
          [this] { OnSelected([this](const std::string& s) { actions_->ResendTo(s); }); });
  connect(按钮_标记为已处理, &QPushButton::clicked, this,
          [this] { OnSelected([this](const std::string& s) { actions_->MarkHandled(s); }); });
  connect(按钮_复制流水号, &QPushButton::clicked, this,
          [this] { OnSelected([this](const std::string& s) { actions_->CopySerial(s); }); });
}

template <typename Action>
void RecordWindow::OnSelected(Action action) {
  std::optional<std::string> serial = SelectedSerial();
  if (serial && actions_) action(*serial);
}

LedgerFilter RecordWindow::FilterFromFields() const {
  LedgerFilter filter;
  const int choice = 组合框_状态->currentData().toInt();
  if (choice == kSellerStates) {
    filter.states = SellerStates();
  } else if (choice >= 0) {
    filter.states = {static_cast<BillState>(choice)};
  }
  if (选择框_日期->isChecked()) {
    filter.seen_from = StartOfDay(日期框_开始->date());
    filter.seen_before = StartOfDay(日期框_结束->date().addDays(1));  // the last day counts
  }
  filter.search = ToGbk(编辑框_搜索->text().trimmed());
  return filter;
}

void RecordWindow::ApplyFilter() {
  search_pause_->stop();
  model_->SetFilter(FilterFromFields());
  UpdateCount();
}

void RecordWindow::Reload() {
  const std::optional<std::string> selected = SelectedSerial();
  model_->Reload();
  if (selected) SelectSerial(*selected);
  UpdateCount();
}

std::optional<std::string> RecordWindow::SelectedSerial() const {
  const QModelIndexList rows = 表格_发货记录->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  const LedgerEntry* e = model_->EntryAt(rows.front().row());
  if (!e) return std::nullopt;
  return e->bill.流水号;
}

bool RecordWindow::SelectSerial(const std::string& serial) {
  const int row = model_->RowOfSerial(serial);
  if (row < 0) return false;
  表格_发货记录->selectRow(row);
  return true;
}

void RecordWindow::UpdateButtons() {
  const bool on = actions_ && SelectedSerial().has_value();
  for (QPushButton* b : {按钮_重新发送, 按钮_发送到其他邮箱, 按钮_标记为已处理, 按钮_复制流水号}) {
    b->setEnabled(on);
  }
}

void RecordWindow::UpdateCount() {
  标签_合计->setText(QStringLiteral("共 %1 笔").arg(model_->MatchingCount()));
}

void RecordWindow::ShowMenuAt(const QPoint& pos) {
  const QModelIndex index = 表格_发货记录->indexAt(pos);
  const LedgerEntry* e = model_->EntryAt(index.row());
  if (!e || !actions_) return;
  const std::string serial = e->bill.流水号;
  表格_发货记录->selectRow(index.row());
  actions_->ShowMenu(表格_发货记录->viewport()->mapToGlobal(pos), serial);
}

void RecordWindow::ExportCsv() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  const QString suggested =
      QDir(folder).filePath(QStringLiteral("发货记录-%1.csv")
                                .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
  std::optional<QString> chosen = dialogs_.SaveFile(this, QStringLiteral("导出 CSV"), suggested,
                                                    QStringLiteral("CSV 文件 (*.csv)"));
  if (!chosen || chosen->isEmpty()) return;
  QString path = *chosen;
  if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) path += QStringLiteral(".csv");
  const CsvExportResult result =
      ExportRecordsCsv(shop_.ledger(), model_->filter(), QFile::encodeName(path).toStdString());
  if (!result.ok) {
    dialogs_.ShowMessage(
        this, QStringLiteral("导出失败：%1\n%2").arg(path, QString::fromStdString(result.error)),
        QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return;
  }
  标签_合计->setText(QStringLiteral("共 %1 笔，已导出到 %2")
                         .arg(model_->MatchingCount())
                         .arg(QDir::toNativeSeparators(path)));
}

}  // namespace fahuo
