#pragma once
// All time goes through this clock so that timers, the keep-alive and the date-dependent
// records address can be tested without waiting.
#include <atomic>
#include <cstdint>
#include <mutex>

namespace fahuo {

struct LocalDate {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  bool operator==(const LocalDate&) const = default;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic milliseconds (arbitrary origin, never goes back).
  virtual int64_t TickMs() const = 0;
  // Today's local date.
  virtual LocalDate Today() const = 0;
  // Wall-clock seconds since 1970 (UTC), for what is stored: when a bill was seen, sent,
  // or is due again.
  virtual int64_t UnixSeconds() const = 0;
};

// The clock in use; the system clock unless a test installed another.
const Clock& CurrentClock();
// Installs `clock` (not owned; nullptr restores the system clock).
void SetClock(const Clock* clock);

// A clock that moves only when told to. Thread-safe.
class FakeClock : public Clock {
 public:
  int64_t TickMs() const override { return tick_.load(); }
  LocalDate Today() const override {
    std::lock_guard lock(mutex_);
    return today_;
  }
  // Starts at 2015-01-06 00:00 UTC and moves with the tick.
  int64_t UnixSeconds() const override { return 1420502400 + tick_.load() / 1000; }
  void SetTick(int64_t ms) { tick_.store(ms); }
  void Advance(int64_t ms) { tick_.fetch_add(ms); }
  void SetToday(LocalDate d) {
    std::lock_guard lock(mutex_);
    today_ = d;
  }

 private:
  std::atomic<int64_t> tick_{0};
  mutable std::mutex mutex_;
  LocalDate today_{2015, 1, 6};
};

}  // namespace fahuo
