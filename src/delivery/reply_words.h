#pragma once
// Reading a mail server's reply for the words that tell why it refused (shared by the
// seller's failure texts and the alerts).
#include <initializer_list>
#include <string>
#include <string_view>

namespace fahuo {

// ASCII letters lowered; other bytes (GBK, UTF-8) as they are.
inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

inline bool HasAny(std::string_view text, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words) {
    if (text.find(w) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace fahuo
