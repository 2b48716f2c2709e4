// The bounce road over real servers: a bill mailed through the SMTP sink to an address that
// does not exist bounces into a Dovecot inbox, beside a report with the original attached,
// one with its headers only, QQ's HTML letter, an auto-reply and an ordinary letter. The
// reader turns exactly the bounced bills to "bounced", the alert mail names them, and the
// inbox is left as it was.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <set>
#include <sstream>
#include <thread>

#include "alerts/alert_courier.h"
#include "alerts/alert_monitor.h"
#include "bounce_letters.h"
#include "delivery/bounce_reader.h"
#include "pass_fixture.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

std::set<std::string> MailFiles(const std::string& maildir) {
  std::set<std::string> names;
  for (const char* sub : {"/new", "/cur"}) {
    DIR* d = opendir((maildir + sub).c_str());
    if (!d) continue;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.insert(e->d_name);
    }
    closedir(d);
  }
  return names;
}

// A file's name without the flags Dovecot may add moving it from new/ to cur/.
std::string BaseName(const std::string& name) { return name.substr(0, name.find(':')); }

int64_t LetterTime() {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 10;
  tm.tm_hour = 10;
  return timegm(&tm);  // the Date of the fixed letters
}

TEST(BounceRoadTest, BouncedBillsTurnBouncedAndTheInboxStaysUntouched) {
  TempDir imap_dir, sink_dir;
  const std::string maildir = imap_dir.File("Maildir");
  ChildProcess imap, smtp;
  const int imap_port =
      StartPythonService(imap, "imap_server.py",
                         {"--folder", imap_dir.path(), "--maildir", maildir, "--user",
                          "seller@example.com", "--password", "secret"});
  ASSERT_NE(imap_port, 0);
  const int smtp_port = StartPythonService(
      smtp, "smtp_sink.py",
      {"--maildir", sink_dir.path(), "--bounce-maildir", maildir, "--bounce-delay", "0.3"});
  ASSERT_NE(smtp_port, 0);

  ShopHarness h({.mail = {.step_ms = 3000, .total_ms = 8000}});
  h.clock.SetTick((std::time(nullptr) - 1420502400) * 1000);  // the sink's bounce is dated now
  Ledger& ledger = h.shop().ledger();
  const int64_t sent = LetterTime() - 600;
  auto bill = [&](const std::string& serial, BillState state, const std::string& rcpt,
                  const std::string& id) {
    LedgerEntry e;
    e.bill.流水号 = serial;
    e.state = state;
    e.recipient = rcpt;
    e.rule_subject = Utf8ToGbk("您的教程");
    e.rule_body = "goods";
    e.message_id = id;
    e.sent_at = state == BillState::kPending ? 0 : sent;
    std::vector<LedgerEntry> one{e};
    ASSERT_TRUE(ledger.Insert(one));
  };
  bill("B1", BillState::kSent, "a@example.com", "<m1@fahuo>");
  bill("B2", BillState::kSent, "b@example.com", "<m2@fahuo>");
  bill("B3", BillState::kSent, "c@qq.com", "");
  bill("B4", BillState::kPending, "nouser1@example.com", "");
  bill("B5", BillState::kHandled, "e@example.com", "<m5@fahuo>");  // settled meanwhile
  bill("B6", BillState::kSent, "f@example.com", "<m6@fahuo>");     // delivered

  const std::pair<const char*, std::string> letters[] = {
      {"1.report",
       letters::Report("a@example.com", "failed", "5.2.2", "552 Mailbox full", "m1@fahuo", true)},
      {"2.headers",
       letters::Report("b@example.com", "failed", "5.1.1", "550 User unknown", "m2@fahuo", false)},
      {"3.qq", letters::QqLetter("c@qq.com", "该邮件被当作垃圾邮件拒收")},
      {"4.settled", letters::Report("e@example.com", "failed", "5.1.1", "550", "m5@fahuo", true)},
      {"5.auto", letters::AutoReply()},
      {"6.ordinary", letters::Ordinary()},
  };
  for (const auto& [name, text] : letters) {
    ASSERT_TRUE(WriteFileBytes(maildir + "/new/" + name + ".fahuo-test", text));
  }

  // B4 goes out through the sink, which bounces it into the inbox.
  RecordingWindow window;
  const MailAccount smtp_account{"127.0.0.1:" + std::to_string(smtp_port), "seller@example.com",
                                 "secret"};
  ASSERT_TRUE(h.shop().DeliverDue(smtp_account, window));
  ASSERT_EQ(h.State("B4"), "sent");
  for (int i = 0; i < 100 && MailFiles(maildir).size() < 7; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::set<std::string> before = MailFiles(maildir);
  ASSERT_EQ(before.size(), 7u);

  // The alerts as the window wires them: the monitor's mail over the sink.
  auto courier = std::make_shared<AlertCourier>(
      AlertCourier::Options{.mail = {.step_ms = 3000, .total_ms = 8000}},
      [](const std::string&) {});
  courier->SetChannels({.account = smtp_account, .mail_to = "alerts@example.com"});
  auto monitor = std::make_shared<AlertMonitor>(courier, h.clock);
  auto recorder = std::make_shared<RecordingWindow>();
  DeliveryEventHub hub({recorder, monitor});
  const DeliveryOutlet out(*recorder, hub);

  const MailAccount inbox{"smtp.unknown.example", "seller@example.com", "secret"};
  const std::string imap_server = "127.0.0.1:" + std::to_string(imap_port);
  BounceReader::InboxCheck check = h.shop().bounces().CheckInbox(inbox, imap_server, out);
  EXPECT_TRUE(check.connected) << GbkToUtf8(check.error);
  EXPECT_EQ(check.read, 7u);
  EXPECT_EQ(check.bounces, 5u);  // four of ours (one settled) and the sink's
  EXPECT_EQ(check.marked, 4u);
  for (const char* serial : {"B1", "B2", "B3", "B4"})
    EXPECT_EQ(h.State(serial), "bounced") << serial;
  EXPECT_EQ(h.State("B5"), "handled");
  EXPECT_EQ(h.State("B6"), "sent");
  EXPECT_EQ(GbkToUtf8(ledger.Find("B1")->last_error), "邮箱已满（5.2.2）");
  EXPECT_EQ(GbkToUtf8(ledger.Find("B3")->last_error), "被当作垃圾邮件拒收");
  EXPECT_EQ(GbkToUtf8(ledger.Find("B4")->last_error), "地址不存在（5.1.1）");
  bool logged = false;
  for (const std::string& e : recorder->Events()) {
    logged =
        logged || e.find("退信：B4 nouser1@example.com 地址不存在（5.1.1）") != std::string::npos;
  }
  EXPECT_TRUE(logged);

  // Read once: a second check finds nothing new.
  check = h.shop().bounces().CheckInbox(inbox, imap_server, out);
  EXPECT_TRUE(check.connected);
  EXPECT_EQ(check.read, 0u);

  // The inbox as it was: nothing removed, nothing flagged seen.
  std::set<std::string> after = MailFiles(maildir);
  ASSERT_EQ(after.size(), before.size());
  std::set<std::string> before_base, after_base;
  for (const std::string& n : before) before_base.insert(BaseName(n));
  for (const std::string& n : after) {
    after_base.insert(BaseName(n));
    const size_t flags = n.find(":2,");
    EXPECT_TRUE(flags == std::string::npos || n.find('S', flags) == std::string::npos) << n;
  }
  EXPECT_EQ(after_base, before_base);

  // The alert mail names the bounced bills.
  std::string alert;
  for (int i = 0; i < 100 && alert.empty(); ++i) {
    std::istringstream log(ReadFileBytes(sink_dir.File("log.jsonl")));
    for (std::string line; std::getline(log, line);) {
      if (line.find("有账单需要您处理") != std::string::npos) alert = line;
    }
    if (alert.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(alert.find("退信"), std::string::npos) << alert;
  EXPECT_NE(alert.find("B1"), std::string::npos) << alert;
  courier->Stop();
}

// Bounces that must not turn the wrong bill: one naming a Message-ID no bill carries now (an
// earlier mail of a bill the seller resent since, or the seller's own mail), and two letters
// without one for two bills to the same address, which must turn both.
TEST(BounceRoadTest, EachBounceTurnsOnlyItsOwnBill) {
  TempDir dir;
  const std::string maildir = dir.File("Maildir");
  ChildProcess imap;
  const int port = StartPythonService(imap, "imap_server.py",
                                      {"--folder", dir.path(), "--maildir", maildir, "--user",
                                       "seller@example.com", "--password", "secret"});
  ASSERT_NE(port, 0);
  ShopHarness h;
  auto add = [&](const std::string& serial, const std::string& to, const std::string& id,
                 int64_t sent_at) {
    LedgerEntry e;
    e.bill.流水号 = serial;
    e.state = BillState::kSent;
    e.recipient = to;
    e.rule_subject = Utf8ToGbk("您的教程");
    e.message_id = id;
    e.sent_at = sent_at;
    std::vector<LedgerEntry> one{e};
    ASSERT_TRUE(h.shop().ledger().Insert(one));
  };
  add("R1", "a@example.com", "<new@fahuo>", LetterTime() + 300);
  add("Q1", "c@qq.com", "<q1@fahuo>", LetterTime() - 600);
  add("Q2", "c@qq.com", "<q2@fahuo>", LetterTime() - 300);
  const std::string letters[] = {
      letters::Report("a@example.com", "failed", "5.1.1", "550 User unknown", "old@fahuo", true),
      letters::Report("a@example.com", "failed", "5.1.1", "550 User unknown", "own@seller", true),
      letters::QqLetter("c@qq.com", "地址不存在"), letters::QqLetter("c@qq.com", "地址不存在")};
  for (size_t i = 0; i < std::size(letters); ++i) {
    ASSERT_TRUE(WriteFileBytes(maildir + "/new/" + std::to_string(i + 1) + ".x", letters[i]));
  }
  RecordingWindow window;
  const BounceReader::InboxCheck check = h.shop().bounces().CheckInbox(
      {"", "seller@example.com", "secret"}, "127.0.0.1:" + std::to_string(port), window);
  EXPECT_EQ(check.bounces, 4u);
  EXPECT_EQ(h.State("R1"), "sent");
  EXPECT_EQ(h.State("Q1"), "bounced");
  EXPECT_EQ(h.State("Q2"), "bounced");
}

TEST(BounceRoadTest, RefusedLoginIsToldOnceAndAbortEndsAtOnce) {
  TempDir imap_dir;
  ChildProcess imap;
  const int imap_port =
      StartPythonService(imap, "imap_server.py",
                         {"--folder", imap_dir.path(), "--maildir", imap_dir.File("Maildir"),
                          "--user", "seller@example.com", "--password", "secret"});
  ASSERT_NE(imap_port, 0);
  // Dovecot makes a client wait longer after each refused login.
  ShopHarness h({.mail = {.step_ms = 20000, .total_ms = 30000}});
  RecordingWindow window;
  const MailAccount wrong{"", "seller@example.com", "wrong"};
  const std::string server = "127.0.0.1:" + std::to_string(imap_port);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(h.shop().bounces().CheckInbox(wrong, server, window).connected);
  }
  std::vector<std::string> told;
  for (const std::string& e : window.Events()) {
    if (e.find("无法读取退信") != std::string::npos) told.push_back(e);
  }
  ASSERT_EQ(told.size(), 1u) << told.back();
  EXPECT_EQ(told[0].find("wrong"), std::string::npos) << told[0];  // never the password
  // No server known for the sending one: said, nothing read.
  EXPECT_FALSE(
      h.shop().bounces().CheckInbox({"smtp.unknown.example", "x@y.z", "p"}, "", window).connected);

  h.shop().bounces().Abort();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(h.shop()
                   .bounces()
                   .CheckInbox({"", "seller@example.com", "secret"}, server, window)
                   .connected);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace fahuo::testing
