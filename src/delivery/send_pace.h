#pragma once
// How fast the sender mails over one account, and the pause after the provider refused the
// account for sending too much: bursts go out at the pace, in the order found, and a
// refusal for the limit leaves the waiting bills waiting instead of failing them one by one.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace fahuo {

// The pause when the provider does not say how long (30 minutes).
inline constexpr int64_t kDefaultPauseSeconds = 30 * 60;

// Seconds a refusal asks the account to stop sending: the time it names ("try again in 45
// minutes", "1 hour", "请 60 分钟后再试"), else kDefaultPauseSeconds, for a refusal that says
// the account is over its limit or blocked; 0 for any other error.
int64_t PauseSecondsFor(std::string_view error);

// Which account a pause belongs to: its server and address, blanks and letter case aside.
std::string PauseAccount(std::string_view server, std::string_view user);

// The sender's pace. The rate and the pause may be used from any thread (the window shows
// the pause and the seller ends it); the rest is the sender's.
class SendPace {
 public:
  // Mails per minute over the account; 0: no pace.
  void SetPerMinute(int per_minute) { per_minute_.store(per_minute < 0 ? 0 : per_minute); }
  int PerMinute() const { return per_minute_.load(); }

  // Milliseconds to wait at `now_ms` (the clock's ticks) before the next mail.
  int64_t WaitMs(int64_t now_ms) const;
  void Sent(int64_t now_ms) { last_sent_ms_ = now_ms; }

  // The provider asked `account` (PauseAccount) to stop sending till `unix_seconds`.
  void PauseUntil(int64_t unix_seconds, std::string account);
  bool PausedAt(int64_t now_unix) const { return PauseEnd(now_unix).has_value(); }
  // When the pause under way at `now_unix` ends; none without one.
  std::optional<int64_t> PauseEnd(int64_t now_unix) const;
  void EndPause();
  // Mails go over `account` from now on: a pause asked of another account ends, since the
  // provider's refusal was about that one. True when a pause under way ended.
  bool ForAccount(const std::string& account, int64_t now_unix);

 private:
  std::atomic<int> per_minute_{0};
  std::optional<int64_t> last_sent_ms_;
  mutable std::mutex pause_mutex_;
  std::optional<int64_t> paused_until_;
  std::string paused_account_;
};

}  // namespace fahuo
