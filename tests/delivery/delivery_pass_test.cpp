#include "delivery/delivery_pass.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <map>
#include <thread>

#include "delivery/records_reader.h"
#include "pass_fixture.h"

namespace fahuo::testing {
namespace {

const char kAmountLineTail[] = " 正在为您匹配发件规则\r\n";

// Passes over pages held in memory and a mailer that records into the window's timeline,
// on a real ledger in a folder of the test's own.
class DeliveryPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h_.shop().rules().Replace({Rule(0, 1000, "教程")});
    ASSERT_TRUE(h_.report.ok) << h_.report.error;
  }

  void Baseline(const std::vector<std::string>& serials) {
    std::vector<PageRow> rows;
    for (const std::string& s : serials) rows.push_back({.serial = s});
    h_.LoadBaseline(BuildPage(rows));
  }

  bool Pass(const std::vector<PageRow>& rows) {
    page_ = BuildPage(rows);
    return Pass();
  }
  bool Pass() { return h_.shop().RunPass(TestAccount(), window_, Services()); }

  DeliveryServices Services() {
    DeliveryServices s;
    s.fetch = [this](const std::string& address) {
      auto more = pages_.find(address.substr(address.rfind('/') + 1));
      return more != pages_.end() ? more->second : page_;
    };
    s.connect = [this](const MailAccount& account) -> std::string {
      window_.Add("connect:" + account.server);
      return reachable_ ? "" : "connection refused";
    };
    s.send = [this](const std::string& subject, const std::string&, const std::string& to,
                    const std::string& sender) -> std::string {
      std::string recipient = GbkToUtf8(to);
      window_.Add("mail:" + recipient + " " + GbkToUtf8(subject) + " from " + sender);
      auto error = send_errors_.find(recipient);
      return error == send_errors_.end() ? std::string() : error->second;
    };
    return s;
  }

  std::vector<std::string> EventsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& e : window_.Events()) {
      if (e.rfind(prefix, 0) == 0) found.push_back(e);
    }
    return found;
  }
  size_t AmountLines() {
    size_t n = 0;
    for (const std::string& e : EventsStartingWith("log:对方金额是：")) {
      n += e.size() > sizeof kAmountLineTail && e.ends_with(kAmountLineTail);
    }
    return n;
  }

  ShopHarness h_;
  RecordingWindow window_;
  std::string page_;
  std::map<std::string, std::string> pages_;  // by the address's last path part
  bool reachable_ = true;
  std::map<std::string, std::string> send_errors_;
};

TEST_F(DeliveryPassTest, OneBillWritesEveryLineInOrderAndEndsSent) {
  Baseline({});
  EXPECT_TRUE(Pass({{.serial = "S1"}}));
  EXPECT_EQ(window_.Events(), (std::vector<std::string>{
                                  "changed",
                                  "connect:127.0.0.1:1",
                                  "log:发现新账单\r\n",
                                  "log:对方是：张三\r\n",
                                  "log:对方金额是：98 正在为您匹配发件规则\r\n",
                                  "log:对方留言的不是邮箱信息，自动添加 @qq.com\r\n",
                                  "log:发送的邮箱地址是：123456789@qq.com\r\n",
                                  "mail:123456789@qq.com 教程 from seller@example.com",
                                  "log:发送邮件成功\r\n",
                                  "changed",
                              }));
  auto e = h_.shop().ledger().Find("S1");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->state, BillState::kSent);
  EXPECT_EQ(e->attempts, 1);
  EXPECT_EQ(e->recipient, "123456789@qq.com");
  EXPECT_EQ(GbkToUtf8(e->rule_subject), "教程");
  EXPECT_EQ(e->sent_at, h_.clock.UnixSeconds());
  EXPECT_FALSE(h_.shop().Busy());
}

