#include "delivery/shop.h"

#include "capture/records_address.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

// Ends the page loading early when the program is quitting.
class StopAwareSink : public RecordPagesSink {
 public:
  StopAwareSink(RecordPagesSink& inner, const Shop& shop) : inner_(inner), shop_(shop) {}
  void Progress(int pages_read, size_t bills_found) override {
    inner_.Progress(pages_read, bills_found);
  }
  void Finished() override { inner_.Finished(); }
  bool Stopping() override { return shop_.Stopping() || inner_.Stopping(); }

 private:
  RecordPagesSink& inner_;
  const Shop& shop_;
};

}  // namespace

Shop::Shop(const Clock* clock) : clock_(clock) {}

const Clock& Shop::clock() const { return clock_ ? *clock_ : CurrentClock(); }

Shop::OpenReport Shop::Open(const std::string& ledger_path) {
  OpenReport report;
  Ledger::OpenResult opened = ledger_.Open(ledger_path, clock().UnixSeconds());
  report.ok = opened.ok;
  report.error = opened.error;
  report.moved_aside_to = opened.moved_aside_to;
  if (!opened.ok) return report;
  ledger_was_empty_ = ledger_.Empty();
  report.interrupted = ledger_.SettleInterruptedSends();
  return report;
}

bool Shop::BeginBaseline() { return !baseline_started_.exchange(true); }

std::string Shop::RecordsAddress() const {
  std::lock_guard lock(mutex_);
  return records_address_;
}

std::string Shop::CurrentRecordsAddress() const {
  if (!baseline_loaded_.load() || RecordsAddress().empty()) return {};
  return Page1Address(clock().Today());
}

bool Shop::Known(const std::string& serial) {
  // This run's bills first: they are known even when the ledger could not record them.
  return all_bills_.ContainsSerial(serial) || ledger_.Contains(serial);
}

size_t Shop::KeepBaseline(const std::vector<BillRecord>& bills, DeliveryWindow* window) {
  const int64_t now = clock().UnixSeconds();
  std::vector<LedgerEntry> fresh;
  std::unordered_set<std::string> seen;
  // The records pages list the newest payment first: every unknown bill above the newest
  // bill the ledger knows was paid after the previous run last read page 1.
  bool above_known = !ledger_was_empty_;
  for (const BillRecord& bill : bills) {
    if (ledger_.Contains(bill.流水号)) {
      above_known = false;
      continue;
    }
    if (!seen.insert(bill.流水号).second) continue;
    LedgerEntry e;
    e.bill = bill;
    e.first_seen = now;
    e.origin = above_known ? BillOrigin::kRestart : BillOrigin::kBaseline;
    e.state = above_known ? BillState::kHeld : BillState::kBaseline;
    fresh.push_back(std::move(e));
  }
  all_bills_.AppendAll(bills);
  if (!ledger_.Insert(fresh)) {
    // The bills stay known for this run (AllBills), so none of them is mailed; they are
    // taken again, as unknown, at the next start.
    if (window) LedgerWriteFailed(*window);
    return 0;
  }
  size_t held = 0;
  for (const LedgerEntry& e : fresh) held += e.state == BillState::kHeld;
  return held;
}

void Shop::LoadBaseline(RecordPagesSink& sink, const PageFetcher& fetch) {
  std::string address = Page1Address(clock().Today());
  {
    std::lock_guard lock(mutex_);
    records_address_ = address;
  }
  StopAwareSink stop_aware(sink, *this);
  RecordPagesResult read = LoadRecordPages(address, fetch, stop_aware);
  if (read.page1_read) {
    last_records_read_.store(clock().UnixSeconds());
    KeepBaseline(read.bills, nullptr);
  } else {
    baseline_missing_.store(true);
  }
  baseline_loaded_.store(true);
  sink.Finished();
}

size_t Shop::HeldCount() {
  LedgerFilter held;
  held.states = {BillState::kHeld};
  return ledger_.Count(held);
}

size_t Shop::ResolveHeld(bool deliver) {
  // From the ledger, not from this run's memory: payments held by a run that ended before
  // the seller answered are asked about again.
  size_t settled = 0;
  for (LedgerEntry& e : ledger_.WithStates({BillState::kHeld})) {
    e.state = deliver ? BillState::kPending : BillState::kHandled;
    if (ledger_.Update(e)) {
      ++settled;
      if (deliver) new_bills_.Append(e.bill);
    }
  }
  return settled;
}

}  // namespace fahuo
