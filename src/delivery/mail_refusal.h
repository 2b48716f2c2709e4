#pragma once
// What a mail server's refusal says about the sending account (a wrong authorisation code,
// a sending limit, a lock) as opposed to one mail or one recipient. Read by the sender's
// pause and failover and by the alerts.
#include <string>
#include <string_view>

namespace fahuo {

// What a mailbox's refusal says about the sending account, read from the mail client's
// error text (the server's reply where there was one).
enum class MailRefusal {
  kNotTheAccount,  // accepted, or refused for one mail or recipient only
  kAuth,           // the login was refused (535 …): a wrong or changed authorisation code
  kNotEnabled,     // the account's SMTP service is switched off
  kTooMany,        // too many mails or too fast: the provider's sending limit
  kContent,        // the mail was taken for spam
  kBlocked,        // the account is locked or frozen
  kNoConnection,   // no answer at all
};
MailRefusal ReadMailRefusal(std::string_view error);
// The seller's words for a refusal (GBK), empty for kNotTheAccount.
std::string MailRefusalText(MailRefusal refusal);

}  // namespace fahuo
