#include "app/stock_window.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <memory>

#include "delivery/placeholders.h"
#include "ledger/bill_state_text.h"
#include "ledger/code_import.h"
#include "ledger/ledger.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/gbk.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"
#include "ui/widgets.h"

namespace fahuo {
namespace {

constexpr size_t kGivenShown = 500;

// RFC 4180 quoting only: an exported code must read back as itself (no formula guard).
std::string QuotedField(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Codes a day at the recent pace, to a tenth: "2.5".
QString PerDay(size_t given_recent) {
  const size_t tenths = (given_recent * 10 + kPaceDays / 2) / kPaceDays;
  return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

}  // namespace

StockWindow::StockWindow(Ledger& ledger, const Clock& clock, Runner run, Dialogs& dialogs,
                         QWidget* parent)
    : QWidget(parent, Qt::Window),
      ledger_(ledger),
      clock_(clock),
      run_(std::move(run)),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("库存管理"));
  setWindowTitle(QStringLiteral("库存管理"));
  resize(720, 560);
  BuildLayout();
  Reload();
}

void StockWindow::BuildLayout() {
  auto* grid = new QGridLayout(this);
  表格_库存 = MakeTable(this, "表格_库存",
                        {"库存", "可用", "已发", "提醒阈值", "近14天每天", "可用天数", "提醒天数"});
  grid->addWidget(表格_库存, 0, 0, 1, 5);
  grid->addWidget(new QLabel(QStringLiteral("库存名称"), this), 1, 0);
  编辑框_库存名称 = Named(new QLineEdit(this), "编辑框_库存名称");
  编辑框_库存名称->setPlaceholderText(QStringLiteral("规则里写 {卡密:名称}；{卡密} 用“默认”"));
  grid->addWidget(编辑框_库存名称, 1, 1, 1, 4);
  编辑框_卡密 = Named(new QPlainTextEdit(this), "编辑框_卡密");
  编辑框_卡密->setPlaceholderText(QStringLiteral("粘贴卡密，每行一个"));
  grid->addWidget(编辑框_卡密, 2, 0, 1, 5);
  按钮_添加 = Named(new QPushButton(QStringLiteral("添加到库存"), this), "按钮_添加");
  grid->addWidget(按钮_添加, 3, 0);
  按钮_导入 = Named(new QPushButton(QStringLiteral("导入文件…"), this), "按钮_导入");
  按钮_导入->setToolTip(QStringLiteral("文本或 CSV 文件，UTF-8 或 GBK，每行一个卡密"));
  grid->addWidget(按钮_导入, 3, 1);
  数值框_列 = Named(new QSpinBox(this), "数值框_列");
  数值框_列->setRange(0, 100);
  数值框_列->setPrefix(QStringLiteral("CSV 列 "));
  数值框_列->setSpecialValueText(QStringLiteral("整行"));
  数值框_列->setToolTip(QStringLiteral("从 CSV 的第几列读卡密；“整行”：每行就是一个卡密"));
  grid->addWidget(数值框_列, 3, 2);
  按钮_导出未用 = Named(new QPushButton(QStringLiteral("导出未用…"), this), "按钮_导出未用");
  grid->addWidget(按钮_导出未用, 3, 3);
  按钮_删除未用 = Named(new QPushButton(QStringLiteral("删除未用"), this), "按钮_删除未用");
  grid->addWidget(按钮_删除未用, 3, 4);
  grid->addWidget(new QLabel(QStringLiteral("少于多少个时提醒"), this), 4, 0);
  数值框_阈值 = Named(new QSpinBox(this), "数值框_阈值");
  数值框_阈值->setRange(0, 1000000);
  数值框_阈值->setValue(kDefaultLowStock);
  数值框_阈值->setToolTip(QStringLiteral("可用卡密少于这个数时提醒一次（0：不提醒）"));
  grid->addWidget(数值框_阈值, 4, 1);
  数值框_天数 = Named(new QSpinBox(this), "数值框_天数");
  数值框_天数->setRange(0, 365);
  数值框_天数->setValue(3);
  数值框_天数->setPrefix(QStringLiteral("或少于 "));
  数值框_天数->setSuffix(QStringLiteral(" 天"));
  数值框_天数->setToolTip(
      QStringLiteral("按近 14 天每天发出的数量，可用卡密不够这么多天时提醒一次（0：不提醒）"));
  grid->addWidget(数值框_天数, 4, 2);
  按钮_设置阈值 = Named(new QPushButton(QStringLiteral("设置提醒阈值"), this), "按钮_设置阈值");
  grid->addWidget(按钮_设置阈值, 4, 3);
  编辑框_查找卡密 = Named(new QLineEdit(this), "编辑框_查找卡密");
  编辑框_查找卡密->setPlaceholderText(QStringLiteral("按卡密查找已发出的卡密"));
  grid->addWidget(编辑框_查找卡密, 5, 0, 1, 5);
  表格_已发卡密 = MakeTable(this, "表格_已发卡密", {"卡密", "库存", "流水号", "买家", "时间"});
  grid->addWidget(表格_已发卡密, 6, 0, 1, 5);

  connect(按钮_添加, &QPushButton::clicked, this, [this] { AddPasted(); });
  connect(按钮_设置阈值, &QPushButton::clicked, this, [this] { SetThreshold(); });
  connect(按钮_导入, &QPushButton::clicked, this, [this] { ImportFile(); });
  connect(按钮_导出未用, &QPushButton::clicked, this, [this] { ExportUnused(); });
  connect(按钮_删除未用, &QPushButton::clicked, this, [this] { DeleteUnused(); });
  connect(编辑框_查找卡密, &QLineEdit::textChanged, this, [this] { FillGiven(); });
  connect(表格_库存, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (QTableWidgetItem* name = 表格_库存->item(row, 0)) 编辑框_库存名称->setText(name->text());
    if (QTableWidgetItem* low = 表格_库存->item(row, 3)) 数值框_阈值->setValue(low->text().toInt());
    if (QTableWidgetItem* days = 表格_库存->item(row, 6))
      数值框_天数->setValue(days->text().toInt());
  });
}

