// The alert channels over real servers on loopback: the webhook against tools/webhook_sink.py,
// the alert mail against tools/smtp_sink.py; the courier's retries and its once-only log.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>

#include "alerts/alert_courier.h"
#include "alerts/alert_monitor.h"
#include "alerts/push_webhook.h"
#include "fake_clock.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::ChildProcess;
using testing::ReadFileBytes;
using testing::StartPythonService;
using testing::TempDir;

Alert SampleAlert() {
  return {AlertKind::kSignIn, false, Utf8ToGbk("发货提醒：登录已失效"),
          Utf8ToGbk("请重新登录 \"A&B\"\n第二行")};
}

struct Hook {
  explicit Hook(std::vector<std::string> args = {}) {
    port = StartPythonService(child, "webhook_sink.py", args);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }
  std::string NextRequest() { return child.WaitForLine("REQUEST ", 10000); }
  ChildProcess child;
  int port = 0;
};

AlertCourier::Options FastOptions() {
  AlertCourier::Options o;
  o.mail.step_ms = 3000;
  o.mail.total_ms = 6000;
  o.http = {2000, 4000, {}};
  o.retry_seconds = {};
  return o;
}

// Waits until the courier has worked through what was queued before.
std::string Barrier(AlertCourier& courier, AlertChannels channels) {
  std::promise<std::string> done;
  courier.Test(std::move(channels),
               [&](const std::string& report, bool) { done.set_value(report); });
  auto f = done.get_future();
  EXPECT_EQ(f.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  return GbkToUtf8(f.get());
}

TEST(WebhookTest, PresetsShapeTheirBodies) {
  struct Case {
    const char* url;
    PushFormat format;
    const char* body_has;
  };
  for (const Case& c : {
           Case{"https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=K", PushFormat::kWeCom,
                R"({"msgtype":"text","text":{"content":"T\nx \"y\""}})"},
           Case{"https://oapi.dingtalk.com/robot/send?access_token=K", PushFormat::kDingTalk,
                R"("msgtype":"text")"},
           Case{"https://open.feishu.cn/open-apis/bot/v2/hook/K", PushFormat::kFeishu,
                R"({"msg_type":"text","content":{"text":"T\nx \"y\""}})"},
           Case{"https://sctapi.ftqq.com/SCTK.send", PushFormat::kServerChan,
                "title=T&desp=x%20%22y%22"},
           Case{"https://www.pushplus.plus/send?token=TOK", PushFormat::kPushPlus,
                R"({"token":"TOK","title":"T","content":"x \"y\"")"},
           Case{"https://api.day.app/KEY", PushFormat::kBark, R"({"title":"T","body":"x \"y\""})"},
           Case{"http://127.0.0.1/x", PushFormat::kCustom, R"({"title":"T","text":"x \"y\""})"},
       }) {
    SCOPED_TRACE(c.url);
    const PushFormat f = ChoosePushFormat(c.url, "");
    EXPECT_EQ(f, c.format);
    EXPECT_NE(BuildWebhook(c.url, f, "T", "x \"y\"").body.find(c.body_has), std::string::npos);
  }
  EXPECT_EQ(ChoosePushFormat("http://127.0.0.1/x", "钉钉"), PushFormat::kDingTalk);
  EXPECT_FALSE(WebhookRefusal(PushFormat::kWeCom, R"({"errcode": 0, "errmsg": "ok"})"));
  EXPECT_TRUE(WebhookRefusal(PushFormat::kWeCom, R"({"errcode":93000,"errmsg":"bad"})"));
  EXPECT_TRUE(WebhookRefusal(PushFormat::kPushPlus, R"({"code":900,"msg":"x"})"));
  EXPECT_FALSE(WebhookRefusal(PushFormat::kCustom, "anything"));
}

TEST(WebhookTest, PostsToALocalServerAndReadsItsAnswer) {
  Hook hook;
  ASSERT_GT(hook.port, 0);
  AlertCourier courier(FastOptions(), nullptr);
  AlertChannels ch;
  ch.webhook = hook.Url("/push?t={title}");
  EXPECT_EQ(courier.TryWebhook(ch, SampleAlert()), "");
  const std::string got = hook.NextRequest();
  EXPECT_NE(got.find(R"("method": "POST")"), std::string::npos) << got;
  // {title} URL-encoded into the address, the JSON body in UTF-8.
  EXPECT_NE(got.find("/push?t=%E5%8F%91%E8%B4%A7"), std::string::npos) << got;
  EXPECT_NE(got.find(R"(\"text\":\"请重新登录 \\\"A&B\\\"\\n第二行\")"), std::string::npos) << got;

  // A group robot that answers 200 with an error code has refused it.
  Hook refusing({"--answer", R"({"errcode":93000,"errmsg":"invalid webhook url"})"});
  ch.webhook = refusing.Url("/cgi-bin/webhook/send?key=SECRETKEY");
  ch.format = "企业微信";
  const std::string why = GbkToUtf8(courier.TryWebhook(ch, SampleAlert()));
  EXPECT_NE(why.find("推送服务拒绝"), std::string::npos) << why;
  EXPECT_NE(why.find("93000"), std::string::npos) << why;
  EXPECT_EQ(why.find("SECRETKEY"), std::string::npos) << why;
  EXPECT_NE(refusing.NextRequest().find(R"(\"msgtype\":\"text\")"), std::string::npos);

  Hook broken({"--status", "500"});
  ch.webhook = broken.Url("/x");
  ch.format.clear();
  EXPECT_EQ(GbkToUtf8(courier.TryWebhook(ch, SampleAlert())), "推送网址答复 HTTP 500");
}

