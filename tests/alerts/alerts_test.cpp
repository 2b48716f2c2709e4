// When the seller is alerted: each kind at most once per 30 minutes while its cause lasts,
// once more when it ends, the long-lasting causes after their delay, the summary at its time.
#include "alerts/alerts.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake_clock.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr int64_t kMin = 60;

std::string Kinds(const std::vector<Alert>& alerts) {
  std::string out;
  for (const Alert& a : alerts) {
    if (!out.empty()) out += ",";
    out += GbkToUtf8(a.title);
  }
  return out;
}

TEST(AlertRulesTest, OncePerHalfHourAndOnceBack) {
  FakeClock clock;
  AlertRules rules;
  auto now = [&] { return clock.UnixSeconds(); };
  auto tick = [&](bool watching = true) {
    return rules.Tick({now(), watching, clock.Today(), 600}, [] { return SummaryCounts{}; });
  };
  auto at = [&](int64_t minutes) { clock.SetTick(minutes * kMin * 1000); };
  struct Step {
    int64_t minute;
    std::function<std::vector<Alert>()> event;
    const char* expected;  // titles, comma-separated
  };
  const Step steps[] = {
      {0, [&] { return tick(); }, ""},
      {1, [&] { return rules.SignInLapsed(now()); }, "发货提醒：登录已失效"},
      {2, [&] { return rules.SignInLapsed(now()); }, ""},  // the same lapse
      {20, [&] { return tick(); }, ""},                    // no reminder while it lasts
      {21, [&] { return rules.SignInRestored(now()); }, "发货提醒：已重新登录"},
      // A second lapse within 30 minutes of the first alert waits for them to pass…
      {25, [&] { return rules.SignInLapsed(now()); }, ""},
      {30, [&] { return tick(); }, ""},
      {31, [&] { return tick(); }, "发货提醒：登录已失效"},
      {32, [&] { return rules.SignInRestored(now()); }, "发货提醒：已重新登录"},
      // …and one that ends before then is never told, nor its end.
      {40, [&] { return rules.SignInLapsed(now()); }, ""},
      {45, [&] { return rules.SignInRestored(now()); }, ""},
      // Records unread for 5 minutes (the last read was at the restore, minute 45).
      {49, [&] { return tick(); }, ""},
      {50, [&] { return tick(); }, "发货提醒：交易记录无法读取"},
      {51, [&] { return rules.RecordsRead(now()); }, "发货提醒：交易记录恢复读取"},
      // Not watching: nothing is expected of the records.
      {52, [&] { return tick(false); }, ""},
      {90, [&] { return tick(false); }, ""},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.minute);
    at(s.minute);
    EXPECT_EQ(Kinds(s.event()), s.expected);
  }
}

TEST(AlertRulesTest, MailboxRefusedUnreachableAndBack) {
  AlertRules rules;
  const std::string auth = Utf8ToGbk("535 Login Fail. Please enter your authorization code");
  const std::string fail = "Failed to connect to 127.0.0.1 port 1: Couldn't connect to server";
  std::vector<Alert> a = rules.MailboxAnswered(auth, 0);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, AlertKind::kMailboxRefused);
  EXPECT_NE(GbkToUtf8(a[0].text).find("授权码错误或已更换"), std::string::npos);
  EXPECT_NE(GbkToUtf8(a[0].text).find("535"), std::string::npos);
  EXPECT_TRUE(rules.MailboxAnswered(auth, 60).empty());
  a = rules.MailboxAnswered("", 120);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_TRUE(a[0].back_to_normal);
  // No connection: told after 10 minutes of it, not before.
  EXPECT_TRUE(rules.MailboxAnswered(fail, 200).empty());
  EXPECT_TRUE(rules.MailboxAnswered(fail, 200 + 9 * kMin).empty());
  a = rules.Tick({200 + 10 * kMin, true, {}, 0}, [] { return SummaryCounts{}; });
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, AlertKind::kMailboxUnreachable);
  // A recipient refused is no news about the account: the mailbox works again.
  a = rules.MailboxAnswered("550 5.1.1 <x@y.z>: Recipient address rejected", 200 + 11 * kMin);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, AlertKind::kMailboxUnreachable);
  EXPECT_TRUE(a[0].back_to_normal);
}

