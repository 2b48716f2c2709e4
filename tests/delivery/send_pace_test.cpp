// The sending pace and the pause after a refusal for the account's limit, over a real SMTP
// server (tools/smtp_sink.py, which can answer like a provider over its limit).
#include "delivery/send_pace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "delivery/page_pace.h"
#include "ledger/bill_state_text.h"
#include "pass_fixture.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

// The records pages' pace, told by the shop's clock: what is left of the gap, and a stop
// that ends every wait at once.
TEST(PagePaceTest, WaitsWhatIsLeftOfTheGapAndAStopEndsIt) {
  FakeClock clock;
  PagePace pace(clock, 500);
  EXPECT_EQ(pace.DelayMs(), 0);  // the first page goes at once
  ASSERT_TRUE(pace.Wait());
  clock.Advance(100);
  EXPECT_EQ(pace.DelayMs(), 400);
  clock.Advance(400);
  EXPECT_EQ(pace.DelayMs(), 0);
  ASSERT_TRUE(pace.Wait());
  EXPECT_EQ(pace.DelayMs(), 500);
  std::thread stopper([&pace] { pace.Stop(); });
  EXPECT_FALSE(pace.Wait());  // would wait the whole gap on a clock that stands still
  stopper.join();
  EXPECT_FALSE(pace.Wait());
  EXPECT_EQ(PagePace(clock, 0).DelayMs(), 0);
}

TEST(PauseSecondsForTest, TheTimeTheProviderAsksElseHalfAnHour) {
  EXPECT_EQ(PauseSecondsFor("550 too many mails, try again in 45 minutes"), 45 * 60);
  EXPECT_EQ(PauseSecondsFor("554 DT:SPM 163 smtp3, try again after 2 hours"), 2 * 3600);
  EXPECT_EQ(PauseSecondsFor(Utf8ToGbk("550 发送频繁，请 10 分钟后再试")), 10 * 60);
  EXPECT_EQ(PauseSecondsFor("550 Ip frequency limited"), kDefaultPauseSeconds);
  EXPECT_EQ(PauseSecondsFor("550 5.7.1 Your account is locked"), kDefaultPauseSeconds);
  EXPECT_EQ(PauseSecondsFor("451 rate limit, retry in 5 seconds"), 60);  // at least a minute
  // Not the account's limit: no pause (retried or failed as before).
  EXPECT_EQ(PauseSecondsFor("550 5.1.1 <a@b.c>: Recipient address rejected"), 0);
  EXPECT_EQ(PauseSecondsFor("535 Error: authentication failed"), 0);
  EXPECT_EQ(PauseSecondsFor(""), 0);
}

class PaceOverSinkTest : public ::testing::Test {
 protected:
  void StartSink(std::vector<std::string> args) {
    args.insert(args.end(), {"--maildir", maildir_.path()});
    port_ = StartPythonService(sink_, "smtp_sink.py", args);
    ASSERT_GT(port_, 0);
    h_.shop().rules().Replace({Rule(0, 1000, "教程")});
  }
  // `n` payments, pending, in the order found; `from` numbers them after earlier ones.
  std::vector<std::string> Pay(int n, int from = 0) {
    std::vector<LedgerEntry> entries;
    std::vector<std::string> serials;
    for (int i = from; i < from + n; ++i) {
      LedgerEntry e;
      e.bill.流水号 = "20150106" + std::to_string(1000 + i);
      e.bill.金额 = "98.00";
      e.bill.名称 = "buyer" + std::to_string(i) + "@example.com";
      e.bill.备注 = Utf8ToGbk("教程");
      e.first_seen = h_.clock.UnixSeconds();
      e.state = BillState::kPending;
      serials.push_back(e.bill.流水号);
      entries.push_back(std::move(e));
    }
    EXPECT_TRUE(h_.shop().ledger().Insert(entries));
    return serials;
  }
  std::vector<std::string> Recipients() {
    std::vector<std::string> out;
    std::istringstream in(ReadFileBytes(maildir_.File("log.jsonl")));
    for (std::string l; std::getline(in, l);) {
      const size_t at = l.find("\"rcpt_tos\": [\"");
      out.push_back(l.substr(at + 14, l.find('"', at + 14) - at - 14));
    }
    return out;
  }
  bool Deliver() { return h_.shop().DeliverDue(account_, window_); }

  ShopHarness h_;
  RecordingWindow window_;
  TempDir maildir_;
  ChildProcess sink_;
  int port_ = 0;
  MailAccount account_{"", "seller@example.com", ""};
};

