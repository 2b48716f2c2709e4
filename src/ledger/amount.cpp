#include "ledger/amount.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/gbk_chars.h"

namespace fahuo {
namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The sign and the digits (with at most one '.') a person reads in `text`; false when it
// shows no amount.
bool ScanAmount(std::string_view text, bool& negative, std::string& number) {
  negative = false;
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
  if (i == text.size()) return false;

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
    if (IsAsciiLetter(next) || more_digits) return false;
  }
  return true;
}

}  // namespace

float AmountValue(std::string_view text) { return ReadAmount(text).value_or(0.0f); }

std::optional<int64_t> ReadAmountFen(std::string_view text) {
  bool negative = false;
  std::string number;
  if (!ScanAmount(text, negative, number)) return std::nullopt;
  const size_t point = number.find('.');
  const std::string whole = number.substr(0, point);
  std::string part = point == std::string::npos ? std::string() : number.substr(point + 1);
  part.resize(3, '0');
  // Beyond a trillion yuan the text is no amount of a shop's: refused, not wrapped round.
  const size_t first = whole.find_first_not_of('0');
  if (first != std::string::npos && whole.size() - first > 12) return std::nullopt;
  int64_t fen = 0;
  for (char c : whole) fen = fen * 10 + (c - '0');
  fen = fen * 100 + (part[0] - '0') * 10 + (part[1] - '0') + (part[2] >= '5' ? 1 : 0);
  return negative ? -fen : fen;
}

std::optional<float> ReadAmount(std::string_view text) {
  bool negative = false;
  std::string number;
  if (!ScanAmount(text, negative, number)) return std::nullopt;
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
