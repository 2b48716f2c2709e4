#pragma once
// How fast the sender mails over one account, and the pause after the provider refused the
// account for sending too much: bursts go out at the pace, in the order found, and a
// refusal for the limit leaves the waiting bills waiting instead of failing them one by one.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

namespace fahuo {

// The pause when the provider does not say how long (30 minutes).
inline constexpr int64_t kDefaultPauseSeconds = 30 * 60;

// Seconds a refusal asks the account to stop sending: the time it names ("try again in 45
// minutes", "1 hour", "请 60 分钟后再试"), else kDefaultPauseSeconds, for a refusal that says
// the account is over its limit or blocked; 0 for any other error.
int64_t PauseSecondsFor(std::string_view error);

// The sender's pace. The rate may be set from any thread; the rest is the sender's.
class SendPace {
 public:
  // Mails per minute over the account; 0: no pace.
  void SetPerMinute(int per_minute) { per_minute_.store(per_minute < 0 ? 0 : per_minute); }
  int PerMinute() const { return per_minute_.load(); }

  // Milliseconds to wait at `now_ms` (the clock's ticks) before the next mail.
  int64_t WaitMs(int64_t now_ms) const;
  void Sent(int64_t now_ms) { last_sent_ms_ = now_ms; }

  void PauseUntil(int64_t unix_seconds) { paused_until_ = unix_seconds; }
  bool PausedAt(int64_t now_unix) const { return paused_until_ && now_unix < *paused_until_; }
  void EndPause() { paused_until_.reset(); }

 private:
  std::atomic<int> per_minute_{0};
  std::optional<int64_t> last_sent_ms_;
  std::optional<int64_t> paused_until_;
};

}  // namespace fahuo
