// What the shop's reader and sender report reaches the seller: a lapse, its end and a
// refused login arrive at a webhook on loopback (tools/webhook_sink.py), once each.
#include <gtest/gtest.h>

#include <algorithm>

#include "alerts/alert_courier.h"
#include "alerts/alert_monitor.h"
#include "pass_fixture.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

TEST(AlertWiringTest, LapseBackAndRefusedLoginEachReachTheWebhookOnce) {
  ChildProcess hook;
  const int port = StartPythonService(hook, "webhook_sink.py", {});
  ASSERT_GT(port, 0);
  AlertCourier::Options o;
  o.http = {2000, 4000, {}};
  o.retry_seconds = {};
  auto courier = std::make_shared<AlertCourier>(o, nullptr);
  AlertChannels channels;
  channels.webhook = "http://127.0.0.1:" + std::to_string(port) + "/hook";
  courier->SetChannels(channels);

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

}  // namespace
}  // namespace fahuo::testing
