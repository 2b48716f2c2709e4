#pragma once
// Small pieces the reader, the sender and the seller's actions share.
#include <atomic>
#include <string>
#include <utility>

namespace fahuo::delivery_internal {

// Log lines end in CR LF.
inline const std::string& Eol() {
  static const std::string eol = "\r\n";
  return eol;
}

// Clears the busy flag on every way out of a read or a delivery.
class BusyRelease {
 public:
  explicit BusyRelease(std::atomic<bool>& flag) : flag_(flag) {}
  ~BusyRelease() { flag_.store(false); }
  BusyRelease(const BusyRelease&) = delete;
  BusyRelease& operator=(const BusyRelease&) = delete;

 private:
  std::atomic<bool>& flag_;
};

// Runs `work` unless other work holds `busy`; false at once when it does. Nothing escapes:
// this runs on worker threads, and the ledger keeps every bill's state for the next run.
template <typename Work>
bool RunAlone(std::atomic<bool>& busy, Work&& work) {
  if (busy.exchange(true)) return false;
  BusyRelease release(busy);
  try {
    std::forward<Work>(work)();
  } catch (...) {
  }
  return true;
}

}  // namespace fahuo::delivery_internal
