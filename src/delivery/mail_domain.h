#pragma once
// Mistyped mail domains: "qq.con", "163.cpm", "gmial.com". A mail to a domain that cannot
// exist never reaches the buyer, so a typo of a common mail domain is mended when the mend is
// certain, and shown to the seller with a suggestion when it is not.
#include <string>
#include <string_view>
#include <vector>

namespace fahuo {

struct DomainCheck {
  enum class Verdict {
    kAsTyped,    // a common domain, or one that is near none: mail it as it stands
    kCorrected,  // a sure typo of one common domain: `address` is the mended address
    kSuspect,    // near a common domain but not surely meant for it (two equally near, a
                 // short name changed, a TLD that does not exist): `address` is the suggestion
  };
  Verdict verdict = Verdict::kAsTyped;
  std::string address;  // GBK; empty for kAsTyped
};

// Checks the domain of `address` (a GBK mailbox, as IsMailbox accepts) against the common
// mail domains. The local part is kept byte for byte; a mended domain is lower case.
DomainCheck CheckMailDomain(std::string_view address);

// The common mail domains, the most used first (an ambiguous typo suggests the first).
const std::vector<std::string_view>& CommonMailDomains();

// Optimal string alignment distance: insertions, deletions, substitutions and swaps of two
// neighbours each count one ("gmial" is one from "gmail").
size_t TypoDistance(std::string_view a, std::string_view b);

}  // namespace fahuo
