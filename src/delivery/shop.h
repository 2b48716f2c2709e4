#pragma once
// The seller's orders for one run of the program: the bill lists the window shows, the
// delivery ledger on disk, the baseline and the sign-in state, and the delivery pass that
// works on them. Built once at start-up and handed to whoever needs it; tests build their
// own. Thread-safe: the baseline loads on one thread, passes run on another, the window
// reads from the UI thread.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "capture/bill_list.h"
#include "capture/navigation.h"
#include "delivery/delivery_pass.h"
#include "delivery/ledger.h"
#include "platform/clock.h"

namespace fahuo {

class Shop {
 public:
  explicit Shop(const Clock* clock = nullptr);  // nullptr: CurrentClock() at each use

  struct OpenReport {
    bool ok = false;
    std::string error;                     // why the ledger could not be opened (UTF-8)
    std::string moved_aside_to;            // a damaged ledger was kept under this name
    std::vector<LedgerEntry> interrupted;  // found in "sending": now "unknown"
  };
  // Opens (or starts) the ledger at `path`. Without a ledger nothing is ever mailed.
  OpenReport Open(const std::string& ledger_path);

  BillList& AllBills() { return all_bills_; }  // every bill seen this run, newest first
  BillList& NewBills() { return new_bills_; }  // bills found new this run, in order found
  Ledger& ledger() { return ledger_; }

  // --- The baseline, read once per run after the sign-in.
  // True for the first caller only: that caller loads the baseline.
  bool BeginBaseline();
  // Reads the records pages from today's page 1 and keeps them: bills the ledger knows keep
  // their state; unknown ones above the newest known bill were paid while the program was
  // not watching and are held (on a first run, with an empty ledger, nothing is held); the
  // rest are baseline. Then calls sink.Finished(). When page 1 was not the records page,
  // the first page 1 a pass reads becomes the baseline instead.
  void LoadBaseline(RecordPagesSink& sink, const PageFetcher& fetch);
  bool BaselineLoaded() const { return baseline_loaded_.load(); }
  bool BaselineMissing() const { return baseline_missing_.load(); }
  // The page-1 address the baseline was read from (empty before).
  std::string RecordsAddress() const;
  // What passes and the keep-alive fetch: empty until the baseline loading has ended,
  // then today's page 1 (a program left running past midnight sees the new day).
  std::string CurrentRecordsAddress() const;

  // Payments held for the seller's decision (in the ledger, whichever run held them):
  // deliver them by the rules (pending) or mark them handled. Returns how many were settled.
  size_t HeldCount();
  size_t ResolveHeld(bool deliver);

  // --- Delivery passes.
  // Runs one pass on the calling thread: reads page 1 (and further pages while every row
  // is new), records the new bills in the ledger as pending, then mails every due bill
  // over one connection. Returns false at once when another pass is running.
  bool RunPass(const MailAccount& account, DeliveryWindow& window,
               const DeliveryServices& services = {});
  bool PassRunning() const { return busy_.load(); }
  // Passes and the baseline loading stop at the next safe point (between bills, pages).
  void RequestStop() { stopping_.store(true); }
  bool Stopping() const { return stopping_.load(); }

  // --- The seller's actions on one bill (delivery/order_actions.cpp). Each is recorded in
  // the ledger, logged, and followed by window.BillsChanged(). A bill in "sending" refuses
  // them all: its mail may be on its way. `serial` and texts are GBK.
  struct ActionOutcome {
    bool ok = false;
    std::string message;  // GBK, for a box when !ok
  };
  // The bill becomes pending again and goes out with the next delivery: to the same
  // recipient, with the rule that matches its amount now.
  ActionOutcome Resend(const std::string& serial, DeliveryWindow& window);
  // The same to `address` (GBK, typed by the seller; refused unless a valid mail address).
  ActionOutcome ResendTo(const std::string& serial, const std::string& address,
                         DeliveryWindow& window);
  // The bill is settled by the seller and never mailed.
  ActionOutcome MarkHandled(const std::string& serial, DeliveryWindow& window);
  // Runs a delivery of the due bills only (no page read), on the calling thread; false at
  // once when a pass is running (the pass delivers them).
  bool DeliverDueNow(const MailAccount& account, DeliveryWindow& window,
                     const DeliveryServices& services = {});

  // --- The sign-in.
  // True from the pass that noticed the lapse until a pass reads the records page again
  // (after the seller signed in again: no new baseline is taken).
  bool SignInLapsed() const { return lapsed_.load(); }
  // When page 1 was last read as the records page (Unix seconds; 0: not yet this run).
  int64_t LastRecordsRead() const { return last_records_read_.load(); }

  // How long page 1 may be something other than the records page before the sign-in is
  // taken as lapsed.
  static constexpr int64_t kLapseAfterMs = 60000;
  // At most this many further pages are read when every row of page 1 is new.
  static constexpr int kMaxCatchUpPages = 50;

 private:
  const Clock& clock() const;
  bool Known(const std::string& serial);
  // Keeps the baseline bills (page order); returns how many were held.
  size_t KeepBaseline(const std::vector<BillRecord>& bills, DeliveryWindow* window);
  std::vector<BillRecord> TakeNewBills(const std::vector<BillRecord>& page1_rows,
                                       const std::string& page1, const std::string& address,
                                       const DeliveryServices& services);
  void ReadPage1(DeliveryWindow& window, const DeliveryServices& services);
  void DeliverDue(const MailAccount& account, DeliveryWindow& window,
                  const DeliveryServices& services);
  // False when the ledger could not be written: the pass stops mailing.
  bool DeliverOne(LedgerEntry& entry, const MailAccount& account, DeliveryWindow& window,
                  const DeliveryServices& services);
  void LedgerWriteFailed(DeliveryWindow& window);
  // Makes a bill pending again for the next delivery (Resend, ResendTo).
  ActionOutcome Requeue(const std::string& serial, const std::string* address,
                        DeliveryWindow& window);

  const Clock* clock_;
  Ledger ledger_;
  bool ledger_was_empty_ = true;  // at Open: a first run holds nothing
  BillList all_bills_;
  BillList new_bills_;

  std::atomic<bool> baseline_started_{false};
  std::atomic<bool> baseline_loaded_{false};
  std::atomic<bool> baseline_missing_{false};
  mutable std::mutex mutex_;
  std::string records_address_;

  std::atomic<bool> busy_{false};
  std::atomic<bool> stopping_{false};
  // Pass-thread state (only the pass that holds busy_ touches these).
  std::optional<int64_t> not_records_since_;
  bool outage_shown_ = false;
  bool ledger_failure_logged_ = false;
  std::atomic<bool> lapsed_{false};
  std::atomic<int64_t> last_records_read_{0};
  std::atomic<bool> found_after_lapse_{false};
};

using ActionOutcome = Shop::ActionOutcome;

}  // namespace fahuo
