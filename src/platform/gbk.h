#pragma once
// GBK is the text of the payment service's pages and of every stored value. We decode and
// encode it as GB18030, its superset, so that no character is lost on the way through Qt.
#include <string>
#include <string_view>

namespace fahuo {

// UTF-8 -> GB18030 bytes. Invalid UTF-8 sequences become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// GB18030 bytes -> UTF-8. Bytes that do not form a character become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace fahuo

// A fixed text of the program as GBK bytes, converted once per call site.
// Usage: FAHUO_GBK("发现新账单") yields a const std::string&.
#define FAHUO_GBK(utf8_literal)                                            \
  ([]() -> const std::string& {                                            \
    static const std::string converted = ::fahuo::Utf8ToGbk(utf8_literal); \
    return converted;                                                      \
  }())
