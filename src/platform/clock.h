#pragma once
// All time goes through this clock so that timers, the keep-alive and the date-dependent
// records address can be tested without waiting.
#include <cstdint>

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

}  // namespace fahuo