TEST_F(PaceOverSinkTest, ABurstGoesOutAtThePaceInOrder) {
  StartSink({});
  account_.server = "127.0.0.1:" + std::to_string(port_);
  Pay(4);
  h_.shop().sender().pace().SetPerMinute(120);  // one mail every half second
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Deliver());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(1400));
  EXPECT_EQ(Recipients(), (std::vector<std::string>{"buyer0@example.com", "buyer1@example.com",
                                                    "buyer2@example.com", "buyer3@example.com"}));
}

TEST_F(PaceOverSinkTest, OverTheLimitPausesAndTheBillsWaitNotFail) {
  StartSink({"--refuse-after", "2", "550 too many mails, try again in 45 minutes"});
  account_.server = "127.0.0.1:" + std::to_string(port_);
  const std::vector<std::string> serials = Pay(4);
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(Recipients().size(), 2u);
  Ledger& ledger = h_.shop().ledger();
  const auto third = ledger.Find(serials[2]);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->state, BillState::kRetrying);
  EXPECT_EQ(third->next_try, h_.clock.UnixSeconds() + 45 * 60);
  EXPECT_EQ(ledger.Find(serials[3])->state, BillState::kPending);  // never tried
  bool logged = false;
  for (const std::string& e : window_.Events()) {
    logged = logged || e.find("log:邮箱限制发信") != std::string::npos;
  }
  EXPECT_TRUE(logged);
  // While the pause lasts nothing is tried.
  h_.clock.Advance(44 * 60 * 1000);
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(ledger.Find(serials[2])->attempts, third->attempts);
  EXPECT_EQ(ledger.Find(serials[3])->attempts, 0);
  // After it, the next try is refused again: still waiting, never failed.
  h_.clock.Advance(2 * 60 * 1000);
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(ledger.Find(serials[2])->attempts, third->attempts + 1);
  EXPECT_EQ(ledger.Find(serials[2])->state, BillState::kRetrying);
  EXPECT_EQ(ledger.Find(serials[3])->state, BillState::kPending);
}

// 开始 with the same account keeps the pause and with another ends it; the seller's 恢复发送
// ends it at once, and the bill the provider refused is tried first.
TEST_F(PaceOverSinkTest, ThePauseEndsForAnotherAccountOrAtTheSellersWord) {
  StartSink({"--refuse-after", "1", "550 too many mails, try again in 45 minutes"});
  account_.server = "127.0.0.1:" + std::to_string(port_);
  const std::vector<std::string> serials = Pay(3);
  ASSERT_TRUE(Deliver());
  Sender& sender = h_.shop().sender();
  Ledger& ledger = h_.shop().ledger();
  ASSERT_EQ(sender.PauseEnd(), h_.clock.UnixSeconds() + 45 * 60);
  EXPECT_FALSE(sender.SetPrimary({" " + account_.server, "Seller@example.com", "new code"}, 0));
  ASSERT_TRUE(sender.PauseEnd());
  window_.ClearEvents();
  EXPECT_TRUE(sender.LiftPause(window_));
  EXPECT_FALSE(sender.PauseEnd());
  EXPECT_EQ(window_.Events().front(), "log:已恢复发送（由卖家操作），等待的账单现在发送\r\n");
  EXPECT_EQ(ledger.Due(h_.clock.UnixSeconds()).front().bill.流水号, serials[1]);
  ASSERT_TRUE(Deliver());  // refused again: paused again
  EXPECT_TRUE(sender.SetPrimary({account_.server, "other@example.com", ""}, 0));
  EXPECT_FALSE(sender.PauseEnd());
  EXPECT_FALSE(sender.LiftPause(window_));
}

