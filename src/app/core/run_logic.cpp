#include "app/core/run_logic.h"

#include <climits>
#include <cstdio>

namespace fahuo {

std::optional<int> ParsePace(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (text.size() > 4 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  const int n = std::stoi(std::string(text));
  if (n > 1000) return std::nullopt;
  return n;
}

int ParseInterval(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    if (value < INT_MAX) value = value * 10 + (text[i] - '0');
  }
  if (!any) return 0;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(negative ? -value : value);
}

std::string ElapsedCaption(int32_t seconds) {
  if (seconds < 0) seconds = 0;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "已经运行:%02d:%02d:%02d", seconds / 3600,
                (seconds % 3600) / 60, seconds % 60);
  return buffer;
}

}  // namespace fahuo
