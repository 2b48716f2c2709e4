#include "capture/bill_list.h"

namespace fahuo {

void BillList::Append(const BillRecord& bill) {
  std::lock_guard lock(mutex_);
  bills_.push_back(bill);
  ++serials_[bill.流水号];
}

void BillList::AppendAll(const std::vector<BillRecord>& bills) {
  std::lock_guard lock(mutex_);
  for (const BillRecord& bill : bills) {
    bills_.push_back(bill);
    ++serials_[bill.流水号];
  }
}

void BillList::PushFront(const BillRecord& bill) {
  std::lock_guard lock(mutex_);
  bills_.push_front(bill);
  ++serials_[bill.流水号];
}

size_t BillList::Count() const {
  std::lock_guard lock(mutex_);
  return bills_.size();
}

BillRecord BillList::At(size_t position) const {
  std::lock_guard lock(mutex_);
  if (position == 0 || position > bills_.size()) return {};
  return bills_[position - 1];
}

bool BillList::ContainsSerial(const std::string& serial) const {
  std::lock_guard lock(mutex_);
  return serials_.count(serial) != 0;
}

std::vector<BillRecord> BillList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return {bills_.begin(), bills_.end()};
}

}  // namespace fahuo
