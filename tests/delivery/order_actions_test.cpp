// The seller's actions on a bill, delivered over a real SMTP server on loopback.
#include <gtest/gtest.h>

#include <sstream>

#include "delivery/shop.h"
#include "pass_fixture.h"
#include "platform/mail_client.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

class OrderActionsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    smtp_port_ = StartPythonService(*smtp_, "smtp_sink.py",
                                    {"--maildir", maildir_->path(), "--reject-rcpt", "rejected"});
  }
  static void TearDownTestSuite() { smtp_->Stop(); }

  void SetUp() override {
    ASSERT_NE(smtp_port_, 0);
    shop().rules().Replace({Rule(0, 1000, "教程")});
    account_ = {"127.0.0.1:" + std::to_string(smtp_port_), "seller@example.com", "secret"};
    mails_before_ = MailLog().size();
  }

  // A bill in the ledger as a pass would have recorded it.
  std::string Add(const std::string& serial, const std::string& utf8_name, BillState state,
                  const std::string& recipient = {}) {
    LedgerEntry e;
    e.bill.流水号 = serial;
    e.bill.名称 = Utf8ToGbk(utf8_name);
    e.bill.金额 = "98.00";
    e.bill.备注 = Utf8ToGbk("教程");
    e.state = state;
    e.recipient = recipient;
    if (!recipient.empty()) {
      e.rule_subject = Utf8ToGbk("旧规则");
      e.rule_body = Utf8ToGbk("旧正文");
    }
    std::vector<LedgerEntry> one{e};
    EXPECT_TRUE(shop().ledger().Insert(one));
    return serial;
  }
  Shop& shop() { return h_.shop(); }
  std::string State(const std::string& serial) { return h_.State(serial); }

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
  bool HasLog(const std::string& utf8_line) {
    for (const std::string& e : window_.Events()) {
      if (e == "log:" + utf8_line + "\r\n") return true;
    }
    return false;
  }

  static inline std::unique_ptr<ChildProcess> smtp_ = std::make_unique<ChildProcess>();
  static inline std::unique_ptr<TempDir> maildir_ = std::make_unique<TempDir>();
  static inline int smtp_port_ = 0;

  ShopHarness h_{ShopOptions{.mail = {.step_ms = 2000, .total_ms = 5000}}};
  RecordingWindow window_;
  MailAccount account_;
  size_t mails_before_ = 0;
};

TEST_F(OrderActionsTest, FailedBillResentToAnotherAddressArrivesThereWithTheRuleOfNow) {
  const std::string serial = Add("3001", "rejected@example.com", BillState::kPending);
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  ASSERT_EQ(State(serial), "failed");
  EXPECT_TRUE(NewMails().empty());

  shop().rules().Replace({Rule(0, 1000, "新教程")});
  EXPECT_FALSE(shop().actions().ResendTo(serial, "not an address", window_).ok);
  ActionOutcome done = shop().actions().ResendTo(serial, " buyer@example.com ", window_);
  ASSERT_TRUE(done.ok) << GbkToUtf8(done.message);
  EXPECT_TRUE(HasLog("重新发送到 buyer@example.com：3001"));
  EXPECT_EQ(State(serial), "pending");
  EXPECT_EQ(window_.Events().back(), "changed");

  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  std::vector<std::string> mails = NewMails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find("\"rcpt_tos\": [\"buyer@example.com\"]"), std::string::npos) << mails[0];
  EXPECT_NE(mails[0].find("\"subject\": \"新教程\""), std::string::npos) << mails[0];
  std::optional<LedgerEntry> e = shop().ledger().Find(serial);
  EXPECT_EQ(e->state, BillState::kSent);
  EXPECT_EQ(e->attempts, 2);
  EXPECT_EQ(e->recipient, "buyer@example.com");
  EXPECT_TRUE(e->last_error.empty());

  // A baseline bill sent on the seller's word: the recipient comes from its 名称.
  const std::string old = Add("3002", "QQ 7654321", BillState::kBaseline);
  ASSERT_TRUE(shop().actions().Resend(old, window_).ok);
  EXPECT_TRUE(HasLog("重新发送：3002（由卖家操作）"));
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  ASSERT_EQ(NewMails().size(), 2u);
  EXPECT_NE(NewMails()[1].find("\"rcpt_tos\": [\"7654321@qq.com\"]"), std::string::npos);
}

