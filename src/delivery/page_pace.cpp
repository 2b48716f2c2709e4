#include "delivery/page_pace.h"

#include <algorithm>
#include <chrono>

namespace fahuo {

int64_t PagePace::DelayLocked() const {
  if (!last_ms_ || gap_ms_ <= 0) return 0;
  return std::clamp<int64_t>(*last_ms_ + gap_ms_ - clock_.TickMs(), 0, gap_ms_);
}

int64_t PagePace::DelayMs() const {
  std::lock_guard lock(mutex_);
  return DelayLocked();
}

bool PagePace::Wait() {
  std::unique_lock lock(mutex_);
  const int64_t delay = DelayLocked();
  // One wait of the delay worked out from the shop's clock: a clock that does not move (a
  // test's) costs one gap, never a loop.
  if (delay > 0) {
    wake_.wait_for(lock, std::chrono::milliseconds(delay), [this] { return stopped_; });
  }
  if (stopped_) return false;
  last_ms_ = clock_.TickMs();
  return true;
}

void PagePace::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

}  // namespace fahuo
