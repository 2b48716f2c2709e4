#pragma once
// The alerts' listener to the delivery's events: what the reader and the sender say of the
// sign-in, the mailbox, the bills and the stocks feeds the alert rules, whose alerts the
// courier carries. The reader's and the sender's threads call it; the window's timer ticks
// it about once a minute.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alert_courier.h"
#include "alerts/alerts.h"
#include "delivery/delivery_events.h"
#include "ledger/ledger.h"
#include "platform/clock.h"

namespace fahuo {

class AlertMonitor : public DeliveryEvents {
 public:
  // `clock` outlives every pass that holds the monitor; the courier lives as long as the
  // monitor does (a read may report after the window's parts are gone; a stopped courier
  // drops what it is given).
  AlertMonitor(std::shared_ptr<AlertCourier> courier, const Clock& clock)
      : courier_(std::move(courier)), clock_(clock) {}

  void SignInLapsed() override;
  void SignInRestored() override;
  void MailboxAnswered(const std::string& error) override;
  void BillFailed(const std::string& serial) override;
  void BillSkipped(const std::string& serial, const std::string& reason) override;
  void StockShort(const std::string& gbk_stock, bool empty) override;
  void BillBounced(const std::string& serial) override;
  void InboxAnswered(const std::string& account, const std::string& error) override;

  // Bills found "unknown" at start-up (their mail was cut by a crash).
  void BillsUnknown(const std::vector<std::string>& serials);
  // Payments received while fahuo was not running wait for the seller's decision (the
  // window asks; the reader's report only leads to that question).
  void HeldPaymentsWaiting(size_t count);
  void SetSummaryMinute(std::optional<int> minute);

  // `watching`: monitoring runs; `last_records_read`: the clock's Unix seconds of the last
  // records page read (0: none yet). `quiet` reads the waiting bills no event reports, at the
  // clock's now (none: not read). `counts` is called only when the summary is due.
  void Tick(bool watching, int64_t last_records_read,
            const std::function<std::optional<QuietBills>(int64_t now)>& quiet,
            const std::function<SummaryCounts()>& counts);

 private:
  void Dispatch(std::vector<Alert> alerts);

  std::shared_ptr<AlertCourier> courier_;
  const Clock& clock_;
  std::mutex mutex_;
  AlertRules rules_;
  int64_t last_read_seen_ = 0;
};

// The bills of QuietBills as the ledger holds them at `now` (the newest kMaxQuietBills of
// each); none when no ledger is open. Two short indexed reads: fit for the UI thread.
std::optional<QuietBills> ReadQuietBills(Ledger& ledger, int64_t now);
inline constexpr size_t kMaxQuietBills = 200;

// The ledger's figures of the daily summary: each stock's days left at the recent pace and
// the paid orders' amounts of `today` and the day before. Leaves `counts` as it is when no
// ledger is open. A few indexed reads: fit for the UI thread.
void ReadSummaryFigures(Ledger& ledger, int64_t now, const LocalDate& today, SummaryCounts& counts);

// "HH:MM" (GBK or ASCII, blanks around allowed) as a minute of the day; none when empty or
// not a time.
std::optional<int> ParseSummaryTime(const std::string& text);

}  // namespace fahuo