TEST_F(DeliveryPassTest, KnownRowsOrNoRecordsPageMeanNothingAtAll) {
  Baseline({"A", "B"});
  EXPECT_TRUE(Pass({{.serial = "A"}, {.serial = "B"}}));
  page_ = "<html>sign in</html>";
  EXPECT_TRUE(Pass());
  // A table without records and without the listing's header is not an empty listing.
  page_ = Utf8ToGbk("<table><tr><td>系统繁忙</td></tr><tr><td>请稍后再试</td></tr></table>");
  EXPECT_TRUE(Pass());
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(h_.shop().NewBills().Count(), 0u);
  EXPECT_EQ(Serials(h_.shop().AllBills()), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(h_.State("A"), "baseline");
}

TEST_F(DeliveryPassTest, NoPassReadsPagesBeforeTheBaseline) {
  EXPECT_TRUE(Pass({{.serial = "A"}}));
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(h_.State("A"), "none");
}

// E is listed below a known bill (its trade was created earlier, paid later): new all the
// same.
TEST_F(DeliveryPassTest, NewBillsMailedInPageOrderAndListed) {
  Baseline({"D"});
  Pass({{.serial = "A", .name = "a@x.com"},
        {.serial = "B", .name = "b@x.com"},
        {.serial = "C", .name = "c@x.com"},
        {.serial = "D", .name = "d@x.com"},
        {.serial = "E", .name = "e@x.com"}});
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:a@x.com 教程 from seller@example.com",
                                      "mail:b@x.com 教程 from seller@example.com",
                                      "mail:c@x.com 教程 from seller@example.com",
                                      "mail:e@x.com 教程 from seller@example.com"}));
  EXPECT_EQ(EventsStartingWith("connect:").size(), 1u);
  EXPECT_EQ(Serials(h_.shop().NewBills()), (std::vector<std::string>{"A", "B", "C", "E"}));
  EXPECT_EQ(Serials(h_.shop().AllBills()), (std::vector<std::string>{"A", "B", "C", "E", "D"}));
}

// More payments between two passes than page 1 holds: the pass reads on until a known bill.
TEST_F(DeliveryPassTest, EveryRowNewReadsTheNextPagesUntilAKnownBill) {
  Baseline({"K"});
  auto pager = [](const std::string& next) { return "<a href=\"" + next + "\">下一页&gt;</a>"; };
  page_ = BuildPage({{.serial = "A"}, {.serial = "B"}});
  page_ += Utf8ToGbk(pager("p2"));
  pages_["p2"] = BuildPage({{.serial = "C"}, {.serial = "D"}}) + Utf8ToGbk(pager("p3"));
  pages_["p3"] =
      BuildPage({{.serial = "E"}, {.serial = "K"}, {.serial = "Z"}}) + Utf8ToGbk(pager("p4"));
  pages_["p4"] = BuildPage({{.serial = "never"}});
  Pass();
  EXPECT_EQ(Serials(h_.shop().NewBills()),
            (std::vector<std::string>{"A", "B", "C", "D", "E", "Z"}));
  EXPECT_EQ(EventsStartingWith("log:发送邮件成功").size(), 6u);
  EXPECT_EQ(h_.State("never"), "none");
}

// A walk owed beyond the page limit is not walked again at every refresh: it is given up
// once, and the seller is told to look.
TEST_F(DeliveryPassTest, AnOwedWalkBeyondThePageLimitIsGivenUpAndTold) {
  Baseline({"K"});
  auto pager = [](int next) {
    return Utf8ToGbk("<a href=\"p" + std::to_string(next) + "\">下一页&gt;</a>");
  };
  page_ = BuildPage({{.serial = "A"}}) + pager(1);
  for (int i = 1; i <= RecordsReader::kMaxCatchUpPages + 5; ++i) {
    pages_["p" + std::to_string(i)] =
        BuildPage({{.serial = "R" + std::to_string(i)}}) + pager(i + 1);
  }
  Pass();  // cut at the limit: owed
  Pass();  // the owed walk hits the limit again: given up
  Pass();
  EXPECT_EQ(EventsStartingWith("log:交易记录太多").size(), 1u);
  EXPECT_EQ(EventsStartingWith("notify:可能有漏读的付款").size(), 1u);
  EXPECT_EQ(h_.shop().ledger().CatchUpTarget(), std::nullopt);
}

// A start whose page loading failed takes page 1 as its baseline: the payments below it,
// down to the newest bill known before, are read by the next refreshes, not lost.
TEST_F(DeliveryPassTest, ABaselineFromPage1AloneLeavesTheRestToTheReader) {
  Baseline({"K"});
  h_.Restart();
  h_.LoadBaseline(std::string());
  page_ =
      BuildPage({{.serial = "A"}, {.serial = "B"}}) + Utf8ToGbk("<a href=\"p2\">下一页&gt;</a>");
  pages_["p2"] = BuildPage({{.serial = "C"}, {.serial = "K"}});
  Pass();
  Pass();
  EXPECT_EQ(h_.State("A"), "held");
  EXPECT_EQ(h_.State("C"), "sent");
}