TEST_F(OrderActionsTest, MistypedDomainIsMendedAndABouncedBillGoesToItsNewAddressWithItsCode) {
  shop().rules().Replace({DeliveryRule{0, 1000, Utf8ToGbk("教程"), Utf8ToGbk("卡密 {卡密}")}});
  ASSERT_TRUE(shop().ledger().AddCodes(Utf8ToGbk("默认"), {"CODE-1", "CODE-2"}).ok);
  const std::string serial = Add("6001", "邮箱 buyer@qq.con", BillState::kPending);
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  EXPECT_TRUE(HasLog("已更正收件地址：buyer@qq.con → buyer@qq.com"));
  ASSERT_EQ(NewMails().size(), 1u);
  EXPECT_NE(NewMails()[0].find("\"rcpt_tos\": [\"buyer@qq.com\"]"), std::string::npos);
  std::optional<LedgerEntry> e = shop().ledger().Find(serial);
  EXPECT_EQ(e->recipient, "buyer@qq.com");
  EXPECT_EQ(e->typed_recipient, "buyer@qq.con");
  EXPECT_EQ(e->resends, 0);

  // The buyer's service sent it back; the seller corrects the address once more.
  e->state = BillState::kBounced;
  ASSERT_TRUE(shop().ledger().Update(*e));
  EXPECT_FALSE(shop().actions().ChangeAddress(serial, "buyer@", window_).ok);
  ASSERT_TRUE(shop().actions().ChangeAddress(serial, " buyer2@163.com ", window_).ok);
  EXPECT_TRUE(HasLog("改地址重发：buyer@qq.com → buyer2@163.com（流水号 6001）"));
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  ASSERT_EQ(NewMails().size(), 2u);
  EXPECT_NE(NewMails()[1].find("\"rcpt_tos\": [\"buyer2@163.com\"]"), std::string::npos);
  EXPECT_NE(NewMails()[1].find("CODE-1"), std::string::npos) << NewMails()[1];
  e = shop().ledger().Find(serial);
  EXPECT_EQ(e->state, BillState::kSent);
  EXPECT_EQ(e->recipient, "buyer2@163.com");
  EXPECT_EQ(e->typed_recipient, "buyer@qq.con");
  EXPECT_EQ(e->resends, 1);
  ASSERT_EQ(shop().ledger().CodesOf(serial).size(), 1u);
  EXPECT_EQ(shop().ledger().CodesOf(serial)[0].code, "CODE-1");

  // A doubtful typo waits for the seller; a plain resend mails the address as typed.
  const std::string held = Add("6002", "buyer@sina.co", BillState::kPending);
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  e = shop().ledger().Find(held);
  EXPECT_EQ(e->state, BillState::kSkipped);
  EXPECT_EQ(e->skip_reason, skip::kSuspectAddress);
  EXPECT_EQ(e->last_error, "buyer@sina.com");
  EXPECT_EQ(NewMails().size(), 2u);
  ASSERT_TRUE(shop().actions().Resend(held, window_).ok);
  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  ASSERT_EQ(NewMails().size(), 3u);
  EXPECT_NE(NewMails()[2].find("\"rcpt_tos\": [\"buyer@sina.co\"]"), std::string::npos);
  EXPECT_EQ(shop().ledger().Find(held)->resends, 1);
}

TEST_F(OrderActionsTest, HandledIsNeverMailedAndSendingRefusesEveryAction) {
  const std::string failed = Add("4001", "a@example.com", BillState::kFailed, "a@example.com");
  ASSERT_TRUE(shop().actions().MarkHandled(failed, window_).ok);
  EXPECT_TRUE(HasLog("已标记为已处理：4001"));
  EXPECT_EQ(State(failed), "handled");

  const std::string sending = Add("4002", "b@example.com", BillState::kSending, "b@example.com");
  EXPECT_FALSE(shop().actions().Resend(sending, window_).ok);
  EXPECT_FALSE(shop().actions().ResendTo(sending, "c@example.com", window_).ok);
  ActionOutcome refused = shop().actions().MarkHandled(sending, window_);
  EXPECT_FALSE(refused.ok);
  EXPECT_FALSE(refused.message.empty());
  EXPECT_EQ(State(sending), "sending");
  EXPECT_FALSE(shop().actions().Resend("no-such-bill", window_).ok);

  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  EXPECT_TRUE(NewMails().empty());
}

TEST_F(OrderActionsTest, BillChangedBySellerDuringADeliveryGoesOutAsTheSellerLeftIt) {
  const std::string serial =
      Add("5001", "old@example.com", BillState::kRetrying, "old@example.com");
  // The seller sends it elsewhere while the delivery is connecting.
  DeliveryServices services;
  services.connect = [&](const MailAccount&) -> std::string {
    EXPECT_TRUE(shop().actions().ResendTo(serial, "new@example.com", window_).ok);
    return "";  // connected: the changed bill is not mailed, so nothing is sent
  };
  ASSERT_TRUE(shop().DeliverDue(account_, window_, services));
  EXPECT_TRUE(NewMails().empty());
  EXPECT_EQ(State(serial), "pending");

  ASSERT_TRUE(shop().DeliverDue(account_, window_));
  ASSERT_EQ(NewMails().size(), 1u);
  EXPECT_NE(NewMails()[0].find("\"rcpt_tos\": [\"new@example.com\"]"), std::string::npos);
}

}  // namespace
}  // namespace fahuo::testing
