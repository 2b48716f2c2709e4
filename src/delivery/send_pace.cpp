#include "delivery/send_pace.h"

#include <algorithm>
#include <string>
#include <utility>

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

std::string PauseAccount(std::string_view server, std::string_view user) {
  auto bare = [](std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string();
    return AsciiLower(text.substr(first, text.find_last_not_of(" \t") - first + 1));
  };
  return bare(server) + '\n' + bare(user);
}

void SendPace::PauseUntil(int64_t unix_seconds, std::string account) {
  std::lock_guard lock(pause_mutex_);
  paused_until_ = unix_seconds;
  paused_account_ = std::move(account);
}

std::optional<int64_t> SendPace::PauseEnd(int64_t now_unix) const {
  std::lock_guard lock(pause_mutex_);
  if (paused_until_ && now_unix < *paused_until_) return paused_until_;
  return std::nullopt;
}

void SendPace::EndPause() {
  std::lock_guard lock(pause_mutex_);
  paused_until_.reset();
}

bool SendPace::ForAccount(const std::string& account, int64_t now_unix) {
  std::lock_guard lock(pause_mutex_);
  if (!paused_until_ || account == paused_account_) return false;
  const bool under_way = now_unix < *paused_until_;
  paused_until_.reset();
  return under_way;
}

int64_t SendPace::WaitMs(int64_t now_ms) const {
  const int per_minute = per_minute_.load();
  if (per_minute <= 0 || !last_sent_ms_) return 0;
  const int64_t gap = 60000 / per_minute;
  const int64_t due = *last_sent_ms_ + gap;
  return due > now_ms ? due - now_ms : 0;
}

}  // namespace fahuo
