#pragma once
// A clock for tests: it moves only when told to.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace fahuo {

// Thread-safe.
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
