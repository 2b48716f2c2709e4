#include "delivery/amount.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "delivery/gbk_chars.h"

namespace fahuo {
namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

float AmountValue(std::string_view text) { return ReadAmount(text).value_or(0.0f); }

std::optional<float> ReadAmount(std::string_view text) {
  bool negative = false;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool starts_number = IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]));
    if (starts_number) break;
    if (c == '-') {
      negative = true;
    } else if (c == '+') {
      negative = false;
    } else if (c != ' ' && c != '\t' && c < 0x80) {
      negative = false;  // blanks and currency signs keep a sign seen before them
    }
    i += GbkCharLength(text, i);
  }
  if (i == text.size()) return std::nullopt;

  std::string number;
  bool seen_point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      number.push_back(c);
    } else if (c == ',' && !seen_point && !number.empty() && i + 1 < text.size() &&
               IsDigit(text[i + 1])) {
      continue;  // thousands separator
    } else if (c == '.' && !seen_point) {
      seen_point = true;
      number.push_back(c);
    } else {
      break;
    }
  }
  if (i < text.size()) {
    const unsigned char next = static_cast<unsigned char>(text[i]);
    const bool more_digits = (next == '.' || next == ',') && i + 1 < text.size() &&
                             IsDigit(static_cast<unsigned char>(text[i + 1]));
    if (IsAsciiLetter(next) || more_digits) return std::nullopt;
  }
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: which one the integer part tells.
    bool large = number.find_first_of("123456789") < number.find('.');
    value = large ? HUGE_VAL : 0;
  }
  // Narrowing a double beyond the float range is undefined: such an amount is infinite.
  if (value > std::numeric_limits<float>::max()) value = HUGE_VAL;
  return static_cast<float>(negative ? -value : value);
}

}  // namespace fahuo