void StockWindow::Reload() {
  const std::vector<StockSummary> stocks = ledger_.Stocks(clock_.UnixSeconds());
  表格_库存->setRowCount(static_cast<int>(stocks.size()));
  for (size_t i = 0; i < stocks.size(); ++i) {
    const StockSummary& s = stocks[i];
    SetRow(表格_库存, static_cast<int>(i),
           {FromGbk(s.name), QString::number(s.available), QString::number(s.given),
            QString::number(s.threshold), PerDay(s.given_recent),
            s.days_left ? QStringLiteral("约 %1 天").arg(*s.days_left) : QStringLiteral("—"),
            QString::number(s.low_days)});
  }
  FillGiven();
}

void StockWindow::FillGiven() {
  const std::vector<StockCode> given =
      ledger_.GivenCodes(ToGbk(编辑框_查找卡密->text()), kGivenShown);
  表格_已发卡密->setRowCount(static_cast<int>(given.size()));
  for (size_t i = 0; i < given.size(); ++i) {
    const StockCode& c = given[i];
    SetRow(表格_已发卡密, static_cast<int>(i),
           {FromGbk(c.code), FromGbk(c.stock), FromGbk(c.serial), FromGbk(c.buyer),
            QString::fromStdString(FormatSeenTime(c.given_at))});
  }
}

void StockWindow::Write(std::function<std::string(Ledger&)> job) {
  按钮_添加->setEnabled(false);
  QPointer<StockWindow> self = this;
  Ledger* ledger = &ledger_;
  run_([self, ledger, job = std::move(job)] {
    const std::string message = job(*ledger);
    // Through the application: the window may be gone by the time the worker answers.
    PostToUi(QCoreApplication::instance(), [self, message] {
      if (!self) return;
      self->按钮_添加->setEnabled(true);
      self->Reload();
      if (!message.empty()) self->dialogs_.ShowMessage(self, QString::fromStdString(message));
      emit self->written();
    });
  });
}

std::string StockWindow::ChosenStock() {
  const std::string stock = ToGbk(编辑框_库存名称->text().trimmed());
  if (!IsStockName(stock)) {
    dialogs_.ShowMessage(this, QStringLiteral("请填写库存名称（不含花括号）"), {},
                         Dialogs::Icon::kWarning);
    return {};
  }
  return stock;
}

