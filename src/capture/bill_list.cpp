#include "capture/bill_list.h"

namespace fahuo {

void BillList::Append(const BillRecord& bill) {
  std::lock_guard lock(mutex_);
  bills_.push_back(bill);
  ++serials_[bill.流水号];
  ++back_total_;
}

void BillList::AppendAll(const std::vector<BillRecord>& bills) {
  std::lock_guard lock(mutex_);
  for (const BillRecord& bill : bills) {
    bills_.push_back(bill);
    ++serials_[bill.流水号];
  }
  back_total_ += bills.size();
}

void BillList::PushFront(const BillRecord& bill) {
  std::lock_guard lock(mutex_);
  bills_.push_front(bill);
  ++serials_[bill.流水号];
  ++front_total_;
}

void BillList::PushFrontAll(const std::vector<BillRecord>& bills) {
  std::lock_guard lock(mutex_);
  bills_.insert(bills_.begin(), bills.begin(), bills.end());
  for (const BillRecord& bill : bills) ++serials_[bill.流水号];
  front_total_ += bills.size();
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

BillList::Added BillList::AddedSince(size_t front_seen, size_t back_seen) const {
  std::lock_guard lock(mutex_);
  Added added;
  added.front_total = front_total_;
  added.back_total = back_total_;
  const size_t front = front_total_ > front_seen ? front_total_ - front_seen : 0;
  const size_t back = back_total_ > back_seen ? back_total_ - back_seen : 0;
  added.front.assign(bills_.begin(), bills_.begin() + static_cast<std::ptrdiff_t>(front));
  added.back.assign(bills_.end() - static_cast<std::ptrdiff_t>(back), bills_.end());
  return added;
}

}  // namespace fahuo
