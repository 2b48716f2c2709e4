// The seller's reason for a mail failure, from the texts the mail client really returns: a
// server's refusal, or libcurl's own message when there was no reply.
#include <gtest/gtest.h>

#include "delivery/mail_refusal.h"
#include "delivery/mail_setup.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

TEST(MailFailureReasonTest, NamesWhatWentWrong) {
  struct Case {
    const char* error;  // UTF-8
    const char* reason;
  };
  for (const Case& c : {
           Case{"535 Error: authentication failed", "认证失败（QQ 邮箱请使用授权码）"},
           Case{"535 Login Fail. Please enter your authorization code to login.",
                "认证失败（QQ 邮箱请使用授权码）"},
           Case{"530 5.7.0 Authentication required", "认证失败（QQ 邮箱请使用授权码）"},
           Case{"Failed to connect to 127.0.0.1 port 1 after 0 ms: Couldn't connect to server",
                "无法连接服务器"},
           Case{"Could not resolve host: smtp.nosuch.invalid", "无法连接服务器"},
           Case{"Operation timed out after 2001 milliseconds with 0 bytes received",
                "无法连接服务器"},
           Case{"邮箱服务器地址无效", "无法连接服务器"},
           Case{"421 Service not available", "无法连接服务器"},
           Case{"SSL certificate problem: self-signed certificate", "安全连接失败"},
           Case{"STARTTLS not supported.", "安全连接失败"},
           Case{"550 5.1.1 <nobody@example.com>: Recipient address rejected", "收件人被拒绝"},
           Case{"501 Syntax: RCPT TO: <address>", "收件人被拒绝"},
           Case{"收件人地址含有换行或空字符，未发送", "收件人被拒绝"},
           Case{"552 Message size exceeds fixed limit", "邮件服务器报告错误"},
           Case{"", "邮件服务器报告错误"},
       }) {
    SCOPED_TRACE(c.error);
    const std::string error = Utf8ToGbk(c.error);
    EXPECT_EQ(GbkToUtf8(MailFailureReason(error)), c.reason);
    const std::string full = GbkToUtf8(MailFailureText(error));
    EXPECT_EQ(full, *c.error ? std::string(c.reason) + "：" + c.error : c.reason);
  }
}

TEST(MailRefusalTest, ProvidersReasonsRecognised) {
  struct Case {
    const char* error;
    MailRefusal refusal;
  };
  for (const Case& c : {
           Case{"535 Error: authentication failed", MailRefusal::kAuth},
           Case{"535 Login Fail. Please enter your authorization code to login.",
                MailRefusal::kAuth},
           Case{"550 User has no permission", MailRefusal::kNotEnabled},
           Case{"554 DT:SPM 163 smtp14,EsCowAD3", MailRefusal::kTooMany},
           Case{"550 Ip frequency limited", MailRefusal::kTooMany},
           Case{"550 too many mails, try again later", MailRefusal::kTooMany},
           Case{"554 5.7.1 Message content rejected as spam", MailRefusal::kContent},
           Case{"550 Your account is locked", MailRefusal::kBlocked},
           Case{"Failed to connect to smtp.qq.com port 465: Connection refused",
                MailRefusal::kNoConnection},
           Case{"550 5.1.1 <nobody@example.com>: Recipient address rejected",
                MailRefusal::kNotTheAccount},
           Case{"552 Message size exceeds fixed limit", MailRefusal::kNotTheAccount},
           Case{"552 5.2.2 Mailbox full, quota exceeded", MailRefusal::kNotTheAccount},
           Case{"550 5.4.5 Daily user sending quota exceeded", MailRefusal::kTooMany},
           Case{"", MailRefusal::kNotTheAccount},
       }) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(ReadMailRefusal(c.error), c.refusal);
    EXPECT_EQ(MailRefusalText(c.refusal).empty(), c.refusal == MailRefusal::kNotTheAccount);
  }
  EXPECT_EQ(ReadMailRefusal(Utf8ToGbk("550 发送频繁，请稍后再试")), MailRefusal::kTooMany);
}

}  // namespace
}  // namespace fahuo