TEST(AlertRulesTest, WaitingBillsAreGatheredNotLost) {
  AlertRules rules;
  std::vector<Alert> a = rules.BillsWaiting(WaitingReason::kFailed, {"2015001"}, 0);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_NE(a[0].text.find("2015001"), std::string::npos);
  // Within the half hour they wait, then go out together.
  EXPECT_TRUE(rules.BillsWaiting(WaitingReason::kFailed, {"2015002"}, 60).empty());
  EXPECT_TRUE(rules.BillsWaiting(WaitingReason::kUnknown, {"2015003"}, 120).empty());
  EXPECT_TRUE(rules.HeldPayments(4, 180).empty());
  a = rules.Tick({30 * kMin, false, {}, 0}, [] { return SummaryCounts{}; });
  ASSERT_EQ(a.size(), 1u);
  const std::string text = GbkToUtf8(a[0].text);
  EXPECT_NE(text.find("2015002"), std::string::npos);
  EXPECT_NE(text.find("2015003"), std::string::npos);
  EXPECT_NE(text.find("有 4 笔付款"), std::string::npos);
  EXPECT_EQ(text.find("2015001"), std::string::npos);
  EXPECT_TRUE(rules.Tick({90 * kMin, false, {}, 0}, [] { return SummaryCounts{}; }).empty());
}

TEST(AlertRulesTest, StockShortOncePerHalfHourPerStockAndKindNamingTheStockOnly) {
  AlertRules rules;
  auto told = [&](const char* stock, bool empty, int64_t minute) {
    std::string text;
    for (const Alert& a : rules.StockShort(Utf8ToGbk(stock), empty, minute * kMin)) {
      text += GbkToUtf8(a.text);
    }
    return text;
  };
  EXPECT_NE(told("会员", false, 0).find("库存 会员 的卡密即将用完"), std::string::npos);
  EXPECT_NE(told("会员", true, 10).find("库存 会员 的卡密已用完"), std::string::npos);
  EXPECT_EQ(told("会员", true, 11), "");
  EXPECT_NE(told("月卡", true, 12), "");  // another stock
  EXPECT_EQ(told("会员", false, 29), "");
  EXPECT_NE(told("会员", true, 40), "");
}

TEST(AlertRulesTest, SummaryOnceADayAtItsTime) {
  AlertRules rules(21 * 60 + 30);
  int asked = 0;
  auto tick = [&](LocalDate day, int minute) {
    return Kinds(rules.Tick({0, false, day, minute}, [&] {
      ++asked;
      return SummaryCounts{7, 2};
    }));
  };
  EXPECT_EQ(tick({2015, 1, 6}, 21 * 60), "");
  EXPECT_EQ(tick({2015, 1, 6}, 21 * 60 + 30), "发货提醒：每日汇总");
  EXPECT_EQ(tick({2015, 1, 6}, 21 * 60 + 31), "");
  EXPECT_EQ(tick({2015, 1, 7}, 8 * 60), "");
  EXPECT_EQ(tick({2015, 1, 7}, 22 * 60), "发货提醒：每日汇总");  // a late tick still sends
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(GbkToUtf8(AlertRules::SummaryAlert({7, 2}).text), "今日已发货 7 笔；需要您处理 2 笔。");
  EXPECT_EQ(GbkToUtf8(AlertRules::SummaryAlert({7, 2, {{Utf8ToGbk("月卡"), 12}, {"vip", 0}}}).text),
            "今日已发货 7 笔；需要您处理 2 笔。\n卡密库存：月卡 剩 12 个，vip 剩 0 个。");
  // The day's takings against yesterday's, counted in fen; each stock's days at its pace.
  const SummaryCounts money{
      7, 2, {{Utf8ToGbk("月卡"), 12, 4}, {"vip", 0, std::nullopt}}, 123456, 5};
  EXPECT_EQ(GbkToUtf8(AlertRules::SummaryAlert(money).text),
            "今日已发货 7 笔；需要您处理 2 笔。\n今日收款 1234.56 元，昨日 0.05 元。\n"
            "卡密库存：月卡 剩 12 个（约 4 天），vip 剩 0 个。");
  EXPECT_EQ(FenText(-1005), "-10.05");
  // Set after today's time: the first summary is tomorrow's.
  rules.SetSummaryMinute(9 * 60);
  EXPECT_EQ(tick({2015, 1, 8}, 10 * 60), "");
  EXPECT_EQ(tick({2015, 1, 9}, 9 * 60), "发货提醒：每日汇总");
}

}  // namespace
}  // namespace fahuo
