#pragma once
// Letters as they land in a seller's inbox, for the bounce tests: a standard delivery report
// with the original attached, one with the original's headers only, QQ Mail's HTML letter in
// GB2312, 163's 系统退信, a delay notice, an auto-reply and an ordinary letter.
#include <string>

#include "platform/gbk.h"
#include "platform/mail_message.h"

namespace fahuo::testing::letters {

inline std::string Report(const std::string& rcpt, const std::string& action,
                          const std::string& status, const std::string& diagnostic,
                          const std::string& original_id, bool whole_original) {
  const std::string original = "From: seller@example.com\r\nTo: " + rcpt +
                               "\r\nSubject: =?UTF-8?B?" + mail::Base64("您的教程") +
                               "?=\r\nMessage-ID: <" + original_id + ">\r\n";
  return "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\n"
         "To: seller@example.com\r\n"
         "Subject: Undelivered Mail Returned to Sender\r\n"
         "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
         "Message-ID: <report-" +
         original_id +
         ">\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/report; report-type=delivery-status; boundary=\"B1\"\r\n\r\n"
         "--B1\r\nContent-Type: text/plain\r\n\r\nThe mail system could not deliver.\r\n"
         "--B1\r\nContent-Type: message/delivery-status\r\n\r\n"
         "Reporting-MTA: dns; mx.example.net\r\n\r\n"
         "Final-Recipient: rfc822; " +
         rcpt + "\r\nAction: " + action + "\r\nStatus: " + status + "\r\nDiagnostic-Code: smtp; " +
         diagnostic +
         "\r\n\r\n"
         "--B1\r\nContent-Type: " +
         (whole_original ? "message/rfc822" : "text/rfc822-headers") + "\r\n\r\n" + original +
         (whole_original ? "\r\nthe goods\r\n" : "") + "\r\n--B1--\r\n";
}

// QQ Mail's own letter: HTML in GB2312, no report part, no Message-ID of ours.
inline std::string QqLetter(const std::string& rcpt, const std::string& reason_utf8) {
  const std::string html = Utf8ToGbk(
      "<html><body><div>很抱歉您的邮件没有发送成功。</div>"
      "<table><tr><td>收件人：</td><td>" +
      rcpt +
      "</td></tr>"
      "<tr><td>退信原因：</td><td>" +
      reason_utf8 +
      "</td></tr>"
      "<tr><td>邮件主题：</td><td>您的教程</td></tr>"
      "<tr><td>发送时间：</td><td>2026-12-10 17:50</td></tr></table></body></html>");
  return "From: =?gb2312?B?" + mail::Base64(Utf8ToGbk("QQ邮箱")) +
         "?= <postmaster@qq.com>\r\n"
         "To: seller@example.com\r\n"
         "Subject: =?gb2312?B?" +
         mail::Base64(Utf8ToGbk("来自qq.com的退信")) +
         "?=\r\n"
         "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: text/html; charset=gb2312\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
         mail::Base64(html) + "\r\n";
}

inline std::string Letter163(const std::string& rcpt, const std::string& reason_utf8) {
  return "From: postmaster@163.com\r\nTo: seller@example.com\r\n"
         "Subject: =?UTF-8?B?" +
         mail::Base64("系统退信") +
         "?=\r\n"
         "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
         "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
         mail::Base64("您发送的邮件未能送达以下收件人：\n收件人：" + rcpt + "\n退信原因：" +
                      reason_utf8 + "\n") +
         "\r\n";
}

inline std::string AutoReply() {
  return "From: buyer@example.com\r\nTo: seller@example.com\r\n"
         "Subject: =?UTF-8?B?" +
         mail::Base64("自动回复: 您的教程") +
         "?=\r\n"
         "Auto-Submitted: auto-replied\r\n"
         "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\n\r\nI am away. undeliverable? no.\r\n";
}

inline std::string Ordinary() {
  return "From: buyer@example.com\r\nTo: seller@example.com\r\n"
         "Subject: =?UTF-8?B?" +
         mail::Base64("收到了，谢谢") +
         "?=\r\n"
         "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\n\r\nthanks, nouser@example.com\r\n";
}

}  // namespace fahuo::testing::letters
