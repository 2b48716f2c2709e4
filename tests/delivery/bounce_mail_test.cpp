// Which letters are bounces, what they say, and the reason in the seller's words.
#include "delivery/bounce_mail.h"

#include <gtest/gtest.h>

#include "bounce_letters.h"
#include "delivery/bounce_reader.h"

namespace fahuo::testing {
namespace {

std::string HeaderOf(const std::string& mail) {
  size_t end = mail.find("\r\n\r\n");
  return mail.substr(0, end == std::string::npos ? mail.size() : end + 2);
}

TEST(BounceMailTest, RecognisesBouncesAndNothingElse) {
  struct Case {
    const char* name;
    std::string mail;
    bool bounce;
    std::string recipient, message_id, reason;
  } cases[] = {
      {"report with the original",
       letters::Report("a@example.com", "failed", "5.2.2", "552 5.2.2 Mailbox full", "m1@fahuo",
                       true),
       true, "a@example.com", "m1@fahuo", "邮箱已满（5.2.2）"},
      {"report with headers only",
       letters::Report("b@example.com", "failed", "5.1.1", "550 5.1.1 User unknown", "m2@fahuo",
                       false),
       true, "b@example.com", "m2@fahuo", "地址不存在（5.1.1）"},
      {"QQ letter", letters::QqLetter("c@qq.com", "该邮件被当作垃圾邮件拒收"), true, "c@qq.com", "",
       "被当作垃圾邮件拒收"},
      {"163 letter", letters::Letter163("d@163.com", "收件人邮箱不存在"), true, "d@163.com", "",
       "地址不存在"},
      {"report marked auto-replied",
       "Auto-Submitted: auto-replied\r\n" +
           letters::Report("g@example.com", "failed", "5.1.1", "550 no such user", "m7", false),
       true, "g@example.com", "m7", "地址不存在（5.1.1）"},
      {"delay notice", letters::Report("e@example.com", "delayed", "4.4.1", "timeout", "m3", true),
       false, "", "", ""},
      {"auto-reply", letters::AutoReply(), false, "", "", ""},
      {"ordinary letter", letters::Ordinary(), false, "", "", ""},
      {"not a mail", std::string("\0\xff{}<>--\r\n\r\n", 12), false, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BounceFacts facts = ReadBounce(c.mail);
    EXPECT_EQ(facts.bounce, c.bounce);
    if (!c.bounce) continue;
    EXPECT_TRUE(LooksLikeBounce(HeaderOf(c.mail)));
    EXPECT_EQ(facts.recipient, c.recipient);
    EXPECT_EQ(facts.original_message_id, c.message_id);
    EXPECT_EQ(GbkToUtf8(BounceReason(facts)), c.reason);
  }
  EXPECT_FALSE(LooksLikeBounce(HeaderOf(letters::AutoReply())));
  EXPECT_FALSE(LooksLikeBounce(HeaderOf(letters::Ordinary())));
  EXPECT_EQ(ReadBounce(letters::QqLetter("c@qq.com", "x")).original_subject, "您的教程");
}

TEST(BounceMailTest, ReasonWords) {
  struct Case {
    std::string status, diagnostic, reason;
  } cases[] = {
      {"", "550 Mailbox not found", "地址不存在（550）"},
      {"5.0.0", "552 quota exceeded", "邮箱已满（5.0.0）"},
      {"", "554 message looks like spam", "被当作垃圾邮件拒收（554）"},
      {"5.3.4", "message too large", "邮件过大（5.3.4）"},
      {"5.7.1", "relay denied by policy", "relay denied by policy（5.7.1）"},
      {"", "", "邮件被退回"},
  };
  for (const Case& c : cases) {
    BounceFacts facts;
    facts.status = c.status;
    facts.diagnostic = c.diagnostic;
    EXPECT_EQ(GbkToUtf8(BounceReason(facts)), c.reason) << c.diagnostic;
  }
}

TEST(BounceMailTest, InboxServerOfSendingServer) {
  EXPECT_EQ(ImapServerFor("smtp.qq.com"), "imap.qq.com:993");
  EXPECT_EQ(ImapServerFor(" SMTP.163.com:465 "), "imap.163.com:993");
  EXPECT_EQ(ImapServerFor("smtp.office365.com"), "outlook.office365.com:993");
  EXPECT_EQ(ImapServerFor("mail.example.net"), "");
}

}  // namespace
}  // namespace fahuo::testing
