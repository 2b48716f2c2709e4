#pragma once
// Reading the records at every refresh: today's page 1, and the next pages while no bill
// known before a burst is reached (or down to the bill a walk cut short still owes). New bills go
// into the ledger as pending and into the lists; nothing here waits on the mailbox, so a payment is
// on disk within one refresh whatever the mail server does.
#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
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
  // A verification or risk page stands in the records' place.
  bool VerificationNeeded() const { return verifying_.load(); }
  // While the sign-in lapsed or a verification waits, page 1 is read at most once every
  // kHeldBackReadMs: asking again and again is what gets a payment account limited.
  bool HeldBack() const { return lapsed_.load() || verifying_.load(); }
  // From any thread: the next read goes ahead even while held back (the seller signed in
  // or solved the verification in the browser just now).
  void ReadSoon() { read_soon_.store(true); }
  bool Busy() const { return busy_.load(); }

  // How long page 1 may be something other than the records page before the sign-in is
  // taken as lapsed.
  static constexpr int64_t kLapseAfterMs = 60000;
  static constexpr int64_t kHeldBackReadMs = 60000;
  // Pages in a row that are neither the records nor a sign-in before reading holds back.
  static constexpr int kVerificationAfterPages = 3;
  // At most this many further pages are read in one read; a walk cut there goes on at the
  // next.
  static constexpr int kMaxCatchUpPages = 50;

 private:
  size_t ReadPage1(const DeliveryOutlet& out, const PageFetcher& fetch);
  // The page is not the listing: a lapse once it stays so for kLapseAfterMs.
  void NotTheRecordsPage(const DeliveryOutlet& out, const std::string& page);
  void TakeAsBaseline(const std::vector<BillRecord>& rows, const DeliveryOutlet& out);
  struct Found {
    std::vector<BillRecord> fresh;      // rows the ledger does not hold, in page order
    std::vector<BillRecord> rows_read;  // every row of the pages read
    // Set: the catch-up target to write with the bills (empty: clear it).
    std::optional<std::string> catch_up_to;
    bool gave_up = false;  // the owed walk hit the page limit again: the seller is told
  };
  Found TakeNewBills(const std::vector<BillRecord>& page1_rows, const std::string& page1,
                     const std::string& address, const PageFetcher& fetch);
  // Records the new rows; returns how many are orders to mail.
  size_t Record(const Found& found, const DeliveryOutlet& out);
  // A trade that waited for payment becomes pending once its row reads paid, or is left
  // unmailed once it reads closed.
  void FollowAwaiting(const std::vector<BillRecord>& rows, const DeliveryOutlet& out);

  Orders& orders_;
  Baseline& baseline_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> lapsed_{false};
  std::atomic<bool> verifying_{false};
  std::atomic<bool> read_soon_{false};
  // Reader-thread state (only the read that holds busy_ touches these).
  std::optional<int64_t> not_records_since_;
  bool found_after_lapse_ = false;
  std::optional<int64_t> next_read_ms_;  // held back: no read before this tick
  int odd_pages_ = 0;                    // neither records nor sign-in, in a row
  bool owed_noted_ = false;              // the cut-short walk was told in the log
  std::set<std::string> awaiting_;       // serials waiting for the buyer's payment
  bool awaiting_loaded_ = false;
  LedgerFailureNote ledger_failure_;
};

}  // namespace fahuo
