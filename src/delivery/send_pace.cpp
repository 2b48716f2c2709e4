#include "delivery/send_pace.h"

#include <algorithm>
#include <string>

#include "delivery/mail_refusal.h"
#include "delivery/reply_words.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr int64_t kMinPauseSeconds = 60;
constexpr int64_t kMaxPauseSeconds = 24 * 60 * 60;

// The first number followed (after blanks) by a unit of time, in seconds; 0 without one.
int64_t AskedSeconds(std::string_view error) {
  const std::string text = AsciiLower(error);
  const struct {
    std::string unit;
    int64_t seconds;
  } units[] = {{"hour", 3600},
               {"hr", 3600},
               {"min", 60},
               {"sec", 1},
               {Utf8ToGbk("小时"), 3600},
               {Utf8ToGbk("分钟"), 60},
               {Utf8ToGbk("秒"), 1}};
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9')) {
      continue;
    }
    size_t j = i;
    int64_t n = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && n < kMaxPauseSeconds) {
      n = n * 10 + (text[j++] - '0');
    }
    while (j < text.size() && text[j] == ' ') ++j;
    for (const auto& u : units) {
      if (text.compare(j, u.unit.size(), u.unit) == 0) return n * u.seconds;
    }
  }
  return 0;
}

}  // namespace

int64_t PauseSecondsFor(std::string_view error) {
  const MailRefusal refusal = ReadMailRefusal(error);
  if (refusal != MailRefusal::kTooMany && refusal != MailRefusal::kBlocked) return 0;
  // The reply code itself ("550 …") is no time: skip it.
  const int64_t asked = AskedSeconds(error.substr(std::min<size_t>(error.size(), 3)));
  if (asked == 0) return kDefaultPauseSeconds;
  return std::clamp(asked, kMinPauseSeconds, kMaxPauseSeconds);
}

int64_t SendPace::WaitMs(int64_t now_ms) const {
  const int per_minute = per_minute_.load();
  if (per_minute <= 0 || !last_sent_ms_) return 0;
  const int64_t gap = 60000 / per_minute;
  const int64_t due = *last_sent_ms_ + gap;
  return due > now_ms ? due - now_ms : 0;
}

}  // namespace fahuo
