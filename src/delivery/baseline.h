#pragma once
// The baseline of a run: the bills on the records pages when watching began, read once after
// the sign-in. None of them is mailed; unknown ones above the newest bill the ledger knows
// were paid while no fahuo was reading and are held for the seller.
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "capture/navigation.h"
#include "capture/records_address.h"
#include "delivery/orders.h"

namespace fahuo {

class Baseline {
 public:
  Baseline(Orders& orders, const RecordsSite& site) : orders_(orders), site_(site) {}

  // Set at the ledger's opening: on a first run (an empty ledger) nothing is held.
  void SetFirstRun(bool first_run) { first_run_.store(first_run); }

  // True for the first caller only: that caller loads the baseline.
  bool Begin() { return !started_.exchange(true); }
  // Reads the records pages from today's page 1, at the shop's page pace, and keeps them:
  // bills the ledger knows keep their state; unknown ones above the newest known bill are
  // held; the rest are baseline. A first run reads the whole range; a later start only down
  // to the first page the ledger knows whole, and lists the rest of the range from the
  // ledger. Then calls sink.Finished(). When page 1 was not the records page, or no ledger is open
  // yet (a busy file), the first page 1 the reader reads becomes the baseline instead
  // (TakeFromPage1).
  void Load(RecordPagesSink& sink, const PageFetcher& fetch);
  bool Loaded() const { return loaded_.load(); }
  // Load could not write the bills it read: they are known for this run only (none is
  // mailed) and are taken again at the next start. Read once Loaded().
  bool KeepFailed() const { return keep_failed_.load(); }
  bool Missing() const { return missing_.load(); }
  // Keeps `rows` (page 1, read by the reader) as the baseline that Load could not read.
  // Returns how many were held; nullopt when the ledger could not be written.
  std::optional<size_t> TakeFromPage1(const std::vector<BillRecord>& rows);

  // What the reader and the keep-alive fetch: empty until the baseline loading has ended,
  // then today's page 1 (a program left running past midnight sees the new day).
  std::string CurrentRecordsAddress() const;

  // Payments held for the seller's decision (in the ledger, whichever run held them):
  // deliver them by the rules (pending) or mark them handled. Returns how many were settled.
  size_t HeldCount();
  size_t ResolveHeld(bool deliver);

 private:
  // Keeps the bills (page order); nullopt when the ledger write failed, else how many were
  // held.
  std::optional<size_t> Keep(const std::vector<BillRecord>& bills);

  Orders& orders_;
  const RecordsSite& site_;
  std::atomic<bool> first_run_{true};  // set when the ledger opens, maybe on another thread
  std::atomic<bool> started_{false};
  std::atomic<bool> loaded_{false};
  std::atomic<bool> missing_{false};
  std::atomic<bool> keep_failed_{false};
};

}  // namespace fahuo
