#pragma once
// The shop's figures (统计): a period, its figures against the period before, charts of the
// amount and orders per bucket, per product and by hour of the day, and the tables behind
// them. Not modal. The ledger is read on a worker of the window's own over a read-only
// connection (ledger/statistics.h), so neither the window nor the delivery waits for it.
#include <QDate>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "ledger/statistics.h"
#include "platform/worker.h"

class QChart;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace fahuo {

class Dialogs;

class StatisticsWindow : public QWidget {
  Q_OBJECT

 public:
  enum Period { kToday, kYesterday, kLast7, kLast30, kThisMonth, kLastMonth, kThisYear, kCustom };

  // `ledger_path`: fahuo.db; `dialogs` outlives the window.
  StatisticsWindow(std::string ledger_path, Dialogs& dialogs, QWidget* parent = nullptr);
  ~StatisticsWindow() override;

  // Counts the chosen period again (the window shows the last figures meanwhile).
  void Refresh();
  // Ends the reading; the window reads no more (fahuo is quitting).
  void Stop();

  // The days the period choice stands for, [from, to), with `today` as today.
  static std::pair<QDate, QDate> PeriodDays(Period period, QDate today, QDate custom_from,
                                            QDate custom_to);

  // What the last read found; true once one has been shown.
  bool HasFigures() const { return shown_; }
  const Statistics& figures() const { return stats_; }

  // Asks where to and writes the table shown (明细 or 商品) as CSV.
  void ExportCsv();
  // Asks where to and writes the chart shown as PNG.
  void SaveChart();

 signals:
  void FiguresShown();  // after each read's figures reached the widgets

 protected:
  void changeEvent(QEvent* event) override;  // a new palette (dark or light) restyles the charts

 private:
  void BuildLayout();
  void PeriodChosen();
  void Show(const Statistics& stats);
  void ShowFailure(const QString& why);
  void StyleChart(QChart* chart);
  void FillTrend(const Statistics& stats);
  void FillHours(const Statistics& stats);
  void FillProducts(const Statistics& stats);
  void FillTables(const Statistics& stats);

  const std::string ledger_path_;
  Dialogs& dialogs_;
  Statistics stats_;
  bool shown_ = false;
  int generation_ = 0;  // the newest read asked for; older answers are dropped
  std::shared_ptr<std::atomic<bool>> cancel_;
  QString font_family_;

  QComboBox* 组合框_期间 = nullptr;
  QDateEdit* 日期框_开始 = nullptr;
  QDateEdit* 日期框_结束 = nullptr;
  QComboBox* 组合框_分组 = nullptr;
  QPushButton* 按钮_刷新 = nullptr;
  QPushButton* 按钮_导出 = nullptr;
  QPushButton* 按钮_保存图表 = nullptr;
  QLabel* 标签_进度 = nullptr;
  // Per figure (收款笔数, 收款金额, 已发货, 需要处理, 付款到发信, 重发): its value and the
  // change against the period before ("标签_收款笔数", "标签_收款笔数_对比", ...).
  QLabel* figure_values_[6] = {};
  QLabel* figure_changes_[6] = {};
  QTabWidget* 选项卡 = nullptr;
  QChartView* 图表_趋势 = nullptr;
  QChartView* 图表_时段 = nullptr;
  QChartView* 图表_商品 = nullptr;
  QTableWidget* 表格_明细 = nullptr;
  QTableWidget* 表格_商品 = nullptr;

  // Last: stopped (and joined) before any widget above goes.
  Worker worker_;
};

}  // namespace fahuo
