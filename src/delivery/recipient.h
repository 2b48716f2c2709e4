#pragma once
// Where a bill's goods are mailed: the buyer types an address or a QQ number as the bill's
// 名称 when paying.
#include <string>
#include <string_view>

namespace fahuo {

// The public mail domain of QQ numbers.
inline constexpr std::string_view kQqMailDomain = "qq.com";

struct Recipient {
  enum class Kind {
    kMailAddress,         // 名称 holds exactly one valid mail address: that address
    kQqNumber,            // exactly one run of 4 to 11 digits, addressed at kQqMailDomain
    kSkipNoNote,          // the bill has no 备注: no mail
    kSkipNotQq,           // neither an at-sign nor a single QQ number: no mail
    kSkipInvalidAddress,  // an at-sign, but not exactly one valid address: no mail
  };
  Kind kind = Kind::kSkipNotQq;
  std::string address;  // GBK; empty for the skip kinds
};

// The recipient of a bill from its 名称 and 备注 (GBK). An empty 备注 skips the bill whatever
// 名称 holds.
//
// A 名称 with an at-sign names a mail address. Only one well-formed mailbox is ever used:
// its words (split at blanks) are searched for the one that holds an at-sign; that word, or
// the address glued into it between other text ("邮箱abc@163.com谢谢", "<abc@163.com>"), must
// be a mailbox (an ASCII dot-atom local part, a domain of at least two labels, which may be
// Chinese). Two words with at-signs, two at-signs in one word, or a malformed address skip
// the bill: a mail to a guessed address could reach a stranger.
//
// Without an at-sign, digit runs are taken whole: one run of 4 to 11 digits is a QQ number;
// longer runs (phone numbers with a prefix, order numbers) are no QQ number.
Recipient RecipientFor(std::string_view name, std::string_view note);

// Whether `address` (GBK) is one mailbox as described above, with nothing around it.
bool IsMailbox(std::string_view address);

// The log line (GBK, without line end) for a bill skipped as kSkipInvalidAddress.
const std::string& InvalidAddressSkipText();

}  // namespace fahuo