TEST_F(DeliveryPassTest, PageReadAfterAFailedBaselineIsTakenAsTheBaseline) {
  h_.LoadBaseline(std::string());  // page 1 could not be read
  ASSERT_TRUE(h_.shop().baseline().Missing());
  // Neither a failure nor a table that is no records listing becomes the baseline.
  page_ = Utf8ToGbk("<table><tr><td>忙</td></tr><tr><td>忙</td></tr></table>");
  Pass();
  EXPECT_TRUE(h_.shop().baseline().Missing());
  Pass({{.serial = "A"}, {.serial = "B"}});
  EXPECT_FALSE(h_.shop().baseline().Missing());
  EXPECT_TRUE(EventsStartingWith("connect:").empty());
  EXPECT_EQ(EventsStartingWith("log:"),
            std::vector<std::string>{"log:交易记录首页已读取，作为基线：2 笔账单\r\n"});
  EXPECT_EQ(Serials(h_.shop().AllBills()), (std::vector<std::string>{"A", "B"}));
  Pass({{.serial = "C"}, {.serial = "A"}, {.serial = "B"}});
  EXPECT_EQ(Serials(h_.shop().NewBills()), std::vector<std::string>{"C"});
  EXPECT_EQ(EventsStartingWith("log:发送邮件成功").size(), 1u);
}

// Only a completed incoming payment is mailed; a trade waiting for payment goes out once
// its row reads paid, the rest never by themselves.
TEST_F(DeliveryPassTest, OnlyCompletedIncomingPaymentsAreMailed) {
  Baseline({"K"});
  struct Case {
    const char* serial;
    const char* status;
    const char* amount;
    const char* state;
  };
  const Case cases[] = {
      {"W", "等待付款", "98.00", "awaiting"},
      {"C", "交易关闭", "98.00", "not-paid"},
      {"R", "退款成功", "98.00", "not-paid"},
      {"F", "失败", "98.00", "not-paid"},
      {"O", "交易成功", "-98.00", "outgoing"},
      {"U", "处理中", "98.00", "unconfirmed"},
      {"P", "交易成功", "+98.00", "sent"},
      {"X", "退款失败", "98.00", "sent"},
      {"Y", "买家已付款，等待卖家发货", "98.00", "sent"},
  };
  std::vector<PageRow> rows;
  for (const Case& c : cases) {
    rows.push_back({.serial = c.serial, .amount = c.amount, .status = c.status});
  }
  rows.push_back({.serial = "K"});
  Pass(rows);
  for (const Case& c : cases) EXPECT_EQ(h_.State(c.serial), c.state) << c.serial;
  EXPECT_EQ(EventsStartingWith("mail:").size(), 3u);
  EXPECT_EQ(EventsStartingWith("log:付款状态无法识别（处理中）").size(), 1u);
  // The buyer pays: the same row now reads 交易成功.
  rows[0].status = "交易成功";
  rows[1].status = "交易成功";  // a closed trade stays closed
  Pass(rows);
  EXPECT_EQ(h_.State("W"), "sent");
  EXPECT_EQ(h_.State("C"), "not-paid");
  EXPECT_EQ(EventsStartingWith("mail:").size(), 4u);
}