void StockWindow::AddPasted() {
  const std::string stock = ChosenStock();
  if (stock.empty()) return;
  CodeFile file = ReadCodeFile(编辑框_卡密->toPlainText().toStdString());
  if (!file.ok || file.codes.empty()) {
    dialogs_.ShowMessage(this, QStringLiteral("没有可添加的卡密"), {}, Dialogs::Icon::kWarning);
    return;
  }
  编辑框_卡密->clear();  // the codes leave the screen once they are on their way
  AddCodes(stock, std::move(file));
}

void StockWindow::AddCodes(const std::string& stock, CodeFile file) {
  Write([stock, codes = std::move(file.codes), too_long = file.too_long](Ledger& ledger) {
    const Ledger::AddResult added = ledger.AddCodes(stock, codes);
    if (!added.ok) return "卡密未能保存：" + ledger.LastError();
    return ImportSummary(added.added, added.duplicates, too_long);
  });
}

void StockWindow::ImportFile() {
  const std::string stock = ChosenStock();
  if (stock.empty()) return;
  const std::optional<QString> path =
      dialogs_.OpenFile(this, QStringLiteral("导入卡密"),
                        QStringLiteral("文本或 CSV 文件 (*.txt *.csv);;所有文件 (*)"));
  if (!path) return;
  // Read and parsed here, off the UI thread and off the sender's worker (a large file or a
  // slow disk holds up neither); only the insert goes to the sender's worker.
  按钮_导入->setEnabled(false);
  QPointer<StockWindow> self = this;
  file_reader_.Post([self, stock, file_path = path->toStdString(), column = 数值框_列->value()] {
    auto file = std::make_shared<CodeFile>(ReadCodeFileAt(file_path, column));
    PostToUi(QCoreApplication::instance(), [self, stock, file] {
      if (!self) return;
      self->按钮_导入->setEnabled(true);
      if (!file->ok) {
        self->dialogs_.ShowMessage(
            self, QStringLiteral("无法导入：%1").arg(QString::fromStdString(file->error)));
        return;
      }
      self->AddCodes(stock, std::move(*file));
    });
  });
}

void StockWindow::ExportUnused() {
  const std::string stock = ChosenStock();
  if (stock.empty()) return;
  const std::optional<QString> path = dialogs_.SaveFile(this, QStringLiteral("导出未用卡密"),
                                                        FromGbk(stock) + QStringLiteral(".csv"),
                                                        QStringLiteral("CSV 文件 (*.csv)"));
  if (!path) return;
  Write([stock, file_path = path->toStdString()](Ledger& ledger) -> std::string {
    const std::vector<std::string> codes = ledger.AvailableCodes(stock);
    std::string csv = "\xEF\xBB\xBF";
    for (const std::string& code : codes) csv += QuotedField(GbkToUtf8(code)) + "\r\n";
    // Unused codes are as good as money: readable by the seller alone.
    if (!ReplaceFileWith(file_path, csv, FileAccess::kOwnerOnly)) return "无法写入文件";
    return "已导出 " + std::to_string(codes.size()) + " 个未用卡密";
  });
}

void StockWindow::DeleteUnused() {
  const std::string stock = ChosenStock();
  if (stock.empty()) return;
  if (dialogs_.Ask(this, Dialogs::Icon::kQuestion, {},
                   QStringLiteral("删除库存“%1”中所有未发出的卡密吗？已发出的卡密保留。")
                       .arg(FromGbk(stock)),
                   Dialogs::Buttons::kYesNo) != Dialogs::Answer::kYes) {
    return;
  }
  Write([stock](Ledger& ledger) -> std::string {
    const int64_t removed = ledger.DeleteAvailable(stock);
    if (removed < 0) return "未能删除：" + ledger.LastError();
    return "已删除 " + std::to_string(removed) + " 个未用卡密";
  });
}

void StockWindow::SetThreshold() {
  const std::string stock = ChosenStock();
  if (stock.empty()) return;
  const int threshold = 数值框_阈值->value();
  const int days = 数值框_天数->value();
  Write([stock, threshold, days](Ledger& ledger) -> std::string {
    if (!ledger.SetLowStock(stock, threshold) || !ledger.SetLowDays(stock, days)) {
      return "阈值未能保存：" + ledger.LastError();
    }
    return {};
  });
}

}  // namespace fahuo
