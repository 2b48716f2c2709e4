// The 统计 window over a fixed ledger: the figures read on the window's worker reach the
// widgets, against the period before, and the table shown is exported as the record's CSV.
#include "app/statistics_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>

#include "ledger/ledger.h"
#include "platform/gbk.h"
#include "scripted_dialogs.h"
#include "test_support.h"

namespace fahuo {
namespace {

LedgerEntry Bill(const char* serial, const char* date, const char* amount, BillState state,
                 const char* rule = "", int64_t first_seen = 0, int64_t sent_at = 0) {
  LedgerEntry e;
  e.bill.流水号 = serial;
  e.bill.日期 = date;
  e.bill.金额 = amount;
  e.bill.状态 = Utf8ToGbk("交易成功");
  e.state = state;
  e.rule_subject = Utf8ToGbk(rule);
  e.first_seen = first_seen;
  e.sent_at = sent_at;
  return e;
}

QString Text(QWidget& window, const char* name) {
  auto* label = window.findChild<QLabel*>(QString::fromUtf8(name));
  EXPECT_NE(label, nullptr) << name;
  return label ? label->text() : QString();
}

TEST(StatisticsWindowTest, ShowsThePeriodsFiguresAgainstThePeriodBeforeAndExportsTheTable) {
  testing::TempDir dir;
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  std::vector<LedgerEntry> bills = {
      // The period before: 2026-11-28 and 29.
      Bill("P1", "2026.11.28 10:00", "+ 1.00", BillState::kBaseline),
      Bill("P2", "2026.11.29 09:10", "+ 10.00", BillState::kSent, "月卡", 1000, 1100),
      // The period: 2026-11-30 and 2026-12-01.
      Bill("A1", "2026.11.30 10:00", "+ 20.50", BillState::kSent, "月卡", 2000, 2040),
      Bill("A2", "2026.12.01 23:59", "+ 5.25", BillState::kBaseline),
      Bill("A3", "2026.12.01 12:00", "+ 7.00", BillState::kFailed),
      Bill("X1", "2026.12.01 13:00", "- 3.00", BillState::kOutgoing),
  };
  ASSERT_TRUE(ledger.Insert(bills));

  ScriptedDialogs dialogs;
  StatisticsWindow window(dir.File("fahuo.db"), dialogs);
  QSignalSpy shown(&window, &StatisticsWindow::FiguresShown);
  window.findChild<QDateEdit*>(QStringLiteral("日期框_开始"))->setDate(QDate(2026, 11, 30));
  window.findChild<QDateEdit*>(QStringLiteral("日期框_结束"))->setDate(QDate(2026, 12, 1));
  window.findChild<QComboBox*>(QStringLiteral("组合框_期间"))
      ->setCurrentIndex(StatisticsWindow::kCustom);
  EXPECT_EQ(Text(window, "标签_进度"), QStringLiteral("正在统计…"));
  // Only the newest read's figures are shown; wait for them.
  while (!window.HasFigures() || window.figures().from != 20261130) {
    ASSERT_TRUE(shown.wait(5000));
  }
  EXPECT_EQ(Text(window, "标签_进度"), QStringLiteral("2026-11-30 至 2026-12-01，与之前 2 天相比"));
  EXPECT_EQ(Text(window, "标签_收款笔数"), QStringLiteral("3"));
  EXPECT_EQ(Text(window, "标签_收款笔数_对比"), QStringLiteral("+50%"));
  EXPECT_EQ(Text(window, "标签_收款金额"), QStringLiteral("¥32.75"));
  EXPECT_EQ(Text(window, "标签_收款金额_对比"), QStringLiteral("+198%"));
  EXPECT_EQ(Text(window, "标签_已发货"), QStringLiteral("1"));
  EXPECT_EQ(Text(window, "标签_需要处理"), QStringLiteral("1"));
  EXPECT_EQ(Text(window, "标签_需要处理_对比"), QStringLiteral("+1 笔"));
  EXPECT_EQ(Text(window, "标签_付款到发信"), QStringLiteral("40 秒（40 秒）"));
  EXPECT_EQ(Text(window, "标签_付款到发信_对比"), QStringLiteral("−60 秒"));
  // Two days: by the hour.
  EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("组合框_分组"))->currentText(),
            QStringLiteral("按小时"));
  auto* products = window.findChild<QTableWidget*>(QStringLiteral("表格_商品"));
  ASSERT_EQ(products->rowCount(), 2);
  EXPECT_EQ(products->item(0, 0)->text(), QStringLiteral("月卡"));
  EXPECT_EQ(products->item(1, 0)->text(), QStringLiteral("未匹配规则"));
  EXPECT_EQ(products->item(1, 2)->text(), QStringLiteral("12.25"));

  // By day, and the table of days exported.
  window.findChild<QComboBox*>(QStringLiteral("组合框_分组"))->setCurrentIndex(1);
  ASSERT_TRUE(shown.wait(5000));
  window.findChild<QTabWidget*>(QStringLiteral("选项卡"))->setCurrentIndex(1);
  const QString path = QString::fromStdString(dir.File("days.csv"));
  dialogs.QueueSaveFile(path);
  window.findChild<QPushButton*>(QStringLiteral("按钮_导出"))->click();
  EXPECT_EQ(
      testing::ReadFileBytes(path.toStdString()),
      "\xEF\xBB\xBF" + QStringLiteral("期间,收款笔数,收款金额,已发货,需要处理,付款到发信（中位）,"
                                      "付款到发信（95%）,重发\r\n"
                                      "2026-11-30,1,20.50,1,0,40 秒,40 秒,0\r\n"
                                      "2026-12-01,2,12.25,0,1,—,—,0\r\n")
                           .toStdString());
}

}  // namespace
}  // namespace fahuo