// A row twice on the pages (the listing shifted between two pages) is taken once and does
// not end the walk; rows without a serial are no bills.
TEST_F(DeliveryPassTest, WalkPassesOverARepeatedSerial) {
  ShopHarness h;
  h.shop().rules().Replace(*h_.shop().rules().Current());
  h.LoadBaseline(BuildPage({}));
  page_ = BuildPage(
      {{.serial = "A"}, {.serial = "B"}, {.serial = ""}, {.serial = "A"}, {.serial = "C"}});
  h.shop().RunPass(TestAccount(), window_, Services());
  EXPECT_EQ(Serials(h.shop().NewBills()), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(DeliveryPassTest, FirstRuleHoldingTheAmountSends) {
  struct Case {
    const char* name;
    std::vector<DeliveryRule> rules;
    std::string amount;
    std::string amount_text;
    size_t amount_lines;
    std::string mailed_subject;  // empty: no mail, skipped for want of a rule
  };
  const std::vector<DeliveryRule> three = {Rule(0, 50, "a"), Rule(60, 100, "b"),
                                           Rule(90, 200, "c")};
  for (const Case& c : {
           Case{"SecondOfThree", three, "95", "95", 2, "b"},
           Case{"NoRules", {}, "95", "95", 0, ""},
           Case{"BoundsInclusive", {Rule(98, 98, "x")}, "98.00", "98", 1, "x"},
           Case{"AboveEveryRule", {Rule(0, 50, "a")}, "50.01", "50.01", 1, ""},
           Case{"FormattedAmount", {Rule(1000, 2000, "k")}, "+1,160.50", "1160.5", 1, "k"},
           Case{"UnreadableAmountIsSkipped", {Rule(0, 0, "z")}, "NaN", "", 0, ""},
       }) {
    SCOPED_TRACE(c.name);
    ShopHarness h;
    h.LoadBaseline(BuildPage({}));
    window_.ClearEvents();
    h.shop().rules().Replace(c.rules);
    page_ = BuildPage({{.serial = "S", .amount = c.amount}});
    h.shop().RunPass(TestAccount(), window_, Services());
    EXPECT_EQ(AmountLines(), c.amount_lines);
    EXPECT_EQ(EventsStartingWith("log:对方金额是：" + c.amount_text + " ").size(), c.amount_lines);
    std::vector<std::string> mails = EventsStartingWith("mail:");
    if (c.mailed_subject.empty()) {
      EXPECT_TRUE(mails.empty());
      const bool unreadable = c.amount_text.empty();
      EXPECT_EQ(EventsStartingWith(unreadable ? "log:金额无法识别，未发送：S\r\n"
                                              : "log:没有匹配的发货规则，未发送：S\r\n")
                    .size(),
                1u);
      EXPECT_EQ(h.shop().ledger().Find("S")->skip_reason,
                unreadable ? skip::kBadAmount : skip::kNoRule);
    } else {
      EXPECT_EQ(mails, std::vector<std::string>{"mail:123456789@qq.com " + c.mailed_subject +
                                                " from seller@example.com"});
    }
  }
}

TEST_F(DeliveryPassTest, RecipientOutcomes) {
  struct Case {
    const char* name;
    PageRow row;
    std::vector<std::string> lines_after_amount;  // log lines after the amount line
    std::string state;
  };
  Baseline({});
  for (const Case& c : {
           Case{"EmptyNoteSkipsValidAddress",
                {.serial = "1", .name = "a@b.com", .note = ""},
                {"log:对方为留言，自动跳过发送邮件\r\n"},
                "skipped"},
           Case{"NotAQqNumber",
                {.serial = "2", .name = "张三"},
                {"log:对方留言的不是QQ号码，自动跳过不发送邮件\r\n"},
                "skipped"},
           Case{"AddressTakenFromTheWords",
                {.serial = "3", .name = "请发到a@b.com谢谢"},
                {"log:发送的邮箱地址是：a@b.com\r\n", "log:发送邮件成功\r\n"},
                "sent"},
           Case{"InvalidAddress",
                {.serial = "4", .name = "a@b@c.com"},
                {"log:无效的邮箱地址，自动跳过不发送邮件\r\n"},
                "skipped"},
       }) {
    SCOPED_TRACE(c.name);
    window_.ClearEvents();
    Pass({c.row});
    std::vector<std::string> logs = EventsStartingWith("log:");
    ASSERT_GE(logs.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(logs.begin() + 3, logs.end()), c.lines_after_amount);
    EXPECT_EQ(h_.State(c.row.serial), c.state);
  }
}

// Each kind of answer to a send, and what the ledger then holds.
TEST_F(DeliveryPassTest, SendOutcomeDecidesTheStateAndTheNextTry) {
  struct Case {
    const char* name;
    bool reachable;
    std::string error;
    std::string state;
    int64_t next_try_in;  // seconds from now; 0 when none
  };
  for (const Case& c : {
           Case{"Accepted", true, "", "sent", 0},
           Case{"TemporaryRefusal", true, "451 4.3.0 try again later", "retrying", 60},
           Case{"Dropped", true, "Failure when receiving data from the peer", "retrying", 60},
           Case{"TimedOut", true, "Timeout was reached", "retrying", 60},
           Case{"RecipientRefused", true, "550 5.1.1 no such user", "failed", 0},
           Case{"ConnectRefused", false, "", "retrying", 60},
       }) {
    SCOPED_TRACE(c.name);
    ShopHarness h;
    h.shop().rules().Replace(*h_.shop().rules().Current());
    h.LoadBaseline(BuildPage({}));
    window_.ClearEvents();
    reachable_ = c.reachable;
    send_errors_["a@x.com"] = c.error;
    if (c.error.empty()) send_errors_.clear();
    page_ = BuildPage({{.serial = "A", .name = "a@x.com"}});
    h.shop().RunPass(TestAccount(), window_, Services());
    auto e = h.shop().ledger().Find("A");
    ASSERT_TRUE(e);
    EXPECT_EQ(StateName(e->state), c.state);
    EXPECT_EQ(e->attempts, 1);
    if (!c.error.empty()) {
      EXPECT_EQ(EventsStartingWith("log:发送失败，错误：").at(0),
                "log:发送失败，错误：" + c.error + "（流水号 A）\r\n");
    }
    // Only a send that failed for good reaches the seller beyond the log.
    EXPECT_EQ(EventsStartingWith("notify:发送失败").size(), c.state == "failed" ? 1u : 0u);
    if (c.next_try_in) {
      EXPECT_EQ(e->next_try, h.clock.UnixSeconds() + c.next_try_in);
    }
  }
  EXPECT_EQ(RetryDelaySeconds(2), 120);
  EXPECT_EQ(RetryDelaySeconds(5), 960);
  EXPECT_EQ(RetryDelaySeconds(6), 1800);
  EXPECT_EQ(RetryDelaySeconds(60), 1800);
}

TEST_F(DeliveryPassTest, RetryingBillGoesOutOnceItIsDue) {
  Baseline({});
  send_errors_["a@x.com"] = "421 busy";
  Pass({{.serial = "A", .name = "a@x.com"}, {.serial = "B", .name = "b@x.com"}});
  EXPECT_EQ(h_.State("A"), "retrying");
  EXPECT_EQ(h_.State("B"), "sent");
  send_errors_.clear();
  window_.ClearEvents();
  h_.clock.Advance(59000);
  Pass();  // not due yet: no connection at all
  EXPECT_TRUE(window_.Events().empty());
  h_.clock.Advance(1000);
  Pass();
  EXPECT_EQ(EventsStartingWith("log:"),
            (std::vector<std::string>{"log:重新发送：A\r\n", "log:发送的邮箱地址是：a@x.com\r\n",
                                      "log:发送邮件成功\r\n"}));
  EXPECT_EQ(h_.State("A"), "sent");
  EXPECT_EQ(h_.shop().ledger().Find("A")->attempts, 2);
}

TEST_F(DeliveryPassTest, OutageShowsOneBoxAndBillsGoOutWhenTheServerIsBack) {
  Baseline({});
  reachable_ = false;
  Pass({{.serial = "A", .name = "a@x.com"}});
  h_.clock.Advance(60000);
  Pass({{.serial = "B", .name = "b@x.com"}, {.serial = "A"}});  // still down: no second box
  EXPECT_EQ(EventsStartingWith("box:"),
            std::vector<std::string>{"box:连接邮箱失败\n无法连接服务器：connection refused"});
  EXPECT_EQ(EventsStartingWith("log:连接邮箱失败"),
            std::vector<std::string>{
                "log:连接邮箱失败，稍后自动重试：无法连接服务器：connection refused\r\n"});
  EXPECT_EQ(Serials(h_.shop().NewBills()), (std::vector<std::string>{"A", "B"}));
  reachable_ = true;
  h_.clock.Advance(240000);
  window_.ClearEvents();
  Pass();
  EXPECT_EQ(EventsStartingWith("log:邮箱已恢复"),
            std::vector<std::string>{"log:邮箱已恢复连接，继续发送\r\n"});
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:a@x.com 教程 from seller@example.com",
                                      "mail:b@x.com 教程 from seller@example.com"}));
  // A new outage after a success shows the box again.
  reachable_ = false;
  Pass({{.serial = "C"}, {.serial = "B"}});
  EXPECT_EQ(EventsStartingWith("box:"),
            std::vector<std::string>{"box:连接邮箱失败\n无法连接服务器：connection refused"});
}

