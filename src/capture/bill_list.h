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
  // Puts `bills` at the front as they stand: the first of them becomes the first bill.
  void PushFrontAll(const std::vector<BillRecord>& bills);
  size_t Count() const;
  // Bill at 1-based `position`; an empty bill when out of range.
  BillRecord At(size_t position) const;
  // Whether any bill has this 流水号 (byte for byte). O(1).
  bool ContainsSerial(const std::string& serial) const;
  // A consistent copy for drawing.
  std::vector<BillRecord> Snapshot() const;

  // What a view that keeps its own copy lacks: the bills pushed at the front and appended
  // at the back since it last looked. Costs O(bills added), whatever the list's size.
  struct Added {
    size_t front_total = 0;  // hand these back next time
    size_t back_total = 0;
    std::vector<BillRecord> front;  // in list order (the newest first)
    std::vector<BillRecord> back;   // in list order
  };
  Added AddedSince(size_t front_seen, size_t back_seen) const;

 private:
  mutable std::mutex mutex_;
  std::deque<BillRecord> bills_;
  std::unordered_map<std::string, size_t> serials_;  // 流水号 -> how many bills carry it
  size_t front_total_ = 0;  // bills ever pushed at the front / appended at the back
  size_t back_total_ = 0;
};

}  // namespace fahuo
