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

// What became of one mail handed to the server, read once where the answer comes back;
// the sender, its pause and failover, and the delivery record act on this.
struct SendOutcome {
  enum class Kind {
    kAccepted,          // the server took it
    kRecipientRefused,  // refused for good for this mail or recipient (5xx)
    kRefusedForNow,     // 4xx, a dropped connection before the mail went out, a time-out
    kAccountRefused,    // the account was refused (`refusal`): no fault of this bill
    kNoFinalReply,      // the whole mail went out and no reply came: it may have arrived
    kAborted,           // the program is quitting: the exchange was cut
  };
  Kind kind = Kind::kAccepted;
  MailRefusal refusal = MailRefusal::kNotTheAccount;  // with kAccountRefused
  std::string error;                                  // the mail client's text, GBK
};
// `error` as Session::Send gave it (empty: accepted); `handed_over` as
// Session::LastSendHandedOver said.
SendOutcome ReadSendOutcome(std::string error, bool handed_over);
// The seller's words for a refusal (GBK), empty for kNotTheAccount.
std::string MailRefusalText(MailRefusal refusal);

}  // namespace fahuo