// The program ends with bills waiting, retrying and one in the middle of its send.
TEST_F(DeliveryPassTest, RestartDeliversWaitingBillsAndNeverResendsAnInterruptedOne) {
  Baseline({"K"});
  reachable_ = false;
  Pass({{.serial = "A", .name = "a@x.com"}, {.serial = "K"}});
  auto sending = *h_.shop().ledger().Find("K");
  sending.state = BillState::kSending;  // as a kill between "sending" and "sent" leaves it
  ASSERT_TRUE(h_.shop().ledger().Update(sending));

  h_.Restart();
  ASSERT_EQ(h_.report.interrupted.size(), 1u);
  EXPECT_EQ(h_.State("K"), "unknown");
  reachable_ = true;
  h_.clock.Advance(60000);
  window_.ClearEvents();
  Pass();  // before the sign-in: waiting bills need no page
  EXPECT_EQ(EventsStartingWith("mail:"),
            std::vector<std::string>{"mail:a@x.com 教程 from seller@example.com"});
  h_.LoadBaseline(BuildPage({{.serial = "A"}, {.serial = "K"}}));
  window_.ClearEvents();
  Pass({{.serial = "A"}, {.serial = "K"}});
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(h_.State("K"), "unknown");
}

TEST_F(DeliveryPassTest, PaymentsWhileNotRunningAreHeldForTheSeller) {
  Baseline({"K1", "K2"});
  for (bool deliver : {true, false}) {
    SCOPED_TRACE(deliver);
    const std::string a = deliver ? "A" : "X", b = deliver ? "B" : "Y";
    const std::string top = deliver ? "K1" : "B";
    h_.Restart();
    // Newest first: two payments above the last bill known, one old bill never seen.
    h_.LoadBaseline(BuildPage({{.serial = a, .name = a + "@x.com"},
                               {.serial = b, .name = b + "@x.com"},
                               {.serial = top},
                               {.serial = "old" + a}}));
    EXPECT_EQ(h_.shop().baseline().HeldCount(), 2u);
    EXPECT_EQ(h_.State(a), "held");
    EXPECT_EQ(h_.State("old" + a), "baseline");
    h_.Restart();  // ended before the seller answered: asked again at the next start
    EXPECT_EQ(h_.shop().baseline().HeldCount(), 2u);
    h_.LoadBaseline(BuildPage({{.serial = a}, {.serial = b}}));
    EXPECT_EQ(h_.shop().baseline().ResolveHeld(deliver), 2u);
    window_.ClearEvents();
    Pass({{.serial = a}, {.serial = b}});
    EXPECT_EQ(EventsStartingWith("mail:").size(), deliver ? 2u : 0u);
    EXPECT_EQ(h_.State(a), deliver ? "sent" : "handled");
  }
}

