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
    // One valid address whose domain looks mistyped, with no sure mend (CheckMailDomain):
    // no mail until the seller decides; `suggestion` is the likely meant address.
    kSkipSuspectAddress,
  };
  Kind kind = Kind::kSkipNotQq;
  std::string address;  // GBK; empty for the skip kinds
  // The address as the buyer typed it (after the clean-up below), when `address` is a
  // mended one (kMailAddress) or when it is held (kSkipSuspectAddress); else empty.
  std::string typed;
  std::string suggestion;  // kSkipSuspectAddress only
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
// Before that, what input methods make of an address is undone: full-width letters, digits,
// "＠", "－", "＿" become ASCII; "。" or "．" between letters or digits is a dot; blanks
// beside the at-sign go; and in the domain a blank or comma before a TLD ("qq. com",
// "qq,com") is a dot. Punctuation glued to the end ("。", "，", ";") is no part of the
// address. Then the domain is checked for typos of common mail domains (mail_domain.h): a
// sure mend is used (`typed` keeps the address as typed), a doubtful one holds the bill.
//
// Without an at-sign, digit runs are taken whole: one run of 4 to 11 digits is a QQ number;
// longer runs (phone numbers with a prefix, order numbers) are no QQ number.
Recipient RecipientFor(std::string_view name, std::string_view note);

// Whether `address` (GBK) is one mailbox as described above, with nothing around it.
bool IsMailbox(std::string_view address);

// The log line (GBK, without line end) for a bill skipped as kSkipInvalidAddress.
const std::string& InvalidAddressSkipText();

}  // namespace fahuo
