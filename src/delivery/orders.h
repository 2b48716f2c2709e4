#pragma once
// What the parts of the shop share: the ledger, this run's bill lists, the clock and the
// stop flag. Owned by the Shop; each part keeps a reference. Every member is thread-safe.
#include <atomic>
#include <cstdint>
#include <string>

#include "capture/bill_list.h"
#include "delivery/delivery_pass.h"
#include "ledger/ledger.h"
#include "platform/clock.h"

namespace fahuo {

struct Orders {
  explicit Orders(const Clock& c) : clock(c) {}

  // Known this run (even when the ledger could not record it) or recorded in the ledger.
  bool Known(const std::string& serial) {
    return all_bills.ContainsSerial(serial) || ledger.Contains(serial);
  }

  const Clock& clock;
  Ledger ledger;
  BillList all_bills;  // every bill seen this run, newest first
  BillList new_bills;  // bills found new this run, in order found
  std::atomic<bool> stopping{false};
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
