#include "rules/rule_entry.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/gbk.h"

namespace fahuo {

float AmountFromText(std::string_view text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return 0;
  text.remove_prefix(start);
  // from_chars takes no '+' sign; the seller may still type one.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (end == text.data()) return 0;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves `value` untouched here; tell tiny numbers from huge ones by exponent.
    size_t e = text.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    if (tiny) return 0;
    value =
        text[0] == '-' ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
  }
  if (std::isnan(value)) return 0;
  // Narrowing a double beyond the float range is undefined behaviour.
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::max();
  if (value < -kMax) return -std::numeric_limits<float>::max();
  return static_cast<float>(value);
}

bool IsAmountText(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  text = text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (end != text.data() + text.size()) return false;
  // Out of range still is a number (held at the float's limits); NaN and infinity are not.
  return ec == std::errc::result_out_of_range || std::isfinite(value);
}

const std::string& AmountNotANumberMessage() { return FAHUO_GBK("金额请填写数字"); }

std::string AmountToText(float amount) {
  if (amount == 0) return "0";  // no "-0"
  char buffer[64];              // the largest float has 39 digits
  // Fixed notation: the shortest plain decimal that reads back as the same float, never an
  // exponent (the delivery log shows amounts this way too).
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, amount, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

std::string RuleEntryProblem(float minimum, float maximum, std::string_view subject,
                             std::string_view body) {
  if (maximum < minimum) return FAHUO_GBK("金额设置错误");
  if (subject.empty()) return FAHUO_GBK("邮件标题不可以为空");
  if (body.empty()) return FAHUO_GBK("邮件内容不可为空");
  return {};
}

}  // namespace fahuo
