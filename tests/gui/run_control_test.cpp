#include "app/run_control.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/app_services.h"
#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "app/main_window.h"
#include "app/settings_binder.h"
#include "capture/records_address.h"
#include "controls.h"
#include "delivery/shop.h"
#include "fake_clock.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"
#include "rules/delivery_rule.h"
#include "rules/rule_table.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/dialogs.h"

namespace fahuo {
namespace {

using testing::Control;
using testing::TempDir;

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RecordTable::CreateEmpty(dir.File("zhifubaoZD.edb"), BillTableFields()));
  }
  // Nothing listens there: no outside traffic.
  static ShopOptions Offline() {
    ShopOptions o;
    o.records_base = "http://127.0.0.1:9";
    o.page_gap_ms = 0;
    return o;
  }
  void MakeRuleTable() {
    ASSERT_TRUE(RecordTable::CreateEmpty(dir.File("Yjgz.edb"), RuleTableFields()));
  }
  std::string SettingsFile() const { return SettingsPath(services.data_folder); }
  TempDir dir;
  FakeClock clock;
  ScriptedDialogs dialogs;
  ActivityLog log;
  const AppServices services{.dialogs = dialogs, .log = log, .data_folder = DataFolder(dir.path())};
};

TEST_F(RunControlTest, IntervalsOutsideOneSecondToOneMinuteAreRefused) {
  MakeRuleTable();
  Shop shop(&clock, Offline());
  MainWindow w(shop, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 按钮1 = Control<QPushButton>(w, "按钮1");
  auto* 时钟_刷新 = Control<QTimer>(w, "时钟_刷新");
  struct Case {
    const char* text;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {"999", "请设置1000毫秒以上，以免刷新太快"},
      {"", "请设置1000毫秒以上，以免刷新太快"},
      {"abc", "请设置1000毫秒以上，以免刷新太快"},
      {"60001", "刷新时间最好不要超过一分钟，以免登录失效"},
      {"1000", nullptr},
      {"60000", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    dialogs.ClearSeen();
    编辑框_间隔时间->setText(QString::fromUtf8(c.text));
    按钮1->click();
    auto seen = dialogs.Seen();
    if (c.message) {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].text, QString::fromUtf8(c.message));
      EXPECT_EQ(seen[0].caption, QStringLiteral("错误"));
      EXPECT_EQ(按钮1->text(), QStringLiteral("开始"));
      EXPECT_FALSE(时钟_刷新->isActive());
    } else {
      EXPECT_TRUE(seen.empty());
      EXPECT_EQ(按钮1->text(), QStringLiteral("停止"));
      EXPECT_EQ(时钟_刷新->interval(), QString::fromUtf8(c.text).toInt());
      按钮1->click();  // stop again for the next case
      EXPECT_EQ(按钮1->text(), QStringLiteral("开始"));
    }
  }
}

TEST_F(RunControlTest, MissingRuleTableRefusesTheStartAndLeavesTheRulesAlone) {
  Shop shop(&clock, Offline());
  shop.rules().Replace({{1, 2, "s", "b"}});
  MainWindow w(shop, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 按钮1 = Control<QPushButton>(w, "按钮1");
  编辑框_间隔时间->setText(QStringLiteral("2000"));
  按钮1->click();
  auto seen = dialogs.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, QStringLiteral("打开数据库失败，请先设置邮件规则"));
  EXPECT_TRUE(seen[0].caption.isEmpty());
  EXPECT_EQ(按钮1->text(), QStringLiteral("开始"));
  EXPECT_EQ(shop.rules().Current()->size(), 1u);
}