// The second account takes what the first cannot send: the rest of a burst the first
// refused for its limit, and everything while the first cannot be reached. Each bill once,
// and the ledger says which account mailed it.
TEST_F(PaceOverSinkTest, TheSecondAccountTakesOverAndTheLedgerSaysWhichSent) {
  StartSink({"--refuse-after", "2", "550 too many mails, try again in 45 minutes"});
  account_.server = "127.0.0.1:" + std::to_string(port_);
  TempDir backup_dir;
  ChildProcess backup_sink;
  const int backup_port =
      StartPythonService(backup_sink, "smtp_sink.py", {"--maildir", backup_dir.path()});
  ASSERT_GT(backup_port, 0);
  const MailAccount backup{"127.0.0.1:" + std::to_string(backup_port), "spare@example.com", ""};
  h_.shop().sender().SetBackup(backup);
  const std::vector<std::string> serials = Pay(4);
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(Recipients().size(), 2u);
  const std::string spare_log = ReadFileBytes(backup_dir.File("log.jsonl"));
  EXPECT_NE(spare_log.find("buyer2@example.com"), std::string::npos);
  EXPECT_NE(spare_log.find("buyer3@example.com"), std::string::npos);
  EXPECT_EQ(spare_log.find("buyer1@example.com"), std::string::npos);
  Ledger& ledger = h_.shop().ledger();
  for (size_t i = 0; i < serials.size(); ++i) {
    const auto e = ledger.Find(serials[i]);
    EXPECT_EQ(e->state, BillState::kSent) << i;
    EXPECT_EQ(e->sent_by, i < 2 ? "seller@example.com" : "spare@example.com") << i;
  }

  // The first account cannot be reached at all: the second mails, and the next delivery
  // goes to it straight away instead of waiting on the first again.
  h_.shop().sender().pace().EndPause();
  sink_.Stop();
  const std::string fifth = Pay(1, 4)[0];
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(ledger.Find(fifth)->sent_by, "spare@example.com");
  const std::string sixth = Pay(1, 5)[0];
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(ledger.Find(sixth)->state, BillState::kSent);
  int switches = 0;
  for (const std::string& e : window_.Events()) {
    switches += e.find("log:改用备用发信邮箱 spare@example.com") != std::string::npos;
  }
  EXPECT_EQ(switches, 1);
}

// The server closes every connection after a mail and refuses the login from the third on
// (the authorisation code changed mid-run): the bill refused waits, keeps its code, and
// the second account carries it and the rest. No bill fails for good.
TEST_F(PaceOverSinkTest, AnAccountRefusedMidRunFailsNoBillAndTheSecondTakesOver) {
  StartSink({"--logins", "2", "--close-after-mail"});
  account_ = {"127.0.0.1:" + std::to_string(port_), "seller@example.com", "code"};
  // A pace, so that the server has closed the connection before the next mail begins.
  h_.shop().sender().pace().SetPerMinute(300);
  TempDir backup_dir;
  ChildProcess backup_sink;
  const int backup_port =
      StartPythonService(backup_sink, "smtp_sink.py", {"--maildir", backup_dir.path()});
  ASSERT_GT(backup_port, 0);
  h_.shop().sender().SetBackup(
      MailAccount{"127.0.0.1:" + std::to_string(backup_port), "spare@example.com", ""});
  const std::vector<std::string> serials = Pay(6);
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(Recipients().size(), 2u);
  Ledger& ledger = h_.shop().ledger();
  for (size_t i = 0; i < serials.size(); ++i) {
    const auto e = ledger.Find(serials[i]);
    EXPECT_EQ(e->state, BillState::kSent) << i;
    EXPECT_EQ(e->sent_by, i < 2 ? "seller@example.com" : "spare@example.com") << i;
  }
  bool told = false;
  for (const std::string& e : window_.Events()) told = told || e.find("log:邮箱拒绝登录") == 0;
  EXPECT_TRUE(told);
}

// The server keeps the mail but the line drops before its "250": the bill is tried again
// under the same Message-ID, and the record says the buyer may have two.
TEST_F(PaceOverSinkTest, ALostFinalReplyIsRetriedUnderTheSameMessageId) {
  StartSink({"--drop-reply", "1"});
  account_.server = "127.0.0.1:" + std::to_string(port_);
  const std::string serial = Pay(1)[0];
  ASSERT_TRUE(Deliver());
  Ledger& ledger = h_.shop().ledger();
  EXPECT_EQ(ledger.Find(serial)->state, BillState::kRetrying);
  h_.Restart();  // the id is the bill's, not the run's
  h_.shop().rules().Replace({Rule(0, 1000, "教程")});
  h_.clock.Advance(2 * 60 * 1000);
  ASSERT_TRUE(Deliver());
  const auto e = h_.shop().ledger().Find(serial);
  EXPECT_EQ(e->state, BillState::kSent);
  EXPECT_EQ(StateText(*e), "已发送（买家可能收到两封）");
  std::vector<std::string> ids;
  std::istringstream in(ReadFileBytes(maildir_.File("log.jsonl")));
  for (std::string l; std::getline(in, l);) {
    const size_t at = l.find("\"message_id\": \"");
    ASSERT_NE(at, std::string::npos) << l;
    ids.push_back(l.substr(at + 15, l.find('"', at + 15) - at - 15));
  }
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0], ids[1]);
  EXPECT_EQ(ids[0], e->message_id);
}

}  // namespace
}  // namespace fahuo::testing
