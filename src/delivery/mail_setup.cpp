#include "delivery/mail_setup.h"

#include "delivery/reply_words.h"
#include "platform/gbk.h"
#include "platform/mail_client.h"

namespace fahuo {
namespace {

std::string ConnectFailedText(const mail::Session& session) {
  return FAHUO_GBK("连接邮箱服务器失败") + "\n" + MailFailureText(session.LastConnectError());
}

// Connects with the account and sends one mail; the text for the box.
std::string SendNow(mail::Session& session, const MailAccount& account, const std::string& subject,
                    const std::string& body, const std::string& recipient,
                    const std::string& success) {
  if (!session.Connect(account.server, kMailTestPort, account.user, account.password)) {
    return ConnectFailedText(session);
  }
  const std::string error = session.Send(subject, body, recipient, account.user);
  if (error.empty()) return success;
  return FAHUO_GBK("发送失败") + error + "\n" + MailFailureReason(error);
}

}  // namespace

MailFailure ClassifyMailFailure(std::string_view error) {
  const std::string text = AsciiLower(error);
  const int code = mail::ReplyCode(text);
  // 530 (login required), 534 and 535 (credentials refused): QQ and 163 refuse the login
  // password and want the mailbox's authorisation code.
  if (code == 530 || code == 534 || code == 535 ||
      HasAny(text, {"authentication", "login denied"})) {
    return MailFailure::kAuth;
  }
  if (HasAny(text, {"ssl", "tls", "certificate"})) return MailFailure::kTls;
  if (HasAny(text, {"rcpt", "recipient", "mailbox", "user unknown", "no such user"}) ||
      error.find(FAHUO_GBK("收件人")) != std::string_view::npos || code == 550 || code == 551 ||
      code == 553) {
    return MailFailure::kRecipient;
  }
  if (code == 421 || error == FAHUO_GBK("邮箱服务器地址无效") ||
      HasAny(text, {"connect", "resolve", "timed out", "timeout", "refused", "unreachable",
                    "returned nothing", "recv failure", "send failure"})) {
    return MailFailure::kNoConnection;
  }
  return MailFailure::kOther;
}

std::string MailFailureReason(std::string_view error) {
  switch (ClassifyMailFailure(error)) {
    case MailFailure::kAuth:
      return FAHUO_GBK("认证失败（QQ 邮箱请使用授权码）");
    case MailFailure::kTls:
      return FAHUO_GBK("安全连接失败");
    case MailFailure::kRecipient:
      return FAHUO_GBK("收件人被拒绝");
    case MailFailure::kNoConnection:
      return FAHUO_GBK("无法连接服务器");
    case MailFailure::kOther:
      break;
  }
  return FAHUO_GBK("邮件服务器报告错误");
}

std::string MailFailureText(std::string_view error) {
  std::string text = MailFailureReason(error);
  if (!error.empty()) text += FAHUO_GBK("：") + std::string(error);
  return text;
}

ConnectionCheck CheckMailConnection(mail::Session& session, const MailAccount& account) {
  if (!session.Connect(account.server, kMailTestPort, account.user, account.password)) {
    return {false, ConnectFailedText(session)};
  }
  return {true, FAHUO_GBK("连接邮箱服务器成功")};
}

std::string RunTestMail(mail::Session& session, const MailAccount& account,
                        const std::string& recipient) {
  return SendNow(session, account, FAHUO_GBK("自动发货测试邮件"),
                 FAHUO_GBK("测试成功，可以正常使用。"), recipient,
                 FAHUO_GBK("发送成功，请打开邮件查看测试邮件是否收到"));
}

std::string RunPreviewMail(mail::Session& session, const MailAccount& account,
                           const std::string& subject, const std::string& body) {
  return SendNow(session, account, subject, body, account.user,
                 FAHUO_GBK("预览邮件已发送到 ") + account.user + FAHUO_GBK("，请查收") + "\n" +
                     FAHUO_GBK("标题：") + subject);
}

}  // namespace fahuo
