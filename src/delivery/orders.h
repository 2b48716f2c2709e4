#pragma once
// What the parts of the shop share: the ledger, this run's bill lists, the clock and the
// stop flag. Owned by the Shop; each part keeps a reference. Every member is thread-safe.
#include <atomic>
#include <cstdint>
#include <string>

#include "capture/bill_list.h"
#include "delivery/delivery_pass.h"
#include "delivery/page_pace.h"
#include "ledger/ledger.h"
#include "platform/clock.h"

namespace fahuo {

struct Orders {
  Orders(const Clock& c, int64_t page_gap_ms) : clock(c), pace(c, page_gap_ms) {}

  // Known this run (even when the ledger could not record it) or recorded in the ledger.
  bool Known(const std::string& serial) {
    return all_bills.ContainsSerial(serial) || ledger.Contains(serial);
  }

  const Clock& clock;
  Ledger ledger;
  BillList all_bills;  // every bill seen this run, newest first
  BillList new_bills;  // bills found new this run, in order found
  std::atomic<bool> stopping{false};
  PagePace pace;  // between the pages after page 1 (the loading, the catch-up walk)
  // When page 1 was last read as the records page (Unix seconds; 0: not yet this run).
  std::atomic<int64_t> last_records_read{0};
};

// Logs a ledger that cannot be written once per run of failures (a full disk fails every
// write until it is mended). Used by one thread.
class LedgerFailureNote {
 public:
  void Report(const DeliveryOutlet& out, Ledger& ledger);
  void Clear() { logged_ = false; }

 private:
  bool logged_ = false;
};

}  // namespace fahuo
