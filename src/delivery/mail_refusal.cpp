#include "delivery/mail_refusal.h"

#include <initializer_list>

#include "delivery/delivery_pass.h"
#include "delivery/mail_setup.h"
#include "delivery/reply_words.h"
#include "platform/gbk.h"
#include "platform/mail_client.h"

namespace fahuo {
namespace {

bool HasAnyGbk(std::string_view text, std::initializer_list<const char*> utf8_words) {
  for (const char* w : utf8_words) {
    if (text.find(Utf8ToGbk(w)) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

MailRefusal ReadMailRefusal(std::string_view error) {
  if (error.empty()) return MailRefusal::kNotTheAccount;
  const std::string text = AsciiLower(error);
  const int code = mail::ReplyCode(text);
  // QQ and 163 say "not enabled" with a 5xx of their own choosing (163: 550 "User has no
  // permission"); check it before the login codes, which QQ also uses for it.
  if (HasAny(text, {"no permission", "not enabled", "not open", "smtp service", "disabled"}) ||
      HasAnyGbk(error, {"未开启", "没有开启", "未开通"})) {
    return MailRefusal::kNotEnabled;
  }
  if (code == 530 || code == 534 || code == 535 ||
      HasAny(text, {"authentication failed", "login fail", "login denied", "authorization code"})) {
    return MailRefusal::kAuth;
  }
  // One buyer's full mailbox or a refused recipient says nothing of the sending account:
  // it must not pause the sending for everyone ("552 mailbox full, quota exceeded").
  if (!HasAny(text, {"sending", "send limit", "frequen"}) &&
      HasAny(text, {"mailbox full", "mailbox is full", "full mailbox", "over quota", "recipient",
                    "user unknown", "no such user"})) {
    return MailRefusal::kNotTheAccount;
  }
  // 163 answers a burst of similar mails with "554 DT:SPM"; QQ with "frequency limited".
  if (HasAny(text, {"dt:spm", "frequen", "too many", "too fast", "rate limit", "limit exceeded",
                    "exceeded", "quota", "daily", "mi:", "rp:", "hl:"}) ||
      HasAnyGbk(error, {"频繁", "过多", "超过", "上限", "限额", "限制"})) {
    return MailRefusal::kTooMany;
  }
  if (HasAny(text, {"spam", "content", "inappropriate", "dt:", "junk"}) ||
      HasAnyGbk(error, {"垃圾", "内容"})) {
    return MailRefusal::kContent;
  }
  if (HasAny(text, {"locked", "frozen", "suspended", "blocked", "banned"}) ||
      HasAnyGbk(error, {"锁定", "冻结", "封禁"})) {
    return MailRefusal::kBlocked;
  }
  if (code == 0 && ClassifyMailFailure(error) == MailFailure::kNoConnection) {
    return MailRefusal::kNoConnection;
  }
  if (code == 421) return MailRefusal::kNoConnection;
  return MailRefusal::kNotTheAccount;
}

SendOutcome ReadSendOutcome(std::string error, bool handed_over) {
  using Kind = SendOutcome::Kind;
  SendOutcome out;
  if (error.empty()) return out;
  out.refusal = ReadMailRefusal(error);
  if (error == mail::AbortedText()) {
    out.kind = Kind::kAborted;
  } else if (handed_over) {
    // The whole mail went out: whatever the words, the buyer may have it.
    out.kind = Kind::kNoFinalReply;
  } else if (out.refusal == MailRefusal::kAuth || out.refusal == MailRefusal::kNotEnabled ||
             out.refusal == MailRefusal::kTooMany || out.refusal == MailRefusal::kBlocked) {
    out.kind = Kind::kAccountRefused;
  } else {
    out.kind = SendErrorIsTemporary(error) ? Kind::kRefusedForNow : Kind::kRecipientRefused;
  }
  if (out.kind != Kind::kAccountRefused) out.refusal = MailRefusal::kNotTheAccount;
  out.error = std::move(error);
  return out;
}

std::string MailRefusalText(MailRefusal refusal) {
  switch (refusal) {
    case MailRefusal::kNotTheAccount:
      return {};
    case MailRefusal::kAuth:
      return FAHUO_GBK(
          "邮箱拒绝登录：授权码错误或已更换。请在邮箱网页的设置中重新生成授权码，"
          "填入发货程序的邮箱密码");
    case MailRefusal::kNotEnabled:
      return FAHUO_GBK("邮箱未开启 SMTP 发信服务：请在邮箱网页的设置中开启 POP3/SMTP 服务");
    case MailRefusal::kTooMany:
      return FAHUO_GBK("邮箱限制发信：发送太多或太快，超出了邮箱的发信限额");
    case MailRefusal::kContent:
      return FAHUO_GBK("邮件内容被拒收：邮箱把发货邮件当作垃圾邮件，请修改发货内容");
    case MailRefusal::kBlocked:
      return FAHUO_GBK("发信账号被邮箱锁定或冻结，请登录邮箱网页查看");
    case MailRefusal::kNoConnection:
      return FAHUO_GBK("无法连接发信邮箱服务器");
  }
  return {};
}

}  // namespace fahuo
