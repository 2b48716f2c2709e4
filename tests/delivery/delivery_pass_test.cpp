#include "delivery/delivery_pass.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <thread>

#include "capture/records_address.h"
#include "pass_fixture.h"

namespace fahuo::testing {
namespace {

const char kAmountLineTail[] = " 正在为您匹配发件规则\r\n";

// Passes over a page held in memory and a mailer that records into the window's timeline.
class DeliveryPassTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDeliveryState(); }
  void TearDown() override { ResetDeliveryState(); }

  bool Pass(const std::vector<PageRow>& rows) {
    page_ = BuildPage(rows);
    return RunDeliveryPass(window_, Services());
  }

  DeliveryServices Services() {
    DeliveryServices s;
    s.fetch_page = [this] { return page_; };
    s.connect = [this](const std::string& server, const std::string&, const std::string&) {
      window_.Add("connect:" + server);
      return reachable_;
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

  RecordingWindow window_;
  std::string page_;
  bool reachable_ = true;
  std::map<std::string, std::string> send_errors_;
};

TEST_F(DeliveryPassTest, OneBillWritesEveryLineInOrder) {
  EXPECT_TRUE(Pass({{.serial = "S1"}}));
  EXPECT_EQ(window_.Events(), (std::vector<std::string>{
                                  "connect:127.0.0.1:1",
                                  "log:发现新账单\r\n",
                                  "log:对方是：张三\r\n",
                                  "log:对方金额是：98 正在为您匹配发件规则\r\n",
                                  "log:对方留言的不是邮箱信息，自动添加 @qq.com\r\n",
                                  "log:发送的邮箱地址是：123456789@qq.com\r\n",
                                  "mail:123456789@qq.com 教程 from seller@example.com",
                                  "log:发送邮件成功\r\n",
                                  "refresh:all",
                              }));
  EXPECT_FALSE(DeliveryBusy.load());
}

TEST_F(DeliveryPassTest, KnownTopRowMeansNothingAtAll) {
  AllBills().Append(KnownBill("A"));
  EXPECT_TRUE(Pass({{.serial = "A"}, {.serial = "B"}}));
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(NewBills().Count(), 0u);
  EXPECT_EQ(Serials(AllBills()), std::vector<std::string>{"A"});
}

TEST_F(DeliveryPassTest, NoRecordTableMeansNothingAtAll) {
  page_ = "<html>sign in</html>";
  EXPECT_TRUE(RunDeliveryPass(window_, Services()));
  EXPECT_TRUE(window_.Events().empty());
}

TEST_F(DeliveryPassTest, NewBillsMailedInPageOrderAndListed) {
  AllBills().Append(KnownBill("D"));
  Pass({{.serial = "A", .name = "a@x.com"},
        {.serial = "B", .name = "b@x.com"},
        {.serial = "C", .name = "c@x.com"},
        {.serial = "D", .name = "d@x.com"},
        {.serial = "E", .name = "e@x.com"}});
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:a@x.com 教程 from seller@example.com",
                                      "mail:b@x.com 教程 from seller@example.com",
                                      "mail:c@x.com 教程 from seller@example.com"}));
  EXPECT_EQ(EventsStartingWith("connect:").size(), 1u);
  EXPECT_EQ(Serials(NewBills()), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Serials(AllBills()), (std::vector<std::string>{"C", "B", "A", "D"}));
}

