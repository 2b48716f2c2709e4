#include "alerts/alert_monitor.h"

#include <ctime>

#include "platform/local_time.h"

namespace fahuo {

void AlertMonitor::Dispatch(std::vector<Alert> alerts) {
  for (Alert& a : alerts) courier_->Send(std::move(a));
}

void AlertMonitor::SignInLapsed() {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.SignInLapsed(clock_.UnixSeconds()));
}

void AlertMonitor::SignInRestored() {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.SignInRestored(clock_.UnixSeconds()));
}

void AlertMonitor::HeldPaymentsWaiting(size_t count) {
  if (count == 0) return;
  std::lock_guard lock(mutex_);
  Dispatch(rules_.HeldPayments(count, clock_.UnixSeconds()));
}

void AlertMonitor::MailboxAnswered(const std::string& error) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.MailboxAnswered(error, clock_.UnixSeconds()));
}

void AlertMonitor::BillFailed(const std::string& serial) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.BillsWaiting(WaitingReason::kFailed, {serial}, clock_.UnixSeconds()));
}

void AlertMonitor::BillSkipped(const std::string& serial, const std::string& reason) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.BillSkipped(serial, reason, clock_.UnixSeconds()));
}

void AlertMonitor::StockShort(const std::string& gbk_stock, bool empty) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.StockShort(gbk_stock, empty, clock_.UnixSeconds()));
}

void AlertMonitor::BillBounced(const std::string& serial) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.BillsWaiting(WaitingReason::kBounced, {serial}, clock_.UnixSeconds()));
}

void AlertMonitor::InboxAnswered(const std::string& account, const std::string& error) {
  std::lock_guard lock(mutex_);
  Dispatch(rules_.InboxAnswered(account, error, clock_.UnixSeconds()));
}

void AlertMonitor::BillsUnknown(const std::vector<std::string>& serials) {
  if (serials.empty()) return;
  std::lock_guard lock(mutex_);
  Dispatch(rules_.BillsWaiting(WaitingReason::kUnknown, serials, clock_.UnixSeconds()));
}

void AlertMonitor::SetSummaryMinute(std::optional<int> minute) {
  std::lock_guard lock(mutex_);
  rules_.SetSummaryMinute(minute);
}

void AlertMonitor::Tick(bool watching, int64_t last_records_read,
                        const std::function<std::optional<QuietBills>(int64_t now)>& quiet,
                        const std::function<SummaryCounts()>& counts) {
  const int64_t now = clock_.UnixSeconds();
  // Read before the lock: a report from the sender's thread never waits for the ledger.
  const std::optional<QuietBills> quiet_bills = quiet ? quiet(now) : std::nullopt;
  AlertRules::TickInput in;
  in.now = now;
  in.watching = watching;
  in.today = clock_.Today();
  in.quiet = quiet_bills ? &*quiet_bills : nullptr;
  std::tm local{};
  if (ToLocalTime(now, local)) in.minute_of_day = local.tm_hour * 60 + local.tm_min;
  std::lock_guard lock(mutex_);
  if (last_records_read > last_read_seen_) {
    last_read_seen_ = last_records_read;
    Dispatch(rules_.RecordsRead(last_records_read));
  }
  Dispatch(rules_.Tick(in, [&] { return counts ? counts() : SummaryCounts{}; }));
}

std::optional<QuietBills> ReadQuietBills(Ledger& ledger, int64_t now) {
  if (!ledger.IsOpen()) return std::nullopt;
  auto serials = [&](const LedgerFilter& filter) {
    std::vector<std::string> out;
    for (const LedgerEntry& e : ledger.Page(filter, 0, kMaxQuietBills)) {
      out.push_back(e.bill.流水号);
    }
    return out;
  };
  LedgerFilter unconfirmed;
  unconfirmed.states = {BillState::kUnconfirmed};
  // Paid (first seen) that long ago: the buyer has waited as long, whoever resent it.
  LedgerFilter retrying;
  retrying.states = {BillState::kRetrying};
  retrying.seen_before = now - AlertRules::kLongRetrySeconds;
  return QuietBills{serials(unconfirmed), serials(retrying)};
}

namespace {

// The day before `date` in the calendar.
LocalDate DayBefore(LocalDate date) {
  if (--date.day > 0) return date;
  if (--date.month == 0) {
    date.month = 12;
    --date.year;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  date.day = kDays[date.month - 1] + (date.month == 2 && leap ? 1 : 0);
  return date;
}

// The first paid_key of a day (YYYYMMDD000000).
int64_t DayKey(const LocalDate& d) {
  return (int64_t{d.year} * 10000 + d.month * 100 + d.day) * 1000000;
}

}  // namespace

void ReadSummaryFigures(Ledger& ledger, int64_t now, const LocalDate& today,
                        SummaryCounts& counts) {
  if (!ledger.IsOpen()) return;
  counts.stocks.clear();
  for (const StockSummary& s : ledger.Stocks(now)) {
    counts.stocks.push_back({s.name, s.available, s.days_left});
  }
  const int64_t day = DayKey(today);
  const int64_t yesterday = DayKey(DayBefore(today));
  counts.paid_today_fen = ledger.PaidFen(day, day + 235959);
  counts.paid_yesterday_fen = ledger.PaidFen(yesterday, yesterday + 235959);
}

std::optional<int> ParseSummaryTime(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  const size_t e = text.find_last_not_of(" \t");
  const std::string t = text.substr(b, e - b + 1);
  const size_t colon = t.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 2 || t.size() != colon + 3) {
    return std::nullopt;
  }
  int hour = 0, minute = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (i == colon) continue;
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    (i < colon ? hour : minute) = (i < colon ? hour : minute) * 10 + (t[i] - '0');
  }
  if (hour > 23 || minute > 59) return std::nullopt;
  return hour * 60 + minute;
}

}  // namespace fahuo
