#pragma once
// Small pieces the Shop's own source files share (the pass, the seller's actions).
#include <atomic>
#include <string>

namespace fahuo::shop_internal {

// Log lines end in CR LF.
inline const std::string& Eol() {
  static const std::string eol = "\r\n";
  return eol;
}

// Clears the busy flag on every way out of a pass or a delivery.
class BusyRelease {
 public:
  explicit BusyRelease(std::atomic<bool>& flag) : flag_(flag) {}
  ~BusyRelease() { flag_.store(false); }
  BusyRelease(const BusyRelease&) = delete;
  BusyRelease& operator=(const BusyRelease&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace fahuo::shop_internal
