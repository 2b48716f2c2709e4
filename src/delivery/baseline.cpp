#include "delivery/baseline.h"

#include <unordered_set>

#include "delivery/run_alone.h"
#include "ledger/payment_status.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

// Ends the page loading early when the program is quitting.
class StopAwareSink : public RecordPagesSink {
 public:
  StopAwareSink(RecordPagesSink& inner, const std::atomic<bool>& stopping)
      : inner_(inner), stopping_(stopping) {}
  void Progress(int pages_read, size_t bills_found) override {
    inner_.Progress(pages_read, bills_found);
  }
  void Finished() override { inner_.Finished(); }
  bool Stopping() override { return stopping_.load() || inner_.Stopping(); }

 private:
  RecordPagesSink& inner_;
  const std::atomic<bool>& stopping_;
};

}  // namespace

void LedgerFailureNote::Report(const DeliveryOutlet& out, Ledger& ledger) {
  if (logged_) return;
  logged_ = true;
  out.view.AppendLog(FAHUO_GBK("发货记录无法写入，暂不发送邮件：") + Utf8ToGbk(ledger.LastError()) +
                     delivery_internal::Eol());
}

std::string Baseline::CurrentRecordsAddress() const {
  if (!loaded_.load()) return {};
  return Page1Address(site_, orders_.clock.Today());
}

std::optional<size_t> Baseline::Keep(const std::vector<BillRecord>& bills) {
  const int64_t now = orders_.clock.UnixSeconds();
  // A walk cut short by the last run: the bills between the known ones and the bill it owes
  // were paid while fahuo watched. They are left for the reader, which takes them as new;
  // taking them as baseline would never mail them.
  const std::optional<std::string> owed = orders_.ledger.CatchUpTarget();
  bool owed_met = !owed;
  std::vector<LedgerEntry> fresh;
  std::vector<BillRecord> kept;
  std::unordered_set<std::string> seen;
  // The records pages list the newest payment first: every unknown bill above the newest
  // bill the ledger knows was paid after the previous run last read page 1.
  bool above_known = !first_run_.load();
  for (const BillRecord& bill : bills) {
    if (orders_.ledger.Contains(bill.流水号)) {
      above_known = false;
      if (!owed_met && bill.流水号 == *owed) owed_met = true;
      kept.push_back(bill);
      continue;
    }
    if (!above_known && !owed_met) continue;  // in the gap: the reader's
    kept.push_back(bill);
    if (!seen.insert(bill.流水号).second) continue;
    LedgerEntry e;
    e.bill = bill;
    e.first_seen = now;
    e.origin = above_known ? BillOrigin::kRestart : BillOrigin::kBaseline;
    // Only a completed payment is held for the seller's word; a trade that waits for its
    // payment is watched wherever it stands; the rest are recorded as what they are.
    const BillState kind = StateOfNewRow(bill);
    if (kind == BillState::kPending) {
      e.state = above_known ? BillState::kHeld : BillState::kBaseline;
    } else if (kind == BillState::kAwaiting || above_known) {
      e.state = kind;
    } else {
      e.state = BillState::kBaseline;
    }
    if (e.state == BillState::kNotPaid || e.state == BillState::kUnconfirmed) {
      e.skip_reason = bill.状态;
    }
    fresh.push_back(std::move(e));
  }
  // On failure the bills stay known for this run (AllBills), so none of them is mailed;
  // they are taken again, as unknown, at the next start.
  const bool written = orders_.ledger.Insert(fresh);
  if (!first_run_.load()) {
    // Only the newest pages were read: the rest of the records range is the ledger's, in
    // the order the bills were found, as the pages list them.
    std::unordered_set<std::string> listed;
    for (const BillRecord& bill : kept) listed.insert(bill.流水号);
    const LocalDate today = orders_.clock.Today();
    const int64_t range_begin = ((today.year - 1) * 10000LL + today.month * 100LL + 1) * 1000000LL;
    for (BillRecord& bill : orders_.ledger.BillsFrom(range_begin)) {
      if (listed.insert(bill.流水号).second) kept.push_back(std::move(bill));
    }
  }
  orders_.all_bills.AppendAll(kept);
  if (!written) return std::nullopt;
  size_t held = 0;
  for (const LedgerEntry& e : fresh) held += e.state == BillState::kHeld;
  return held;
}

void Baseline::Load(RecordPagesSink& sink, const PageFetcher& fetch) {
  const std::string address = Page1Address(site_, orders_.clock.Today());
  StopAwareSink stop_aware(sink, orders_.stopping);
  // Paged as a person pages; a quit cuts the wait and no further page is asked for.
  const PageFetcher paced = [&](const std::string& page) {
    return orders_.pace.Wait() ? fetch(page) : std::string();
  };
  // At a restart the ledger holds the year already: the pages are read only down to the
  // first one it knows whole, which finds every payment made while fahuo was off. (Reading
  // the whole year at every start sent thousands of requests in a burst.) A walk the last
  // run left owing is the reader's, as before.
  LastPageTest known_page;
  if (!first_run_.load()) {
    known_page = [this](const std::vector<BillRecord>& bills) {
      for (const BillRecord& bill : bills) {
        if (!orders_.ledger.Contains(bill.流水号)) return false;
      }
      return true;
    };
  }
  // Without a ledger the pages would be kept in memory only, and the payments made while
  // fahuo was off would pass for baseline: the reader takes the baseline once one opens.
  RecordPagesResult read;
  if (orders_.ledger.IsOpen()) read = LoadRecordPages(address, paced, stop_aware, known_page);
  if (read.page1_read) {
    orders_.last_records_read.store(orders_.clock.UnixSeconds());
    if (!Keep(read.bills)) keep_failed_.store(true);
  } else {
    missing_.store(true);
  }
  loaded_.store(true);
  sink.Finished();
}

std::optional<size_t> Baseline::TakeFromPage1(const std::vector<BillRecord>& rows) {
  // Page 1 alone may not reach down to the newest bill known before: what lies between is
  // owed to the reader's catch-up walk rather than lost below the rows kept here.
  const std::optional<std::string> newest =
      first_run_.load() ? std::nullopt : orders_.ledger.NewestSerial();
  std::optional<size_t> held = Keep(rows);
  if (held && newest && !orders_.ledger.CatchUpTarget()) {
    bool on_page = false;
    for (const BillRecord& row : rows) on_page = on_page || row.流水号 == *newest;
    std::vector<LedgerEntry> none;
    if (!on_page && !orders_.ledger.Insert(none, &*newest)) held.reset();
  }
  missing_.store(false);
  return held;
}

size_t Baseline::HeldCount() {
  LedgerFilter held;
  held.states = {BillState::kHeld};
  return orders_.ledger.Count(held);
}

size_t Baseline::ResolveHeld(bool deliver) {
  // From the ledger, not from this run's memory: payments held by a run that ended before
  // the seller answered are asked about again.
  size_t settled = 0;
  for (LedgerEntry& e : orders_.ledger.WithStates({BillState::kHeld})) {
    const LedgerEntry held = e;
    e.state = deliver ? BillState::kPending : BillState::kHandled;
    if (orders_.ledger.UpdateIfUnchanged(e, held) == Ledger::UpdateResult::kWritten) {
      ++settled;
      if (deliver) orders_.new_bills.Append(e.bill);
    }
  }
  return settled;
}

}  // namespace fahuo
