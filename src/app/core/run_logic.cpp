#include "app/core/run_logic.h"

#include <climits>
#include <cstdio>

namespace fahuo {

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
