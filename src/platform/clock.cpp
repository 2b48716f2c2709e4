#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace fahuo {
namespace {

class SystemClock : public Clock {
 public:
  int64_t TickMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  LocalDate Today() const override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  }
  int64_t UnixSeconds() const override { return static_cast<int64_t>(std::time(nullptr)); }
};

const SystemClock kSystemClock;
std::atomic<const Clock*> g_clock{nullptr};

}  // namespace

const Clock& CurrentClock() {
  const Clock* c = g_clock.load();
  return c ? *c : kSystemClock;
}

void SetClock(const Clock* clock) { g_clock.store(clock); }

}  // namespace fahuo
