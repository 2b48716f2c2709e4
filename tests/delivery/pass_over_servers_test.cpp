// Whole passes over the real pieces: the fake records service on loopback (read through the
// HTTP client after a real baseline load) and a real SMTP server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "capture/navigation.h"
#include "capture/records_address.h"
#include "delivery/delivery_pass.h"
#include "delivery/records_reader.h"
#include "pass_fixture.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

std::string PercentEncode(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '@') {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

class PassOverServersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    records_port_ = StartPythonService(*records_, "fake_records.py",
                                       {"--open", "--pages", "2", "--per-page", "4"});
    smtp_port_ = StartPythonService(*smtp_, "smtp_sink.py",
                                    {"--maildir", maildir_->path(), "--reject-rcpt", "rejected"});
  }
  static void TearDownTestSuite() {
    records_->Stop();
    smtp_->Stop();
  }

  void SetUp() override {
    ASSERT_NE(records_port_, 0);
    ASSERT_NE(smtp_port_, 0);
    h_.shop().rules().Replace({Rule(0, 1000, "教程")});
    Control("open?on=1");
    Control("per-page?n=4");
    Baseline();
    mails_before_ = MailLog().size();
    account_ = {"127.0.0.1:" + std::to_string(smtp_port_), "seller@example.com", "secret"};
  }

  static std::string Base() { return "http://127.0.0.1:" + std::to_string(records_port_); }
  static std::string Control(const std::string& what) {
    return HttpClient().Get(Base() + "/_control/" + what);
  }
  // The baseline of a (new) run, read through the HTTP client: never mailed.
  void Baseline() {
    h_.LoadBaseline([this](const std::string& address) { return h_.shop().http().Get(address); });
    ASSERT_GT(h_.shop().AllBills().Count(), 0u);
    baseline_count_ = h_.shop().AllBills().Count();
  }
  bool Pass() { return h_.shop().RunPass(account_, window_); }

  // Adds a payment at the top of the records; returns its 流水号.
  static std::string Pay(const std::string& utf8_name, const std::string& utf8_note = "教程") {
    std::string serial =
        HttpClient().Get("http://127.0.0.1:" + std::to_string(records_port_) +
                         "/_control/pay?amount=98.00&counterparty=" + PercentEncode("李*四") +
                         "&name=" + PercentEncode(utf8_name) + "&note=" + PercentEncode(utf8_note));
    while (!serial.empty() && std::isspace(static_cast<unsigned char>(serial.back()))) {
      serial.pop_back();
    }
    return serial;
  }

  // The lines of the SMTP server's log (one JSON object per accepted mail, UTF-8).
  static std::vector<std::string> MailLog() {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(maildir_->File("log.jsonl")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> NewMails() {
    std::vector<std::string> all = MailLog();
    return {all.begin() + static_cast<long>(mails_before_), all.end()};
  }

  std::vector<std::string> Logs() {
    std::vector<std::string> logs;
    for (const std::string& e : window_.Events()) {
      if (e.starts_with("log:")) logs.push_back(e.substr(4));
    }
    return logs;
  }

  static inline std::unique_ptr<ChildProcess> records_ = std::make_unique<ChildProcess>();
  static inline std::unique_ptr<ChildProcess> smtp_ = std::make_unique<ChildProcess>();
  static inline std::unique_ptr<TempDir> maildir_ = std::make_unique<TempDir>();
  static inline int records_port_ = 0;
  static inline int smtp_port_ = 0;

  // Short time-outs: the servers are on this machine.
  static ShopOptions Options() {
    return {.records_base = Base(),
            .http = {.connect_ms = 2000, .total_ms = 5000},
            .mail = {.step_ms = 2000, .total_ms = 5000}};
  }
  ShopHarness h_{Options()};
  RecordingWindow window_;
  MailAccount account_;
  size_t baseline_count_ = 0;
  size_t mails_before_ = 0;
};

TEST_F(PassOverServersTest, ThreeNewPaymentsAreMailedTopFirstOverOneConnection) {
  std::string c = Pay("c@example.com");
  std::string b = Pay("QQ 12345678");
  std::string a = Pay("a@example.com");
  ASSERT_FALSE(a.empty());

  EXPECT_TRUE(Pass());

  std::vector<std::string> mails = NewMails();
  ASSERT_EQ(mails.size(), 3u);
  EXPECT_NE(mails[0].find("\"rcpt_tos\": [\"a@example.com\"]"), std::string::npos) << mails[0];
  EXPECT_NE(mails[1].find("\"rcpt_tos\": [\"12345678@qq.com\"]"), std::string::npos) << mails[1];
  EXPECT_NE(mails[2].find("\"rcpt_tos\": [\"c@example.com\"]"), std::string::npos) << mails[2];
  for (const std::string& mail : mails) {
    EXPECT_NE(mail.find("\"subject\": \"教程\""), std::string::npos) << mail;
    EXPECT_NE(mail.find("\"mail_from\": \"seller@example.com\""), std::string::npos) << mail;
    std::string port = mail.substr(mail.find("\"peer_port\""), 20);
    EXPECT_EQ(port, mails[0].substr(mails[0].find("\"peer_port\""), 20));
  }
  EXPECT_EQ(Serials(h_.shop().NewBills()), (std::vector<std::string>{a, b, c}));
  std::vector<std::string> all = Serials(h_.shop().AllBills());
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 3),
            (std::vector<std::string>{a, b, c}));
  EXPECT_EQ(all.size(), baseline_count_ + 3);
  std::vector<std::string> logs = Logs();
  EXPECT_EQ(std::count(logs.begin(), logs.end(), "发送邮件成功\r\n"), 3);
  EXPECT_EQ(window_.Events().back(), "changed");

  // The next tick finds the same top row: nothing at all.
  window_.ClearEvents();
  EXPECT_TRUE(Pass());
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(NewMails().size(), 3u);
}