TEST(AlertMailTest, GoesToTheSellerOverTheirAccount) {
  TempDir dir;
  ChildProcess sink;
  const int port = StartPythonService(
      sink, "smtp_sink.py",
      {"--user", "shop@example.com", "--password", "pw", "--maildir", dir.path()});
  ASSERT_GT(port, 0);
  AlertCourier courier(FastOptions(), nullptr);
  AlertChannels ch;
  ch.account = {"127.0.0.1:" + std::to_string(port), "shop@example.com", "pw"};
  ch.mail_to = "phone@example.com";
  EXPECT_EQ(courier.TryMail(ch, SampleAlert()), "");
  const std::string log = ReadFileBytes(dir.File("log.jsonl"));
  EXPECT_NE(log.find(R"("rcpt_tos": ["phone@example.com"])"), std::string::npos) << log;
  EXPECT_NE(log.find("发货提醒：登录已失效"), std::string::npos) << log;
  EXPECT_EQ(log.find("\"pw\""), std::string::npos);

  ch.account.password = "wrong";
  const std::string why = GbkToUtf8(courier.TryMail(ch, SampleAlert()));
  EXPECT_NE(why.find("认证失败"), std::string::npos) << why;

  // A refused account is often what the alert is about: the second account carries it.
  ch.backup = MailAccount{ch.account.server, "shop@example.com", "pw"};
  std::string first_error;
  EXPECT_EQ(courier.TryMail(ch, SampleAlert(), &first_error), "");
  EXPECT_NE(GbkToUtf8(first_error).find("认证失败"), std::string::npos);
}

TEST(AlertCourierTest, FailingChannelLoggedOnceThenRecovery) {
  std::vector<std::string> lines;
  std::mutex m;
  AlertCourier::Options o = FastOptions();
  o.retry_seconds = {0};  // one retry at once
  AlertCourier courier(o, [&](const std::string& l) {
    std::lock_guard lock(m);
    lines.push_back(GbkToUtf8(l));
  });
  AlertChannels dead;
  dead.webhook = "http://127.0.0.1:1/x";  // nothing listens there
  courier.SetChannels(dead);
  courier.Send(SampleAlert());
  courier.Send(SampleAlert());
  Barrier(courier, {});
  {
    std::lock_guard lock(m);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("推送提醒失败"), std::string::npos) << lines[0];
  }
  Hook hook;
  AlertChannels live;
  live.webhook = hook.Url("/ok");
  courier.SetChannels(live);
  courier.Send(SampleAlert());
  const std::string report = Barrier(courier, live);
  EXPECT_NE(report.find("推送：已发送（自定义）"), std::string::npos) << report;
  std::lock_guard lock(m);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "推送提醒已恢复\r\n");
}

TEST(AlertMonitorTest, ALapseReachesTheWebhookOnceAndItsEnd) {
  struct Quiet : DeliveryEvents {
    void SignInLapsed() override { ++lapses; }
    int lapses = 0;
  };
  Hook hook;
  FakeClock clock;
  auto courier = std::make_shared<AlertCourier>(FastOptions(), nullptr);
  AlertChannels ch;
  ch.webhook = hook.Url("/m");
  courier->SetChannels(ch);
  auto inner = std::make_shared<Quiet>();
  auto monitor = std::make_shared<AlertMonitor>(courier, clock);
  DeliveryEventHub events({inner, monitor});
  events.SignInLapsed();
  events.SignInLapsed();
  clock.Advance(60'000);
  events.SignInRestored();
  EXPECT_EQ(inner->lapses, 2);  // the window still hears everything
  EXPECT_NE(hook.NextRequest().find("登录已失效"), std::string::npos);
  EXPECT_NE(hook.NextRequest().find("已重新登录"), std::string::npos);
  Barrier(*courier, {});
  monitor->Tick(false, 0, nullptr, nullptr);
  EXPECT_EQ(hook.child.WaitForLine("REQUEST ", 500), "");  // nothing more
}

}  // namespace
}  // namespace fahuo
