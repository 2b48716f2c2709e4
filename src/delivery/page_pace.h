#pragma once
// Page loading at a person's pace: a burst of page requests at every start is what gets a
// payment account limited. One pace per shop, shared by the page loading after sign-in and
// the reader's catch-up walk, so that no two page requests come closer than the gap.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/clock.h"

namespace fahuo {

class PagePace {
 public:
  // `gap_ms` between page requests; 0 does not pace at all (tests).
  PagePace(const Clock& clock, int64_t gap_ms) : clock_(clock), gap_ms_(gap_ms) {}

  // How long the next page would wait now: nothing for the first, else what is left of the
  // gap since the previous page was let through.
  int64_t DelayMs() const;
  // Waits DelayMs() and lets one page through. A Stop() ends the wait at once: false then,
  // and the page must not be asked for.
  bool Wait();
  // For the end of the program: every wait, now and later, returns false at once.
  void Stop();

 private:
  int64_t DelayLocked() const;

  const Clock& clock_;
  const int64_t gap_ms_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  std::optional<int64_t> last_ms_;  // when the previous page was let through (TickMs)
};

}  // namespace fahuo
