#pragma once
// The in-memory bill lists of a run. Several threads use them at once (page loading,
// delivery passes, the list view), so every operation is one atomic step.
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/bill_record.h"

namespace fahuo {

class BillList {
 public:
  void Append(const BillRecord& bill);
  void AppendAll(const std::vector<BillRecord>& bills);
  void PushFront(const BillRecord& bill);
  size_t Count() const;
  // Bill at 1-based `position`; an empty bill when out of range.
  BillRecord At(size_t position) const;
  // Whether any bill has this 流水号 (byte for byte). O(1).
  bool ContainsSerial(const std::string& serial) const;
  // A consistent copy for drawing.
  std::vector<BillRecord> Snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::deque<BillRecord> bills_;
  std::unordered_map<std::string, size_t> serials_;  // 流水号 -> how many bills carry it
};

}  // namespace fahuo
