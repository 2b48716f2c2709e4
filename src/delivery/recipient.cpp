#include "delivery/recipient.h"

#include "delivery/gbk_chars.h"
#include "platform/regex.h"

namespace fahuo {
namespace {

// GB18030 four-byte characters carry ASCII digit bytes (an emoji, "¥"): blank them out so
// that they never join a run of real digits.
std::string BlankFourByteCharacters(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size();) {
    size_t length = GbkCharLength(out, i);
    if (length == 4) out.replace(i, 4, 4, ' ');
    i += length;
  }
  return out;
}

}  // namespace

Recipient RecipientFor(std::string_view name, std::string_view note) {
  if (note.empty()) return {Recipient::Kind::kSkipNoNote, {}};
  if (GbkContains(name, '@')) {
    return {Recipient::Kind::kMailAddress, std::string(name)};
  }
  std::string digits_only = BlankFourByteCharacters(name);
  std::vector<std::string_view> matches = DigitPattern().FindAll(digits_only, 2);
  if (matches.size() != 1) return {Recipient::Kind::kSkipNotQq, {}};
  std::string address(matches.front());
  address += '@';
  address += kQqMailDomain;
  return {Recipient::Kind::kQqNumber, std::move(address)};
}

}  // namespace fahuo
