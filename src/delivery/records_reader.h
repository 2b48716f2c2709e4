#pragma once
// Reading the records at every refresh: today's page 1, and the next pages while every row
// is new. New bills go into the ledger as pending and into the lists; nothing here waits on
// the mailbox, so a payment is on disk within one refresh whatever the mail server does.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/navigation.h"
#include "delivery/baseline.h"
#include "delivery/orders.h"

namespace fahuo {

class RecordsReader {
 public:
  RecordsReader(Orders& orders, Baseline& baseline) : orders_(orders), baseline_(baseline) {}

  // One read on the calling thread, through `fetch`. Does nothing before the baseline has
  // loaded. Returns false at once when another read is under way; otherwise true, and
  // `*found` (when given) is how many new bills were recorded.
  bool ReadOnce(const DeliveryOutlet& out, const PageFetcher& fetch, size_t* found = nullptr);

  // True from the read that noticed the lapse until a read finds the records page again
  // (after the seller signed in again: no new baseline is taken).
  bool SignInLapsed() const { return lapsed_.load(); }
  bool Busy() const { return busy_.load(); }

  // How long page 1 may be something other than the records page before the sign-in is
  // taken as lapsed.
  static constexpr int64_t kLapseAfterMs = 60000;
  // At most this many further pages are read when every row of page 1 is new.
  static constexpr int kMaxCatchUpPages = 50;

 private:
  size_t ReadPage1(const DeliveryOutlet& out, const PageFetcher& fetch);
  // The page is not the listing: a lapse once it stays so for kLapseAfterMs.
  void NotTheRecordsPage(const DeliveryOutlet& out, bool empty_answer);
  void TakeAsBaseline(const std::vector<BillRecord>& rows, const DeliveryOutlet& out);
  std::vector<BillRecord> TakeNewBills(const std::vector<BillRecord>& page1_rows,
                                       const std::string& page1, const std::string& address,
                                       const PageFetcher& fetch);
  size_t Record(const std::vector<BillRecord>& fresh, const DeliveryOutlet& out);

  Orders& orders_;
  Baseline& baseline_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> lapsed_{false};
  // Reader-thread state (only the read that holds busy_ touches these).
  std::optional<int64_t> not_records_since_;
  bool found_after_lapse_ = false;
  LedgerFailureNote ledger_failure_;
};

}  // namespace fahuo