TEST_F(DeliveryPassTest, FirstRunHoldsNothing) {
  h_.LoadBaseline(BuildPage({{.serial = "A"}, {.serial = "B"}}));
  EXPECT_EQ(h_.shop().baseline().HeldCount(), 0u);
  EXPECT_EQ(h_.State("A"), "baseline");
}

TEST_F(DeliveryPassTest, LapsedSignInIsNoticedAfterAMinuteAndPaymentsMeanwhileDelivered) {
  Baseline({"K"});
  const std::string signin = Utf8ToGbk("<html><title>登录 - 支付宝</title><form></form></html>");
  page_ = signin;
  Pass();
  page_.clear();  // a failed fetch in between is no sign of a lapse, nor of its end
  h_.clock.Advance(30000);
  Pass();
  page_ = signin;
  h_.clock.Advance(29999);
  Pass();
  EXPECT_TRUE(EventsStartingWith("lapsed").empty());
  h_.clock.Advance(1);
  Pass();
  h_.clock.Advance(10000);
  Pass();
  EXPECT_EQ(EventsStartingWith("lapsed").size(), 1u);
  EXPECT_EQ(EventsStartingWith("log:登录已失效").size(), 1u);
  EXPECT_EQ(EventsStartingWith("notify:登录已失效").size(), 1u);
  EXPECT_TRUE(h_.shop().SignInLapsed());
  // Lapsed, page 1 is read at most once a minute, until the seller signs in again.
  Pass({{.serial = "A", .name = "a@x.com"}, {.serial = "K"}});
  EXPECT_TRUE(h_.shop().SignInLapsed());
  h_.shop().ReadSoon();
  Pass();
  EXPECT_FALSE(h_.shop().SignInLapsed());
  EXPECT_EQ(EventsStartingWith("restored").size(), 1u);
  EXPECT_EQ(EventsStartingWith("mail:").size(), 1u);
  EXPECT_EQ(h_.shop().ledger().Find("A")->origin, BillOrigin::kLapse);
}

// When the ledger cannot be written, nothing is mailed and the log says why once.
TEST_F(DeliveryPassTest, UnwritableLedgerMailsNothing) {
  Baseline({"K"});
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 0;  // every write that grows a file fails, as on a full disk
    setrlimit(RLIMIT_FSIZE, &limit);
    Pass({{.serial = "A"}, {.serial = "K"}});
    Pass({{.serial = "A"}, {.serial = "K"}});
    if (!EventsStartingWith("mail:").empty()) _exit(1);
    if (EventsStartingWith("log:发货记录无法写入").size() != 1) _exit(2);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: mailed anyway, 2: not logged once";
  Pass({{.serial = "A"}, {.serial = "K"}});  // room again: found and mailed
  EXPECT_EQ(EventsStartingWith("mail:").size(), 1u);
}

TEST_F(DeliveryPassTest, OnlyACorruptLedgerIsMovedAsideAndANewOneStarted) {
  TempDir dir;
  const std::string path = dir.File("fahuo.db");
  ASSERT_TRUE(WriteFileBytes(path, std::string(4096, 'x')));
  {
    Shop shop;
    Shop::OpenReport report = shop.Open(path);
    EXPECT_TRUE(report.ok);
    ASSERT_FALSE(report.moved_aside_to.empty());
    EXPECT_EQ(ReadFileBytes(report.moved_aside_to), std::string(4096, 'x'));
    EXPECT_TRUE(shop.ledger().Empty());
    std::vector<LedgerEntry> paid(1);
    paid[0].bill.流水号 = "P";
    ASSERT_TRUE(shop.ledger().Insert(paid));
  }
  // Busy (another program holds the write lock past the wait) and newer: left as they are.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    Shop shop;
    Shop::OpenReport report = shop.Open(path);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.busy);
    EXPECT_TRUE(report.moved_aside_to.empty());
  }
  int version = 0;
  ASSERT_EQ(sqlite3_exec(
                other, "ROLLBACK; PRAGMA user_version;",
                [](void* v, int, char** text, char**) {
                  return *static_cast<int*>(v) = std::atoi(text[0]), 0;
                },
                &version, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "PRAGMA user_version=99;", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    Shop shop;
    Shop::OpenReport report = shop.Open(path);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.newer);
    EXPECT_TRUE(report.moved_aside_to.empty());
  }
  ASSERT_EQ(sqlite3_exec(other, ("PRAGMA user_version=" + std::to_string(version) + ";").c_str(),
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);
  Shop shop;
  ASSERT_TRUE(shop.Open(path).ok);
  EXPECT_TRUE(shop.ledger().Contains("P"));
}

