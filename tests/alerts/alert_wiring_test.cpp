// What the shop's reader and sender report reaches the seller: a lapse, its end and a
// refused login arrive at a webhook on loopback (tools/webhook_sink.py), once each.
#include <gtest/gtest.h>

#include <algorithm>

#include "alerts/alert_courier.h"
#include "alerts/alert_monitor.h"
#include "ledger/ledger.h"
#include "pass_fixture.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

// A courier that pushes to the webhook on `port` at once, without retries.
std::shared_ptr<AlertCourier> WebhookCourier(int port) {
  AlertCourier::Options o;
  o.http = {2000, 4000, {}};
  o.retry_seconds = {};
  auto courier = std::make_shared<AlertCourier>(o, nullptr);
  AlertChannels channels;
  channels.webhook = "http://127.0.0.1:" + std::to_string(port) + "/hook";
  courier->SetChannels(channels);
  return courier;
}

TEST(AlertWiringTest, LapseBackAndRefusedLoginEachReachTheWebhookOnce) {
  ChildProcess hook;
  const int port = StartPythonService(hook, "webhook_sink.py", {});
  ASSERT_GT(port, 0);
  auto courier = WebhookCourier(port);

  ShopHarness h;
  h.shop().rules().Replace({Rule(0, 1000, "教程")});
  h.LoadBaseline(BuildPage({{.serial = "A"}}));
  auto inner = std::make_shared<RecordingWindow>();
  DeliveryEventHub hub({inner, std::make_shared<AlertMonitor>(courier, h.clock)});
  std::string page = ReadFileBytes(TestDataDir() + "/records_signin.htm");
  std::string login_error;
  DeliveryServices services;
  services.fetch = [&](const std::string&) { return page; };
  services.connect = [&](const MailAccount&) { return login_error; };
  services.send = [](const std::string&, const std::string&, const std::string&,
                     const std::string&) { return std::string(); };
  auto pass = [&] { h.shop().RunPass(TestAccount(), {*inner, hub}, services); };
  auto next = [&](int ms = 10000) { return hook.WaitForLine("REQUEST ", ms); };

  pass();
  h.clock.Advance(Shop::kLapseAfterMs + 1000);
  pass();
  EXPECT_NE(next().find("登录已失效"), std::string::npos);
  page = BuildPage({{.serial = "A"}});
  h.shop().ReadSoon();  // signed in again in the browser
  pass();
  EXPECT_NE(next().find("已重新登录"), std::string::npos);

  login_error = "535 Error: authentication failed";
  page = BuildPage({{.serial = "B", .name = "b@example.com"}, {.serial = "A"}});
  pass();
  const std::string refused = next();
  EXPECT_NE(refused.find("邮箱拒绝发信"), std::string::npos) << refused;
  EXPECT_NE(refused.find("授权码错误或已更换"), std::string::npos) << refused;
  h.clock.Advance(5 * 60 * 1000);  // the retry comes due and is refused again
  pass();
  EXPECT_EQ(next(1000), "");
  // The window heard everything as before.
  const std::vector<std::string> events = inner->Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "lapsed"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "restored"), 1);
}

// A skipped order is reported by the sender; a payment of a status not known and a bill
// retried though paid over six hours ago are read from the ledger at a tick. Each reaches the
// seller by its serial.
TEST(AlertWiringTest, BillsThatWaitInSilenceReachTheWebhook) {
  ChildProcess hook;
  const int port = StartPythonService(hook, "webhook_sink.py", {});
  ASSERT_GT(port, 0);
  ShopHarness h;
  h.shop().rules().Replace({Rule(0, 10, "教程")});
  h.LoadBaseline(BuildPage({{.serial = "A"}}));
  auto monitor = std::make_shared<AlertMonitor>(WebhookCourier(port), h.clock);
  RecordingWindow view;
  DeliveryEventHub hub({monitor});
  DeliveryServices services;
  services.fetch = [](const std::string&) {
    return BuildPage({{.serial = "U", .status = "处理中"}, {.serial = "B"}, {.serial = "A"}});
  };
  services.connect = [](const MailAccount&) { return std::string(); };
  h.shop().RunPass(TestAccount(), {view, hub}, services);
  ASSERT_EQ(h.State("U"), "unconfirmed");
  const std::string skipped = hook.WaitForLine("REQUEST ", 10000);
  EXPECT_NE(skipped.find("B（没有匹配的规则）"), std::string::npos) << skipped;

  std::vector<LedgerEntry> retried(1);
  retried[0].bill.流水号 = "R";
  retried[0].first_seen = h.clock.UnixSeconds();
  retried[0].state = BillState::kRetrying;
  ASSERT_TRUE(h.shop().ledger().Insert(retried));
  h.clock.Advance((AlertRules::kLongRetrySeconds + 60) * 1000);
  auto quiet = [&](int64_t now) { return ReadQuietBills(h.shop().ledger(), now); };
  monitor->Tick(false, 0, quiet, nullptr);
  const std::string waiting = hook.WaitForLine("REQUEST ", 10000);
  EXPECT_NE(waiting.find("待确认（交易状态无法识别，请核对是否已付款） 1 笔：流水号 U"),
            std::string::npos)
      << waiting;
  EXPECT_NE(waiting.find("仍在自动重试，请查看错误原因） 1 笔：流水号 R"), std::string::npos);
  h.clock.Advance(AlertRules::kRepeatSeconds * 1000);
  monitor->Tick(false, 0, quiet, nullptr);  // told once
  EXPECT_EQ(hook.WaitForLine("REQUEST ", 1000), "");
}

}  // namespace
}  // namespace fahuo::testing