// A mailbox that accepts the connection and never answers holds only the sender: payments
// made meanwhile are on disk as pending at the next read, and quitting cuts the hung
// exchange at once instead of waiting out its time-outs.
TEST_F(PassOverServersTest, HungMailboxHoldsNeitherTheReadingNorTheQuit) {
  ChildProcess silent;
  const int silent_port = StartPythonService(silent, "smtp_sink.py", {"--silent"});
  ASSERT_NE(silent_port, 0);
  const MailAccount hung{"127.0.0.1:" + std::to_string(silent_port), "seller@example.com", "s"};
  ShopHarness h(ShopOptions{.records_base = Base(), .mail = {.step_ms = 15000, .total_ms = 60000}});
  h.shop().rules().Replace({Rule(0, 1000, "教程")});
  h.LoadBaseline([&h](const std::string& address) { return h.shop().http().Get(address); });
  const std::string first = Pay("one@example.com");
  ASSERT_TRUE(h.shop().ReadRecords(window_));
  std::atomic<bool> delivered{false};
  std::thread sender([&] {
    h.shop().DeliverDue(hung, window_);
    delivered = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const char* buyer : {"two@example.com", "three@example.com"}) {
    const std::string serial = Pay(buyer);
    size_t found = 0;
    ASSERT_TRUE(h.shop().ReadRecords(window_, {}, &found));  // not held by the hung sender
    EXPECT_EQ(found, 1u);
    EXPECT_EQ(h.State(serial), "pending");
  }
  EXPECT_FALSE(delivered);
  const auto asked = std::chrono::steady_clock::now();
  h.shop().RequestStop();
  sender.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
  // Cut before its mail went out: the bill waits for the next start, never "failed".
  EXPECT_EQ(h.State(first), "pending");
}

TEST_F(PassOverServersTest, RejectedRecipientDoesNotStopTheNextBill) {
  Pay("ok@example.com");
  Pay("rejected@example.com");

  Pass();

  std::vector<std::string> logs = Logs();
  auto failed = std::find_if(logs.begin(), logs.end(), [](const std::string& line) {
    return line.starts_with("发送失败，错误：");
  });
  ASSERT_NE(failed, logs.end());
  EXPECT_NE(failed->find("550"), std::string::npos) << *failed;
  EXPECT_TRUE(failed->ends_with("\r\n"));
  EXPECT_EQ(logs.back(), "发送邮件成功\r\n");
  std::vector<std::string> mails = NewMails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find("ok@example.com"), std::string::npos);
}

std::vector<std::string> Recipients(const std::vector<std::string>& mails) {
  std::vector<std::string> to;
  for (const std::string& m : mails) {
    size_t at = m.find("\"rcpt_tos\": [\"");
    if (at != std::string::npos) to.push_back(m.substr(at + 14, m.find('"', at + 14) - at - 14));
  }
  return to;
}

// The mail server is down longer than the run: the seller quits; after the restart the
// waiting bill goes out, once.
TEST_F(PassOverServersTest, OutageLongerThanARunDeliversAfterTheRestart) {
  Pay("late@example.com");
  account_.server = "127.0.0.1:1";  // nothing listens there
  Pass();
  std::vector<std::string> events = window_.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "changed");
  EXPECT_EQ(events[1], "changed");  // now waiting for a retry
  EXPECT_TRUE(events[2].starts_with("log:连接邮箱失败，稍后自动重试：")) << events[2];
  EXPECT_TRUE(events[3].starts_with("box:连接邮箱失败\n")) << events[3];  // and why below

  h_.Restart();
  account_.server = "127.0.0.1:" + std::to_string(smtp_port_);
  Baseline();
  EXPECT_EQ(h_.shop().baseline().HeldCount(), 0u);
  h_.clock.Advance(60000);
  Pass();
  Pass();
  EXPECT_EQ(Recipients(NewMails()), std::vector<std::string>{"late@example.com"});
}