TEST_F(DeliveryPassTest, EveryRowIsNewWhenNothingIsKnown) {
  window_.all_selected = false;
  Pass({{.serial = "A"}, {.serial = "B"}});
  EXPECT_EQ(Serials(NewBills()), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(EventsStartingWith("log:发送邮件成功").size(), 2u);
  EXPECT_EQ(EventsStartingWith("refresh:"), std::vector<std::string>{"refresh:new"});
}

// A baseline whose page 1 could not be read knows no bill; the first page 1 read later
// becomes the baseline instead of a mass mailing of every bill on it.
TEST_F(DeliveryPassTest, PageReadAfterAFailedBaselineIsTakenAsTheBaseline) {
  struct NullSink : RecordPagesSink {
    void Progress(int, size_t) override {}
    void Finished() override {}
  } sink;
  SetRecordsBase("http://127.0.0.1:9");  // nothing listens: page 1 fails
  LoadRecordPages(sink);
  ASSERT_EQ(AllBills().Count(), 0u);
  Pass({{.serial = "A"}, {.serial = "B"}});
  EXPECT_TRUE(EventsStartingWith("log:").empty());
  EXPECT_TRUE(EventsStartingWith("connect:").empty());
  EXPECT_EQ(Serials(AllBills()), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(NewBills().Snapshot().empty());
  Pass({{.serial = "C"}, {.serial = "A"}, {.serial = "B"}});
  EXPECT_EQ(Serials(NewBills()), std::vector<std::string>{"C"});
  EXPECT_EQ(EventsStartingWith("log:发送邮件成功").size(), 1u);
}

TEST_F(DeliveryPassTest, WalkStopsAtARepeatedSerial) {
  struct Case {
    const char* name;
    std::vector<std::string> page;
    std::vector<std::string> taken;
  };
  for (const Case& c : {Case{"Duplicate", {"A", "B", "A", "C"}, {"A", "B"}},
                        Case{"Empty", {"", "X", "", "Y"}, {"", "X"}}}) {
    SCOPED_TRACE(c.name);
    ResetDeliveryState();
    std::vector<PageRow> rows;
    for (const std::string& serial : c.page) rows.push_back({.serial = serial});
    Pass(rows);
    EXPECT_EQ(Serials(NewBills()), c.taken);
  }
}

TEST_F(DeliveryPassTest, FirstRuleHoldingTheAmountSends) {
  struct Case {
    const char* name;
    std::vector<DeliveryRule> rules;
    std::string amount;
    std::string amount_text;
    size_t amount_lines;
    std::string mailed_subject;  // empty: no mail
  };
  const std::vector<DeliveryRule> three = {Rule(0, 50, "a"), Rule(60, 100, "b"),
                                           Rule(90, 200, "c")};
  for (const Case& c : {
           Case{"SecondOfThree", three, "95", "95", 2, "b"},
           Case{"NoRules", {}, "95", "95", 0, ""},
           Case{"BoundsInclusive", {Rule(98, 98, "x")}, "98.00", "98", 1, "x"},
           Case{"AboveEveryRule", {Rule(0, 50, "a")}, "50.01", "50.01", 1, ""},
           Case{"FormattedAmount", {Rule(1000, 2000, "k")}, "+1,160.50", "1160.5", 1, "k"},
           Case{"TextWithoutNumberIsZero", {Rule(1, 9, "p"), Rule(0, 0, "z")}, "免费", "0", 2, "z"},
       }) {
    SCOPED_TRACE(c.name);
    ResetDeliveryState();
    window_.ClearEvents();
    ReplaceRules(c.rules);
    Pass({{.serial = "S", .amount = c.amount}});
    EXPECT_EQ(AmountLines(), c.amount_lines);
    EXPECT_EQ(EventsStartingWith("log:对方金额是：" + c.amount_text + " ").size(), c.amount_lines);
    std::vector<std::string> mails = EventsStartingWith("mail:");
    if (c.mailed_subject.empty()) {
      EXPECT_TRUE(mails.empty());
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
  };
  for (const Case& c : {
           Case{"EmptyNoteSkipsValidAddress",
                {.serial = "1", .name = "a@b.com", .note = ""},
                {"log:对方为留言，自动跳过发送邮件\r\n"}},
           Case{"NotAQqNumber",
                {.serial = "2", .name = "张三"},
                {"log:对方留言的不是QQ号码，自动跳过不发送邮件\r\n"}},
           Case{"AddressTakenFromTheWords",
                {.serial = "3", .name = "请发到a@b.com谢谢"},
                {"log:发送的邮箱地址是：a@b.com\r\n", "log:发送邮件成功\r\n"}},
           Case{"InvalidAddress",
                {.serial = "4", .name = "a@b@c.com"},
                {"log:无效的邮箱地址，自动跳过不发送邮件\r\n"}},
       }) {
    SCOPED_TRACE(c.name);
    window_.ClearEvents();
    Pass({c.row});
    std::vector<std::string> logs = EventsStartingWith("log:");
    ASSERT_GE(logs.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(logs.begin() + 3, logs.end()), c.lines_after_amount);
  }
}

TEST_F(DeliveryPassTest, EmptyNoteWithoutMatchingRuleWritesNoSkipLine) {
  ReplaceRules({Rule(0, 1, "cheap")});
  Pass({{.serial = "S", .note = ""}});
  EXPECT_TRUE(EventsStartingWith("log:对方为留言").empty());
  EXPECT_EQ(AmountLines(), 1u);
}

TEST_F(DeliveryPassTest, SendErrorDoesNotStopTheNextBill) {
  send_errors_["bad@x.com"] = "550 no such user";
  Pass({{.serial = "A", .name = "bad@x.com"}, {.serial = "B", .name = "good@x.com"}});
  EXPECT_EQ(EventsStartingWith("log:发送"),
            (std::vector<std::string>{
                "log:发送的邮箱地址是：bad@x.com\r\n", "log:发送失败，错误：550 no such user\r\n",
                "log:发送的邮箱地址是：good@x.com\r\n", "log:发送邮件成功\r\n"}));
  EXPECT_EQ(EventsStartingWith("connect:").size(), 1u);
}

TEST_F(DeliveryPassTest, UnreachableServerKeepsBillsForTheNextPass) {
  reachable_ = false;
  Pass({{.serial = "A", .name = "a@x.com"}, {.serial = "B", .name = "b@x.com"}});
  EXPECT_EQ(window_.Events(),
            (std::vector<std::string>{"connect:127.0.0.1:1", "box:连接邮箱失败", "refresh:all"}));
  EXPECT_EQ(Serials(NewBills()), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(WaitingBillCount(), 2u);

  // Still down, nothing new on the page: a quiet retry.
  window_.ClearEvents();
  Pass({{.serial = "A"}, {.serial = "B"}});
  EXPECT_EQ(window_.Events(), std::vector<std::string>{"connect:127.0.0.1:1"});

  // Back up, with a newer bill on top: the waiting ones go first, each once.
  reachable_ = true;
  window_.ClearEvents();
  Pass({{.serial = "C", .name = "c@x.com"}, {.serial = "A"}, {.serial = "B"}});
  EXPECT_EQ(EventsStartingWith("mail:"),
            (std::vector<std::string>{"mail:a@x.com 教程 from seller@example.com",
                                      "mail:b@x.com 教程 from seller@example.com",
                                      "mail:c@x.com 教程 from seller@example.com"}));
  EXPECT_TRUE(EventsStartingWith("box:").empty());
  EXPECT_EQ(WaitingBillCount(), 0u);

  window_.ClearEvents();
  Pass({{.serial = "C"}, {.serial = "A"}});
  EXPECT_TRUE(window_.Events().empty());
}

TEST_F(DeliveryPassTest, BusyFlagMakesAPassDoNothing) {
  DeliveryBusy.store(true);
  EXPECT_FALSE(Pass({{.serial = "A"}}));
  EXPECT_TRUE(window_.Events().empty());
  EXPECT_EQ(NewBills().Count(), 0u);
  EXPECT_TRUE(DeliveryBusy.load());
}

TEST_F(DeliveryPassTest, TickDuringAPassDoesNothing) {
  std::mutex mutex;
  std::condition_variable changed;
  bool fetching = false;
  bool release = false;
  DeliveryServices slow = Services();
  page_ = BuildPage({{.serial = "A"}});
  slow.fetch_page = [&] {
    std::unique_lock lock(mutex);
    fetching = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    return page_;
  };
  std::thread first([&] { EXPECT_TRUE(RunDeliveryPass(window_, slow)); });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return fetching; });
  }
  EXPECT_FALSE(RunDeliveryPass(window_, Services()));
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  first.join();
  EXPECT_EQ(EventsStartingWith("mail:").size(), 1u);
  EXPECT_FALSE(DeliveryBusy.load());
}

TEST_F(DeliveryPassTest, TicksStartedTogetherMailEachBillOnce) {
  page_ = BuildPage({{.serial = "A"}, {.serial = "B"}});
  std::vector<std::thread> ticks;
  for (int i = 0; i < 8; ++i) {
    ticks.emplace_back([this] {
      for (int j = 0; j < 20; ++j) RunDeliveryPass(window_, Services());
    });
  }
  for (std::thread& t : ticks) t.join();
  EXPECT_EQ(EventsStartingWith("mail:").size(), 2u);
  EXPECT_EQ(Serials(NewBills()), (std::vector<std::string>{"A", "B"}));
}

}  // namespace
}  // namespace fahuo::testing