// A table beyond the limit still starts monitoring, with the first rules, and the seller
// reads why in the log.
TEST_F(RunControlTest, RuleTableBeyondTheLimitStartsWithTheFirstRulesAndSaysSoInTheLog) {
  ASSERT_TRUE(WriteRuleTable(RuleTablePath(services.data_folder),
                             std::vector<DeliveryRule>(kMaxRules + 1, {1, 2, "s", "b"}), nullptr));
  Shop shop(&clock, Offline());
  MainWindow w(shop, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 按钮1 = Control<QPushButton>(w, "按钮1");
  编辑框_间隔时间->setText(QStringLiteral("2000"));
  按钮1->click();
  EXPECT_TRUE(dialogs.Seen().empty());
  EXPECT_EQ(按钮1->text(), QStringLiteral("停止"));
  EXPECT_EQ(shop.rules().Current()->size(), kMaxRules);
  EXPECT_EQ(GbkToUtf8(log.Text()), "规则表有 10001 条规则，只使用前 10000 条\r\n");
}

TEST_F(RunControlTest, StartAndStopSwitchCaptionFieldsTimersAndTheRulesButton) {
  MakeRuleTable();
  Shop shop(&clock, Offline());
  shop.rules().Replace({{1, 2, "s", "b"}});
  MainWindow w(shop, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 按钮1 = Control<QPushButton>(w, "按钮1");
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
  auto* 编辑框_邮箱用户名 = Control<QLineEdit>(w, "编辑框_邮箱用户名");
  auto* 编辑框_邮箱服务器地址 = Control<QLineEdit>(w, "编辑框_邮箱服务器地址");
  auto* 按钮_设置 = Control<QPushButton>(w, "按钮_设置");
  auto* 时钟_刷新 = Control<QTimer>(w, "时钟_刷新");
  auto* 时钟_记时 = Control<QTimer>(w, "时钟_记时");
  auto* 时钟_防止掉线 = Control<QTimer>(w, "时钟_防止掉线");
  auto* 标签_时间 = Control<QLabel>(w, "标签_时间");
  编辑框_间隔时间->setText(QStringLiteral("1500"));
  按钮1->click();
  EXPECT_TRUE(shop.rules().Current()->empty());  // reloaded from the (empty) table
  EXPECT_EQ(按钮1->text(), QStringLiteral("停止"));
  for (QLineEdit* e :
       {编辑框_间隔时间, 编辑框_邮箱密码, 编辑框_邮箱用户名, 编辑框_邮箱服务器地址}) {
    EXPECT_FALSE(e->isEnabled());
  }
  EXPECT_FALSE(按钮_设置->isEnabled());
  EXPECT_TRUE(时钟_刷新->isActive());
  EXPECT_EQ(时钟_刷新->interval(), 1500);
  EXPECT_EQ(时钟_记时->interval(), 1000);
  EXPECT_FALSE(时钟_防止掉线->isActive());  // start/stop never touch the keep-alive

  // The clock continues across stop and start.
  for (int i = 0; i < 3723; ++i) w.run_control()->OnElapsedTick();
  EXPECT_EQ(标签_时间->text(), QStringLiteral("已经运行:01:02:03"));
  按钮1->click();
  EXPECT_EQ(按钮1->text(), QStringLiteral("开始"));
  EXPECT_TRUE(按钮_设置->isEnabled());
  EXPECT_TRUE(编辑框_间隔时间->isEnabled());
  EXPECT_FALSE(时钟_刷新->isActive());
  EXPECT_FALSE(时钟_记时->isActive());
  按钮1->click();
  w.run_control()->OnElapsedTick();
  EXPECT_EQ(标签_时间->text(), QStringLiteral("已经运行:01:02:04"));
}

TEST_F(RunControlTest, RefreshTicksRunPassesOffTheUiThreadAndDropTicksWhileOneRuns) {
  Shop shop(&clock, Offline());
  MainWindow w(shop, services);
  std::atomic<int> passes{0};
  std::atomic<bool> hold{true};
  std::atomic<bool> off_ui{true};
  w.run_control()->read_records = [&](const DeliveryOutlet&) {
    off_ui = off_ui && QThread::currentThread() != qApp->thread();
    ++passes;
    while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  w.run_control()->OnRefreshTick();
  for (int i = 0; i < 200 && passes < 1; ++i) QTest::qWait(10);
  w.run_control()->OnRefreshTick();  // the first still runs: dropped, not queued
  hold = false;
  QTest::qWait(100);
  EXPECT_EQ(passes, 1);
  w.run_control()->OnRefreshTick();
  for (int i = 0; i < 200 && passes < 2; ++i) QTest::qWait(10);
  EXPECT_EQ(passes, 2);
  EXPECT_TRUE(off_ui);
}

TEST_F(RunControlTest, KeepAliveGoesOutAtOnceThenAtLeastAMinuteApart) {
  Shop shop(&clock, Offline());
  MainWindow w(shop, services);
  std::atomic<int> requests{0};
  w.run_control()->keep_alive_request = [&] { ++requests; };
  auto settle = [&](int expected) {
    for (int i = 0; i < 200 && requests < expected; ++i) QTest::qWait(5);
    QTest::qWait(20);
    return requests.load();
  };
  clock.SetTick(0);  // even a tick count of 0 sends the first request
  w.run_control()->OnKeepAliveTick();
  EXPECT_EQ(settle(1), 1);
  for (int i = 1; i <= 6; ++i) {  // 10 s ticks: the sixth falls exactly 60000 ms later
    clock.Advance(10000);
    w.run_control()->OnKeepAliveTick();
  }
  EXPECT_EQ(settle(1), 1);
  clock.Advance(10000);
  w.run_control()->OnKeepAliveTick();
  EXPECT_EQ(settle(2), 2);
  clock.Advance(60001);
  w.run_control()->OnKeepAliveTick();
  EXPECT_EQ(settle(3), 3);
}

TEST_F(RunControlTest, SettingsAreLoadedAtStartUpAndWrittenOnEveryChange) {
  {
    Shop shop(&clock, Offline());
    MainWindow w(shop, services);
    auto* 编辑框_邮箱服务器地址 = Control<QLineEdit>(w, "编辑框_邮箱服务器地址");
    auto* 编辑框_邮箱用户名 = Control<QLineEdit>(w, "编辑框_邮箱用户名");
    auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
    auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
    ASSERT_TRUE(w.StartUp());
    EXPECT_EQ(编辑框_邮箱服务器地址->text(), QStringLiteral("smtp.qq.com"));
    EXPECT_EQ(编辑框_邮箱用户名->text(), QStringLiteral("邮箱账号"));
    EXPECT_EQ(编辑框_邮箱密码->text(), QString());
    EXPECT_EQ(编辑框_间隔时间->text(), QStringLiteral("2000"));
    QTest::keyClicks(编辑框_间隔时间, QStringLiteral("x"));
    EXPECT_EQ(ReadSetting(SettingsFile(), kSettingInterval), "2000x");
    编辑框_邮箱密码->setText(QStringLiteral("授权码 1"));
    EXPECT_EQ(ReadSetting(SettingsFile(), kSettingPassword), "");  // written once left
    emit 编辑框_邮箱密码->editingFinished();
    EXPECT_EQ(ReadSetting(SettingsFile(), kSettingPassword), Utf8ToGbk("授权码 1"));
    编辑框_间隔时间->setText(QStringLiteral("500"));
  }
  Shop shop2(&clock, Offline());
  MainWindow again(shop2, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(again, "编辑框_间隔时间");
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(again, "编辑框_邮箱密码");
  ASSERT_TRUE(again.StartUp());
  EXPECT_EQ(编辑框_间隔时间->text(), QStringLiteral("500"));  // shown unchanged
  EXPECT_EQ(编辑框_邮箱密码->text(), QStringLiteral("授权码 1"));
}

TEST_F(RunControlTest, StartUpThatEndsEarlyLeavesTheSettingsFileUnread) {
  ASSERT_TRUE(WriteSetting(SettingsFile(), kSettingInterval, "3000"));
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("zhifubaoZD.edb"), "damaged"));
  dialogs.QueueAnswer(Dialogs::Answer::kNo);
  Shop shop(&clock, Offline());
  MainWindow w(shop, services);
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 编辑框_邮箱用户名 = Control<QLineEdit>(w, "编辑框_邮箱用户名");
  EXPECT_FALSE(w.StartUp());
  EXPECT_EQ(编辑框_间隔时间->text(), QStringLiteral("6000"));
  EXPECT_EQ(编辑框_邮箱用户名->text(), QString());
  EXPECT_EQ(ReadSetting(SettingsFile(), kSettingInterval), "3000");
}

}  // namespace
}  // namespace fahuo