TEST_F(DeliveryPassTest, TickDuringAPassDoesNothing) {
  Baseline({});
  std::mutex mutex;
  std::condition_variable changed;
  bool fetching = false;
  bool release = false;
  DeliveryServices slow = Services();
  page_ = BuildPage({{.serial = "A"}});
  slow.fetch = [&](const std::string&) {
    std::unique_lock lock(mutex);
    fetching = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    return page_;
  };
  std::thread first([&] { EXPECT_TRUE(h_.shop().RunPass(TestAccount(), window_, slow)); });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return fetching; });
  }
  EXPECT_FALSE(Pass());
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  first.join();
  EXPECT_EQ(EventsStartingWith("mail:").size(), 1u);
  EXPECT_FALSE(h_.shop().Busy());
}

TEST_F(DeliveryPassTest, TicksStartedTogetherMailEachBillOnce) {
  Baseline({});
  page_ = BuildPage({{.serial = "A"}, {.serial = "B"}});
  std::vector<std::thread> ticks;
  for (int i = 0; i < 8; ++i) {
    ticks.emplace_back([this] {
      for (int j = 0; j < 20; ++j) Pass();
    });
  }
  for (std::thread& t : ticks) t.join();
  EXPECT_EQ(EventsStartingWith("mail:").size(), 2u);
  EXPECT_EQ(Serials(h_.shop().NewBills()), (std::vector<std::string>{"A", "B"}));
}

}  // namespace
}  // namespace fahuo::testing

