#pragma once
// The arithmetic of run control, apart from the timers that drive it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fahuo {

constexpr int kMinIntervalMs = 1000;
constexpr int kMaxIntervalMs = 60000;
constexpr int kKeepAlivePeriodMs = 10000;
constexpr int64_t kKeepAliveGapMs = 60000;

// The interval field's text as whole milliseconds: its leading number (after blanks and an
// optional sign), 0 when it has none; digits beyond the int range saturate.
int ParseInterval(const std::string& text);

// A sending pace as typed or stored: a whole number of mails per minute, 0 to 1000, blanks
// around it allowed; none for anything else (empty included), so the caller falls back to
// the provider's preset rather than to no pace at all.
std::optional<int> ParsePace(std::string_view text);

// "已经运行:HH:MM:SS" (UTF-8) for `seconds` of monitoring; hours may exceed two digits.
std::string ElapsedCaption(int32_t seconds);

// Whether a keep-alive request is due: strictly more than 60000 ms since the last one.
inline bool KeepAliveDue(int64_t now_ms, int64_t last_ms) {
  return now_ms - last_ms > kKeepAliveGapMs;
}

}  // namespace fahuo
