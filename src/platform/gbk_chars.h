#pragma once
// Walking GBK text character by character. A byte search is not enough: the second byte
// of a two-byte character may be '@' (0x40), and a GB18030 four-byte character carries
// ASCII digit bytes.
#include <cstddef>
#include <string_view>

namespace fahuo {

// Length in bytes of the character that starts at `text[i]` (1, 2 or 4; cut short at the
// end of the text).
inline size_t GbkCharLength(std::string_view text, size_t i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x81 || lead == 0xFF || i + 1 >= text.size()) return 1;
  unsigned char second = static_cast<unsigned char>(text[i + 1]);
  size_t length = (second >= '0' && second <= '9') ? 4 : 2;
  return length <= text.size() - i ? length : text.size() - i;
}

// Whether `text` holds the single-byte character `c`.
inline bool GbkContains(std::string_view text, char c) {
  for (size_t i = 0; i < text.size(); i += GbkCharLength(text, i)) {
    if (text[i] == c) return true;
  }
  return false;
}

}  // namespace fahuo
