#include "app/statistics_window.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "ledger/record_rows.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"
#include "ui/widgets.h"

namespace fahuo {
namespace {

constexpr const char* kPeriodNames[] = {"今天", "昨天", "近7天", "近30天",
                                        "本月", "上月", "今年",  "自定义"};

struct FigureText {
  const char* name;
  const char* definition;
};
constexpr FigureText kFigures[6] = {
    {"收款笔数",
     "已完成的收入笔数（含开始监控前已在记录里的），按付款页上的付款时间计；退款、关闭的交易和"
     "支出不计"},
    {"收款金额", "这些付款的金额合计（元）"},
    {"已发货", "这些付款中邮件已发出并被邮箱服务器接收的笔数"},
    {"需要处理",
     "发送失败、已跳过、待您决定、可能已发送、缺货、待确认和退信的账单：程序不会自己处理"},
    {"付款到发信",
     "从发现付款到邮件被邮箱服务器接收的时间：中位数（一半的订单更快），括号内是 95% "
     "的订单在此时间内；"
     "不含您重发过的账单"},
    {"重发", "您手动重新发送的次数"},
};

DayNumber ToDay(QDate date) { return date.year() * 10000 + date.month() * 100 + date.day(); }

QDate FromDay(DayNumber day) { return QDate(day / 10000, day / 100 % 100, day % 100); }

QString Yuan(int64_t fen) { return QString::fromStdString(FormatYuan(fen)); }

QString Duration(int64_t seconds) {
  if (seconds < 0) return QStringLiteral("—");
  if (seconds < 60) return QStringLiteral("%1 秒").arg(seconds);
  if (seconds < 3600) {
    return seconds % 60 ? QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60)
                        : QStringLiteral("%1 分").arg(seconds / 60);
  }
  return QStringLiteral("%1 小时 %2 分").arg(seconds / 3600).arg(seconds / 60 % 60);
}

// A signed difference with a true minus sign, the way the figures show it.
QString Signed(int64_t value, const QString& unit) {
  if (value == 0) return QStringLiteral("持平");
  return (value > 0 ? QStringLiteral("+") : QStringLiteral("−")) +
         QString::number(value > 0 ? value : -value) + unit;
}

// The change as a share of the period before; as a difference when that was nothing.
QString Percent(int64_t now, int64_t before, const QString& unit) {
  if (before == 0) return Signed(now, unit);
  const double change =
      std::round(100.0 * static_cast<double>(now - before) / static_cast<double>(before));
  if (change == 0) return QStringLiteral("持平");
  return (change > 0 ? QStringLiteral("+") : QStringLiteral("−")) +
         QString::number(std::abs(change), 'f', 0) + QStringLiteral("%");
}

// A bucket's name on a chart axis: short, the period says the rest.
QString AxisLabel(const std::string& label, BucketSize size) {
  const QString text = QString::fromStdString(label);
  switch (size) {
    case BucketSize::kHour:
      return text.mid(11) + QStringLiteral("时");
    case BucketSize::kDay:
      return text.mid(5);
    case BucketSize::kWeek:
      return text.mid(5);
    default:
      return text;
  }
}

// A family with Chinese glyphs that this machine has; the application's own otherwise.
QString CjkFamily() {
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei",
                             "WenQuanYi Zen Hei", "Noto Sans SC", "Droid Sans Fallback",
                             "Noto Serif CJK SC", "Noto Sans Mono CJK SC", "AR PL UMing CN"}) {
    if (installed.contains(QString::fromUtf8(family))) return QString::fromUtf8(family);
  }
  return QString();
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, c, item);
  }
}

void ClearChart(QChart* chart) {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
}

// An axis from 0 to a little above `top`, in whole numbers, at round ticks.
QValueAxis* ValueAxis(double top, int ticks = 0) {
  auto* axis = new QValueAxis;
  axis->setRange(0, top > 0 ? top * 1.1 : 1);
  axis->setLabelFormat(QStringLiteral("%.0f"));
  if (ticks > 0) axis->setTickCount(ticks);
  axis->applyNiceNumbers();
  return axis;
}

}  // namespace

StatisticsWindow::StatisticsWindow(std::string ledger_path, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ledger_path_(std::move(ledger_path)), dialogs_(dialogs) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("统计"));
  setWindowTitle(QStringLiteral("统计"));
  font_family_ = CjkFamily();
  BuildLayout();
  resize(1000, 720);
}

