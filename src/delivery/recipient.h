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
    kMailAddress,  // 名称 holds an at-sign: used whole, unchanged
    kQqNumber,     // exactly one run of 4 to 11 digits, addressed at kQqMailDomain
    kSkipNoNote,   // the bill has no 备注: no mail
    kSkipNotQq,    // neither an address nor a single QQ number: no mail
  };
  Kind kind = Kind::kSkipNotQq;
  std::string address;  // GBK; empty for the skip kinds
};

// The recipient of a bill from its 名称 and 备注 (GBK). An empty 备注 skips the bill whatever
// 名称 holds.
Recipient RecipientFor(std::string_view name, std::string_view note);

}  // namespace fahuo
