#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace fahuo {

int64_t SystemClock::TickMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

LocalDate SystemClock::Today() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

int64_t SystemClock::UnixSeconds() const { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace fahuo