StatisticsWindow::~StatisticsWindow() { Stop(); }

void StatisticsWindow::Stop() {
  if (cancel_) cancel_->store(true);
  worker_.Stop();
}

void StatisticsWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::PaletteChange) return;
  for (QChartView* view : {图表_趋势, 图表_时段, 图表_商品}) {
    if (view) StyleChart(view->chart());
  }
}

void StatisticsWindow::BuildLayout() {
  auto* top = new QHBoxLayout;
  组合框_期间 = Named(new QComboBox(this), "组合框_期间");
  for (const char* name : kPeriodNames) 组合框_期间->addItem(QString::fromUtf8(name));
  组合框_期间->setCurrentIndex(kLast7);
  const QDate today = QDate::currentDate();
  日期框_开始 = Named(new QDateEdit(today.addDays(-6), this), "日期框_开始");
  日期框_结束 = Named(new QDateEdit(today, this), "日期框_结束");
  for (QDateEdit* edit : {日期框_开始, 日期框_结束}) {
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setEnabled(false);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 40);
  }
  组合框_分组 = Named(new QComboBox(this), "组合框_分组");
  组合框_分组->addItem(QStringLiteral("按小时"), static_cast<int>(BucketSize::kHour));
  组合框_分组->addItem(QStringLiteral("按天"), static_cast<int>(BucketSize::kDay));
  组合框_分组->addItem(QStringLiteral("按周"), static_cast<int>(BucketSize::kWeek));
  组合框_分组->addItem(QStringLiteral("按月"), static_cast<int>(BucketSize::kMonth));
  组合框_分组->setCurrentIndex(1);
  按钮_刷新 = Named(new QPushButton(QStringLiteral("刷新"), this), "按钮_刷新");
  按钮_导出 = Named(new QPushButton(QStringLiteral("导出 CSV…"), this), "按钮_导出");
  按钮_导出->setToolTip(QStringLiteral("把当前显示的表格（明细或商品）保存为 CSV 文件"));
  按钮_保存图表 = Named(new QPushButton(QStringLiteral("保存图表…"), this), "按钮_保存图表");
  按钮_保存图表->setToolTip(QStringLiteral("把当前显示的图表保存为 PNG 图片"));
  top->addWidget(new QLabel(QStringLiteral("期间"), this));
  top->addWidget(组合框_期间);
  top->addWidget(日期框_开始);
  top->addWidget(new QLabel(QStringLiteral("至"), this));
  top->addWidget(日期框_结束);
  top->addWidget(组合框_分组);
  top->addWidget(按钮_刷新);
  top->addStretch(1);
  top->addWidget(按钮_导出);
  top->addWidget(按钮_保存图表);

  标签_进度 = Named(new QLabel(this), "标签_进度");

  auto* figures = new QGridLayout;
  for (int i = 0; i < 6; ++i) {
    const QString name = QString::fromUtf8(kFigures[i].name);
    const QString definition = QString::fromUtf8(kFigures[i].definition);
    auto* title = new QLabel(name, this);
    title->setToolTip(definition);
    figure_values_[i] = new QLabel(QStringLiteral("—"), this);
    figure_values_[i]->setObjectName(QStringLiteral("标签_") + name);
    figure_values_[i]->setToolTip(definition);
    QFont big = figure_values_[i]->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    figure_values_[i]->setFont(big);
    figure_changes_[i] = new QLabel(this);
    figure_changes_[i]->setObjectName(QStringLiteral("标签_") + name + QStringLiteral("_对比"));
    figures->addWidget(title, 0, i);
    figures->addWidget(figure_values_[i], 1, i);
    figures->addWidget(figure_changes_[i], 2, i);
  }

  选项卡 = Named(new QTabWidget(this), "选项卡");
  auto* trend = new QWidget(选项卡);
  auto* trend_layout = new QVBoxLayout(trend);
  图表_趋势 = Named(new QChartView(new QChart, trend), "图表_趋势");
  图表_时段 = Named(new QChartView(new QChart, trend), "图表_时段");
  图表_时段->setFixedHeight(170);
  trend_layout->addWidget(图表_趋势, 1);
  trend_layout->addWidget(图表_时段);
  选项卡->addTab(trend, QStringLiteral("趋势"));
  表格_明细 = MakeTable(
      选项卡, "表格_明细",
      {QStringLiteral("期间"), QStringLiteral("收款笔数"), QStringLiteral("收款金额"),
       QStringLiteral("已发货"), QStringLiteral("需要处理"), QStringLiteral("付款到发信（中位）"),
       QStringLiteral("付款到发信（95%）"), QStringLiteral("重发")});
  选项卡->addTab(表格_明细, QStringLiteral("明细"));
  auto* products = new QWidget(选项卡);
  auto* products_layout = new QHBoxLayout(products);
  表格_商品 =
      MakeTable(products, "表格_商品",
                {QStringLiteral("商品（规则主题）"), QStringLiteral("收款笔数"),
                 QStringLiteral("收款金额"), QStringLiteral("占比"), QStringLiteral("已发货"),
                 QStringLiteral("需要处理"), QStringLiteral("付款到发信（中位）")});
  图表_商品 = Named(new QChartView(new QChart, products), "图表_商品");
  products_layout->addWidget(表格_商品, 3);
  products_layout->addWidget(图表_商品, 2);
  选项卡->addTab(products, QStringLiteral("商品"));
  for (QChartView* view : {图表_趋势, 图表_时段, 图表_商品}) {
    view->setRenderHint(QPainter::Antialiasing);
    StyleChart(view->chart());
  }

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(标签_进度);
  layout->addLayout(figures);
  layout->addWidget(选项卡, 1);

  connect(组合框_期间, &QComboBox::currentIndexChanged, this, [this] { PeriodChosen(); });
  connect(组合框_分组, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  for (QDateEdit* edit : {日期框_开始, 日期框_结束}) {
    connect(edit, &QDateEdit::dateChanged, this, [this] {
      if (组合框_期间->currentIndex() == kCustom) PeriodChosen();
    });
  }
  connect(按钮_刷新, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(按钮_导出, &QPushButton::clicked, this, [this] { ExportCsv(); });
  connect(按钮_保存图表, &QPushButton::clicked, this, [this] { SaveChart(); });
}

std::pair<QDate, QDate> StatisticsWindow::PeriodDays(Period period, QDate today, QDate custom_from,
                                                     QDate custom_to) {
  const QDate month(today.year(), today.month(), 1);
  switch (period) {
    case kToday:
      return {today, today.addDays(1)};
    case kYesterday:
      return {today.addDays(-1), today};
    case kLast7:
      return {today.addDays(-6), today.addDays(1)};
    case kLast30:
      return {today.addDays(-29), today.addDays(1)};
    case kThisMonth:
      return {month, today.addDays(1)};
    case kLastMonth:
      return {month.addMonths(-1), month};
    case kThisYear:
      return {QDate(today.year(), 1, 1), today.addDays(1)};
    case kCustom:
      break;
  }
  return {custom_from, custom_to.addDays(1)};
}

void StatisticsWindow::PeriodChosen() {
  const auto period = static_cast<Period>(组合框_期间->currentIndex());
  日期框_开始->setEnabled(period == kCustom);
  日期框_结束->setEnabled(period == kCustom);
  const auto [from, to] =
      PeriodDays(period, QDate::currentDate(), 日期框_开始->date(), 日期框_结束->date());
  if (from < to) {
    // The bucket that suits the period; the seller may pick another afterwards.
    const int size = static_cast<int>(SuitedBucketSize(static_cast<int>(from.daysTo(to))));
    const QSignalBlocker quiet(组合框_分组);
    组合框_分组->setCurrentIndex(组合框_分组->findData(size));
  }
  Refresh();
}

void StatisticsWindow::Refresh() {
  const auto period = static_cast<Period>(组合框_期间->currentIndex());
  const auto [from, to] =
      PeriodDays(period, QDate::currentDate(), 日期框_开始->date(), 日期框_结束->date());
  if (!(from < to)) {
    ShowFailure(QStringLiteral("开始日期晚于结束日期"));
    return;
  }
  auto size = static_cast<BucketSize>(组合框_分组->currentData().toInt());
  if (size == BucketSize::kHour && from.daysTo(to) > 31) {
    // Hours over months make a chart nobody can read.
    size = BucketSize::kDay;
    const QSignalBlocker quiet(组合框_分组);
    组合框_分组->setCurrentIndex(组合框_分组->findData(static_cast<int>(size)));
  }
  if (cancel_) cancel_->store(true);  // an older read still running is of no use now
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancel;
  const int generation = ++generation_;
  标签_进度->setStyleSheet(QString());
  标签_进度->setText(QStringLiteral("正在统计…"));
  const DayNumber from_day = ToDay(from), to_day = ToDay(to);
  worker_.Post([this, cancel, generation, from_day, to_day, size] {
    if (cancel->load()) return;
    auto stats = std::make_shared<Statistics>();
    std::string error;
    StatisticsReader reader;
    const bool ok = reader.Open(ledger_path_, error) &&
                    reader.Read(from_day, to_day, size, *stats, error, cancel.get());
    if (cancel->load()) return;
    // The window stops this worker before it goes, so `this` is there to post to.
    PostToUi(this, [this, generation, ok, stats, error] {
      if (generation != generation_) return;
      if (ok) {
        Show(*stats);
      } else {
        ShowFailure(QString::fromStdString(error));
      }
    });
  });
}

void StatisticsWindow::ShowFailure(const QString& why) {
  标签_进度->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
  标签_进度->setText(QStringLiteral("统计失败：") + why);
}

void StatisticsWindow::Show(const Statistics& stats) {
  stats_ = stats;
  shown_ = true;
  const Figures& now = stats.total;
  const Figures& before = stats.previous;
  const int days = DaysBetween(stats.from, stats.to);
  const QString last_day = FromDay(AddDays(stats.to, -1)).toString(Qt::ISODate);
  const QString first_day = FromDay(stats.from).toString(Qt::ISODate);
  标签_进度->setStyleSheet(QString());
  标签_进度->setText((days == 1 ? first_day : first_day + QStringLiteral(" 至 ") + last_day) +
                     QStringLiteral("，与之前 %1 天相比").arg(days));
  const QString values[6] = {
      QString::number(now.orders),
      QStringLiteral("¥") + Yuan(now.amount_fen),
      QString::number(now.mailed),
      QString::number(now.needing),
      now.median_seconds < 0 ? QStringLiteral("—")
                             : Duration(now.median_seconds) + QStringLiteral("（") +
                                   Duration(now.p95_seconds) + QStringLiteral("）"),
      QString::number(now.resends),
  };
  const QString changes[6] = {
      Percent(now.orders, before.orders, QStringLiteral(" 笔")),
      before.amount_fen == 0 && now.amount_fen != 0
          ? QStringLiteral("+¥") + Yuan(now.amount_fen)
          : Percent(now.amount_fen, before.amount_fen, QString()),
      Percent(now.mailed, before.mailed, QStringLiteral(" 笔")),
      Signed(now.needing - before.needing, QStringLiteral(" 笔")),
      now.median_seconds < 0 || before.median_seconds < 0
          ? QStringLiteral("—")
          : Signed(now.median_seconds - before.median_seconds, QStringLiteral(" 秒")),
      Signed(now.resends - before.resends, QStringLiteral(" 次")),
  };
  const QString before_values[6] = {
      QString::number(before.orders) + QStringLiteral(" 笔"),
      QStringLiteral("¥") + Yuan(before.amount_fen),
      QString::number(before.mailed) + QStringLiteral(" 笔"),
      QString::number(before.needing) + QStringLiteral(" 笔"),
      Duration(before.median_seconds),
      QString::number(before.resends) + QStringLiteral(" 次"),
  };
  for (int i = 0; i < 6; ++i) {
    figure_values_[i]->setText(values[i]);
    figure_changes_[i]->setText(changes[i]);
    figure_changes_[i]->setToolTip(QStringLiteral("之前 %1 天：").arg(days) + before_values[i]);
  }
  FillTrend(stats);
  FillHours(stats);
  FillProducts(stats);
  FillTables(stats);
  emit FiguresShown();
}

void StatisticsWindow::StyleChart(QChart* chart) {
  // The window's palette, dark ones too: the chart is part of the window, not a picture.
  const QPalette& p = palette();
  const bool dark = p.color(QPalette::Window).lightness() < 128;
  chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart->setBackgroundBrush(p.color(QPalette::Base));
  chart->setTitleBrush(p.color(QPalette::WindowText));
  chart->legend()->setLabelColor(p.color(QPalette::WindowText));
  QFont font = chart->titleFont();
  if (!font_family_.isEmpty()) font.setFamily(font_family_);
  chart->setTitleFont(font);
  chart->legend()->setFont(font);
  for (QAbstractAxis* axis : chart->axes()) {
    QFont labels = axis->labelsFont();
    if (!font_family_.isEmpty()) labels.setFamily(font_family_);
    axis->setLabelsFont(labels);
    axis->setTitleFont(labels);
    axis->setLabelsColor(p.color(QPalette::WindowText));
    axis->setTitleBrush(p.color(QPalette::WindowText));
    axis->setGridLineColor(p.color(QPalette::Mid));
  }
}

void StatisticsWindow::FillTrend(const Statistics& stats) {
  QChart* chart = 图表_趋势->chart();
  ClearChart(chart);
  auto* amounts = new QBarSet(QStringLiteral("收款金额（元）"));
  auto* orders = new QLineSeries;
  orders->setName(QStringLiteral("收款笔数"));
  QStringList labels;
  double top_amount = 0, top_orders = 0;
  for (size_t i = 0; i < stats.buckets.size(); ++i) {
    const Figures& f = stats.buckets[i].figures;
    const double yuan = static_cast<double>(f.amount_fen) / 100.0;  // drawn, never summed
    *amounts << yuan;
    orders->append(static_cast<double>(i), static_cast<double>(f.orders));
    labels << AxisLabel(stats.buckets[i].label, stats.size);
    top_amount = std::max(top_amount, yuan);
    top_orders = std::max(top_orders, static_cast<double>(f.orders));
  }
  auto* bars = new QBarSeries;
  bars->append(amounts);
  chart->addSeries(bars);
  chart->addSeries(orders);
  auto* x = new QBarCategoryAxis;
  x->append(labels);
  if (labels.size() > 16) x->setLabelsAngle(-90);
  auto* y_amount = ValueAxis(top_amount);
  y_amount->setTitleText(QStringLiteral("元"));
  auto* y_orders = ValueAxis(top_orders);
  y_orders->setTitleText(QStringLiteral("笔"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y_amount, Qt::AlignLeft);
  chart->addAxis(y_orders, Qt::AlignRight);
  bars->attachAxis(x);
  bars->attachAxis(y_amount);
  orders->attachAxis(x);
  orders->attachAxis(y_orders);
  chart->setTitle(QStringLiteral("收款金额与笔数"));
  StyleChart(chart);
}

void StatisticsWindow::FillHours(const Statistics& stats) {
  QChart* chart = 图表_时段->chart();
  ClearChart(chart);
  auto* set = new QBarSet(QStringLiteral("各时段收款笔数"));
  QStringList hours;
  int64_t top = 0;
  for (int h = 0; h < 24; ++h) {
    *set << static_cast<double>(stats.orders_by_hour[static_cast<size_t>(h)]);
    hours << QString::number(h);
    top = std::max(top, stats.orders_by_hour[static_cast<size_t>(h)]);
  }
  auto* bars = new QBarSeries;
  bars->append(set);
  chart->addSeries(bars);
  auto* x = new QBarCategoryAxis;
  x->append(hours);
  auto* y = ValueAxis(static_cast<double>(top), 3);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  bars->attachAxis(x);
  bars->attachAxis(y);
  chart->legend()->setAlignment(Qt::AlignRight);
  StyleChart(chart);
}

void StatisticsWindow::FillProducts(const Statistics& stats) {
  QChart* chart = 图表_商品->chart();
  ClearChart(chart);
  // The ten best sellers, the largest at the top.
  auto* set = new QBarSet(QStringLiteral("收款金额（元）"));
  QStringList names;
  double top = 0;
  const size_t shown = std::min<size_t>(stats.products.size(), 10);
  for (size_t i = shown; i-- > 0;) {
    const ProductFigures& p = stats.products[i];
    const double yuan = static_cast<double>(p.figures.amount_fen) / 100.0;
    *set << yuan;
    QString name = p.subject.empty() ? QStringLiteral("未匹配规则") : FromGbk(p.subject);
    if (name.size() > 14) name = name.left(13) + QStringLiteral("…");
    // Two rules of the same start must stay two bars.
    while (names.contains(name)) name += QStringLiteral(" ");
    names << name;
    top = std::max(top, yuan);
  }
  auto* bars = new QHorizontalBarSeries;
  bars->append(set);
  chart->addSeries(bars);
  auto* y = new QBarCategoryAxis;
  y->append(names);
  auto* x = ValueAxis(top);
  chart->addAxis(y, Qt::AlignLeft);
  chart->addAxis(x, Qt::AlignBottom);
  bars->attachAxis(y);
  bars->attachAxis(x);
  chart->setTitle(QStringLiteral("各商品收款金额"));
  chart->legend()->hide();
  StyleChart(chart);
}

void StatisticsWindow::FillTables(const Statistics& stats) {
  表格_明细->setRowCount(static_cast<int>(stats.buckets.size()));
  int row = 0;
  for (const BucketFigures& b : stats.buckets) {
    const Figures& f = b.figures;
    SetRow(表格_明细, row++,
           {QString::fromStdString(b.label), QString::number(f.orders), Yuan(f.amount_fen),
            QString::number(f.mailed), QString::number(f.needing), Duration(f.median_seconds),
            Duration(f.p95_seconds), QString::number(f.resends)});
  }
  表格_商品->setRowCount(static_cast<int>(stats.products.size()));
  row = 0;
  for (const ProductFigures& p : stats.products) {
    const Figures& f = p.figures;
    const QString share = stats.total.amount_fen > 0
                              ? QString::number(100.0 * static_cast<double>(f.amount_fen) /
                                                    static_cast<double>(stats.total.amount_fen),
                                                'f', 1) +
                                    QStringLiteral("%")
                              : QStringLiteral("—");
    SetRow(表格_商品, row++,
           {p.subject.empty() ? QStringLiteral("未匹配规则") : FromGbk(p.subject),
            QString::number(f.orders), Yuan(f.amount_fen), share, QString::number(f.mailed),
            QString::number(f.needing), Duration(f.median_seconds)});
  }
  表格_明细->resizeColumnsToContents();
  表格_商品->resizeColumnsToContents();
}

void StatisticsWindow::ExportCsv() {
  QTableWidget* table = 选项卡->currentIndex() == 2 ? 表格_商品 : 表格_明细;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  const QString suggested = QDir(folder).filePath(
      QStringLiteral("统计-%1-%2.csv")
          .arg(table == 表格_商品 ? QStringLiteral("商品") : QStringLiteral("明细"),
               QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
  std::optional<QString> chosen = dialogs_.SaveFile(this, QStringLiteral("导出 CSV"), suggested,
                                                    QStringLiteral("CSV 文件 (*.csv)"));
  if (!chosen || chosen->isEmpty()) return;
  QString path = *chosen;
  if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) path += QStringLiteral(".csv");
  std::vector<std::vector<std::string>> rows(1);
  for (int c = 0; c < table->columnCount(); ++c) {
    rows[0].push_back(table->horizontalHeaderItem(c)->text().toStdString());
  }
  for (int r = 0; r < table->rowCount(); ++r) {
    rows.emplace_back();
    for (int c = 0; c < table->columnCount(); ++c) {
      const QTableWidgetItem* item = table->item(r, c);
      rows.back().push_back(item ? item->text().toStdString() : std::string());
    }
  }
  const CsvExportResult result = WriteCsvTable(rows, QFile::encodeName(path).toStdString());
  if (!result.ok) {
    dialogs_.ShowMessage(
        this, QStringLiteral("导出失败：%1\n%2").arg(path, QString::fromStdString(result.error)),
        QStringLiteral("错误"), Dialogs::Icon::kCritical);
  }
}

void StatisticsWindow::SaveChart() {
  QChartView* view = 选项卡->currentIndex() == 2 ? 图表_商品 : 图表_趋势;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  const QString suggested = QDir(folder).filePath(
      QStringLiteral("统计-%1.png").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
  std::optional<QString> chosen = dialogs_.SaveFile(this, QStringLiteral("保存图表"), suggested,
                                                    QStringLiteral("PNG 图片 (*.png)"));
  if (!chosen || chosen->isEmpty()) return;
  QString path = *chosen;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
  if (!view->grab().save(path, "PNG")) {
    dialogs_.ShowMessage(this, QStringLiteral("保存失败：%1").arg(path), QStringLiteral("错误"),
                         Dialogs::Icon::kCritical);
  }
}

}  // namespace fahuo