// Payments while fahuo is not running are held, then delivered once the seller says yes.
// The restart reads the pages only down to the first one the ledger knows whole (page 1
// holds the two payments, page 2 is known); the rest of the list comes from the ledger, as
// it stood.
TEST_F(PassOverServersTest, PaymentsWhileNotRunningAreHeldThenDelivered) {
  const std::vector<std::string> listed = Serials(h_.shop().AllBills());
  h_.Restart();
  const std::string one = Pay("one@example.com");
  const std::string two = Pay("two@example.com");
  Control("reset");
  Baseline();
  EXPECT_NE(Control("stats").find("{\"page_requests\": {\"1\": 1, \"2\": 1}, "), std::string::npos)
      << Control("stats");
  std::vector<std::string> expected{two, one};
  expected.insert(expected.end(), listed.begin(), listed.end());
  EXPECT_EQ(Serials(h_.shop().AllBills()), expected);
  EXPECT_EQ(h_.shop().baseline().HeldCount(), 2u);
  Pass();
  EXPECT_TRUE(NewMails().empty());  // not before the seller decided
  EXPECT_EQ(h_.shop().baseline().ResolveHeld(true), 2u);
  Pass();
  Pass();
  EXPECT_EQ(Recipients(NewMails()),
            (std::vector<std::string>{"two@example.com", "one@example.com"}));
}

// The sign-in lapses; payments during the lapse go out once it is back, each once.
TEST_F(PassOverServersTest, LapseIsNoticedAndPaymentsMeanwhileAreDeliveredOnce) {
  Control("signout");
  Pay("during@example.com");
  Pass();
  h_.clock.Advance(Shop::kLapseAfterMs);
  Pass();
  EXPECT_TRUE(h_.shop().SignInLapsed());
  std::vector<std::string> events = window_.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "lapsed"), 1);
  Control("open?on=1");                              // signed in again
  h_.clock.Advance(RecordsReader::kHeldBackReadMs);  // the next read a minute later
  Pass();
  Pass();
  EXPECT_FALSE(h_.shop().SignInLapsed());
  EXPECT_EQ(Recipients(NewMails()), std::vector<std::string>{"during@example.com"});
}

// A verification page in the records' place: reading holds back to once a minute (counted
// at the service), the seller is told once, and the first good read restores it.
TEST_F(PassOverServersTest, AVerificationPageIsReadOnceAMinute) {
  const std::string serial = Pay("waiting@example.com");
  auto page1_requests = [] {
    const std::string stats = Control("stats");
    const size_t at = stats.find("\"1\": ");
    return at == std::string::npos ? 0 : std::atoi(stats.c_str() + at + 5);
  };
  Control("reset");
  Control("verify?on=1");
  for (int i = 0; i < 30; ++i) {
    Pass();
    h_.clock.Advance(1000);
  }
  EXPECT_TRUE(h_.shop().VerificationNeeded());
  EXPECT_EQ(page1_requests(), RecordsReader::kVerificationAfterPages);
  h_.clock.Advance(RecordsReader::kHeldBackReadMs);
  Pass();
  Pass();
  EXPECT_EQ(page1_requests(), RecordsReader::kVerificationAfterPages + 1);
  const std::vector<std::string> events = window_.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "notify:需要安全验证"), 1);
  EXPECT_FALSE(h_.shop().SignInLapsed());
  Control("verify?on=0");  // solved in the browser
  h_.shop().ReadSoon();
  Pass();
  Pass();
  EXPECT_FALSE(h_.shop().VerificationNeeded());
  EXPECT_EQ(h_.State(serial), "sent");
}

// 45 payments between two passes with 20 rows a page, one more arriving between page 1 and
// page 2 (the listing shifts down by one), page 3 failing once and fahuo restarted after
// that cut-short read: every one is mailed, once, and none taken for baseline.
TEST_F(PassOverServersTest, MorePaymentsThanAPageHoldsAreAllMailedOnce) {
  Control("per-page?n=20");
  std::vector<std::string> expected;
  for (int i = 0; i < 46; ++i) expected.push_back("p" + std::to_string(i) + "@example.com");
  for (int i = 0; i < 45; ++i) Pay(expected[i]);
  Control("fault?kind=500&page=3&count=1");
  int fetched = 0;
  DeliveryServices shifting{.fetch = [&](const std::string& address) {
    std::string page = h_.shop().http().Get(address);
    if (++fetched == 1) Pay(expected[45]);
    return page;
  }};
  h_.shop().RunPass(account_, window_, shifting);
  EXPECT_EQ(NewMails().size(), 39u);  // page 1, and page 2 but its repeated row
  h_.Restart();
  Baseline();
  EXPECT_EQ(h_.shop().baseline().HeldCount(), 1u);  // above every known bill: held
  Pass();
  Pass();
  EXPECT_EQ(NewMails().size(), 45u);
  EXPECT_EQ(h_.shop().baseline().ResolveHeld(true), 1u);
  Pass();
  std::vector<std::string> mailed = Recipients(NewMails());
  std::sort(mailed.begin(), mailed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(mailed, expected);
}

}  // namespace
}  // namespace fahuo::testing
