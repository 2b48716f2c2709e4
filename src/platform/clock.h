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

// The machine's clock. Holds no state: any number of them may exist; main() builds the one
// the program hands to whoever tells time, tests hand in a fake one instead.
class SystemClock final : public Clock {
 public:
  int64_t TickMs() const override;
  LocalDate Today() const override;
  int64_t UnixSeconds() const override;
};

}  // namespace fahuo