namespace fahuo::testing {
namespace {

std::vector<std::string> Gbk(const std::vector<std::string>& utf8) {
  std::vector<std::string> out;
  for (const std::string& s : utf8) out.push_back(Utf8ToGbk(s));
  return out;
}

// A rule that hands out codes: one per bill, kept for good, never in a log line; a bill
// finding the stock empty waits and goes out in the order found once codes are added.
TEST_F(DeliveryPassTest, CodesOnePerBillKeptOnResendAndWaitingBillsGoOutAfterAnImport) {
  Ledger& ledger = h_.shop().ledger();
  const std::string stock = Utf8ToGbk("会员");
  h_.shop().rules().Replace({Rule(0, 1000, "码 {卡密:会员} {卡密:会员}")});
  ASSERT_TRUE(ledger.SetLowStock(stock, 2));
  const Ledger::AddResult first = ledger.AddCodes(stock, Gbk({"K-1", "K-2", "K-1"}));
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(first.added, 2u);
  EXPECT_EQ(first.duplicates, 1u);
  Baseline({"Z"});
  Pass({{.serial = "A", .name = "a@x.com"},
        {.serial = "B", .name = "b@x.com"},
        {.serial = "C", .name = "c@x.com"},
        {.serial = "D", .name = "d@x.com"},
        {.serial = "Z"}});
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:a@x.com 码 K-1 K-1 from seller@example.com",
                                      "mail:b@x.com 码 K-2 K-2 from seller@example.com"}));
  EXPECT_EQ(h_.State("C"), "out-of-stock");
  EXPECT_EQ(h_.State("D"), "out-of-stock");
  EXPECT_EQ(ledger.Find("C")->attempts, 0);
  EXPECT_EQ(ledger.Find("C")->skip_reason, stock);
  EXPECT_EQ(EventsStartingWith("log:已分配卡密（库存 会员）").size(), 2u);
  EXPECT_EQ(EventsStartingWith("log:库存 会员 的卡密即将用完").size(), 1u);  // once, at 1 left
  EXPECT_EQ(EventsStartingWith("log:库存 会员 的卡密已用完，等待补货（流水号 C）").size(), 1u);
  EXPECT_EQ(EventsStartingWith("notify:卡密缺货").size(), 2u);
  EXPECT_EQ(EventsStartingWith("notify:卡密库存不足").size(), 1u);

  // Nothing added: the waiting bills stay as they are, and no pass logs them again.
  window_.ClearEvents();
  Pass();
  EXPECT_TRUE(EventsStartingWith("log:").empty());

  // An import from elsewhere (fahuo-cli) on the same file: the next pass finds the codes.
  {
    Ledger other;
    ASSERT_TRUE(other.Open(h_.folder.File("fahuo.db"), 0).ok);
    const Ledger::AddResult added = other.AddCodes(stock, Gbk({"K-2", "K-3", "K-4", "K-5"}));
    EXPECT_EQ(added.added, 3u);
    EXPECT_EQ(added.duplicates, 1u);  // given already: never handed out again
  }
  Pass();
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:c@x.com 码 K-3 K-3 from seller@example.com",
                                      "mail:d@x.com 码 K-4 K-4 from seller@example.com"}));
  EXPECT_EQ(h_.State("C"), "sent");
  EXPECT_EQ(h_.State("D"), "sent");
  EXPECT_EQ(EventsStartingWith("log:卡密已补充，发送：C").size(), 1u);
  EXPECT_EQ(EventsStartingWith("log:库存 会员 的卡密即将用完").size(), 1u);  // fell again

  // A resend (to another address too) mails the bill's own code again.
  window_.ClearEvents();
  ASSERT_TRUE(h_.shop().actions().ResendTo("A", "new@x.com", window_).ok);
  Pass();
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:new@x.com 码 K-1 K-1 from seller@example.com"}));
  EXPECT_TRUE(EventsStartingWith("log:已分配卡密").empty());
  ASSERT_EQ(ledger.CodesOf("A").size(), 1u);
  EXPECT_EQ(ledger.CodesOf("A")[0].code, "K-1");

  // Codes are secrets: no log line and no notice ever held one.
  for (const std::string& event : window_.Events()) {
    if (event.starts_with("mail:")) continue;
    EXPECT_EQ(event.find("K-"), std::string::npos) << event;
  }

  // The buyer who writes that K-3 does not work is found by the code.
  const std::vector<StockCode> found = ledger.GivenCodes("K-3", 10);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].serial, "C");
  EXPECT_EQ(found[0].buyer, "c@x.com");
  const std::vector<StockSummary> stocks = ledger.Stocks();
  ASSERT_EQ(stocks.size(), 1u);
  EXPECT_EQ(stocks[0].available, 1u);
  EXPECT_EQ(stocks[0].given, 4u);
  EXPECT_EQ(stocks[0].threshold, 2);
  EXPECT_EQ(ledger.AvailableCodes(stock), Gbk({"K-5"}));
  // A mailed bill's code never goes back to the stock.
  EXPECT_EQ(ledger.ReturnCodes("A"), 0);
  EXPECT_FALSE(h_.shop().actions().ReturnCodes("A", window_).ok);
  EXPECT_EQ(ledger.CodesOf("A").size(), 1u);
}

TEST_F(DeliveryPassTest, CodeOfABillThatFailedForGoodGoesBackOnlyWhenTheSellerSaysSo) {
  Ledger& ledger = h_.shop().ledger();
  h_.shop().rules().Replace({Rule(0, 1000, "码 {卡密}")});
  ASSERT_TRUE(ledger.SetLowStock(Utf8ToGbk("默认"), 2));
  ASSERT_TRUE(ledger.AddCodes(Utf8ToGbk("默认"), {"P-1", "P-2"}).ok);
  send_errors_["bad@x.com"] = "550 no such user";
  Baseline({"Z"});
  Pass({{.serial = "F", .name = "bad@x.com"}, {.serial = "Z"}});
  EXPECT_EQ(h_.State("F"), "failed");
  EXPECT_EQ(ledger.CodesOf("F").size(), 1u);  // kept for the seller's resend
  window_.ClearEvents();
  ASSERT_TRUE(h_.shop().actions().ReturnCodes("F", window_).ok);
  EXPECT_EQ(window_.Events(),
            (std::vector<std::string>{"log:已退回 1 个卡密到库存：F\r\n", "changed"}));
  EXPECT_TRUE(ledger.CodesOf("F").empty());
  EXPECT_FALSE(h_.shop().actions().ReturnCodes("F", window_).ok);  // nothing left to return
  EXPECT_EQ(ledger.AvailableCodes(Utf8ToGbk("默认")), (std::vector<std::string>{"P-1", "P-2"}));
  // Back at its threshold, the stock tells its next fall below it again.
  window_.ClearEvents();
  Pass({{.serial = "G", .name = "g@x.com"}, {.serial = "F", .name = "bad@x.com"}, {.serial = "Z"}});
  EXPECT_EQ(EventsStartingWith("log:库存 默认 的卡密即将用完").size(), 1u);
  EXPECT_EQ(ledger.DeleteAvailable(Utf8ToGbk("默认")), 1);
  EXPECT_TRUE(ledger.Due(h_.clock.UnixSeconds()).empty());
}

}  // namespace
}  // namespace fahuo::testing
