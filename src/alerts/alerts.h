#pragma once
// When the seller is told that fahuo cannot deliver, and what is said: a lapsed sign-in,
// records that cannot be read, a mailbox that refuses or cannot be reached, bills that wait
// for the seller, and a daily summary. No time of its own and no thread: the caller feeds
// what the reader and the sender report, and ticks it about once a minute; each call gives
// back the alerts to send now. Texts are GBK and name serials or counts, never a mailbox
// password or a code of the goods.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "delivery/mail_refusal.h"
#include "platform/clock.h"

namespace fahuo {

enum class AlertKind {
  kSignIn,              // the payment account's sign-in lapsed / is back
  kRecords,             // the records page could not be read / reads again
  kMailboxRefused,      // the mailbox refuses the account / takes mail again
  kMailboxUnreachable,  // no connection to the mailbox / connected again
  kBillsWaiting,        // bills that need the seller (failed, skipped, unknown, held, …)
  kSummary,             // the daily summary
  kStock,               // a stock of codes ran low or out
  kInboxRefused,        // the inbox read for bounces refuses the login / takes it again
};

struct Alert {
  AlertKind kind;
  bool back_to_normal = false;  // the cause of an earlier alert of this kind ended
  std::string title;            // GBK, one line
  std::string text;             // GBK
};

// Why bills wait for the seller. kRetrying: paid long ago (kLongRetrySeconds) and still
// tried again and again; the retries go on.
enum class WaitingReason { kFailed, kSkipped, kUnknown, kUnconfirmed, kRetrying, kBounced };

// Bills that wait while no event says so, read from the ledger at a tick (serials, GBK):
// payments of a status fahuo does not know, and bills retried though paid long ago.
struct QuietBills {
  std::vector<std::string> unconfirmed;
  std::vector<std::string> retrying;
};

// What the daily summary counts, read by the caller when the summary is due.
struct SummaryCounts {
  int64_t sent_today = 0;
  int64_t waiting = 0;  // the states that need the seller (SellerStates), as the status line
  struct Stock {
    std::string name;  // GBK
    size_t available = 0;
    std::optional<int64_t> days_left;  // at the recent pace; none: nothing given lately
  };
  std::vector<Stock> stocks;  // the stocks of codes, by name (none: not said)
  // The paid orders' amounts of today and yesterday, in fen (none: not said).
  std::optional<int64_t> paid_today_fen;
  std::optional<int64_t> paid_yesterday_fen;
};

// "12.34" for 1234 fen, "-0.05" for -5: money is counted in fen and never in floats.
std::string FenText(int64_t fen);

class AlertRules {
 public:
  static constexpr int64_t kRepeatSeconds = 30 * 60;            // one alert per kind at most
  static constexpr int64_t kRecordsAfterSeconds = 5 * 60;       // unread records
  static constexpr int64_t kUnreachableAfterSeconds = 10 * 60;  // no mailbox connection
  static constexpr int64_t kLongRetrySeconds = 6 * 60 * 60;     // a retried bill needs the seller
  static constexpr size_t kMaxSerialsNamed = 10;

  // `summary_minute`: minute of the local day for the summary (0..1439), none without.
  explicit AlertRules(std::optional<int> summary_minute = std::nullopt)
      : summary_minute_(summary_minute) {}

  // Times are the clock's Unix seconds.
  std::vector<Alert> SignInLapsed(int64_t now);
  std::vector<Alert> SignInRestored(int64_t now);
  std::vector<Alert> RecordsRead(int64_t now);
  // `error`: empty when the mailbox took a login or a mail, else the client's error text.
  std::vector<Alert> MailboxAnswered(std::string_view error, int64_t now);
  std::vector<Alert> BillsWaiting(WaitingReason why, const std::vector<std::string>& serials,
                                  int64_t now);
  // A paid order skipped for `reason` (a skip:: word), named in the alert.
  std::vector<Alert> BillSkipped(const std::string& serial, std::string_view reason, int64_t now);
  std::vector<Alert> HeldPayments(size_t count, int64_t now);
  // A stock of codes (its name, GBK) ran low, or out (`empty`): bills wait for it. Each stock
  // and kind (low, out) at most once per kRepeatSeconds; never a code.
  std::vector<Alert> StockShort(const std::string& gbk_stock, bool empty, int64_t now);
  // The bounce reader logged in to `account`'s inbox (`error` empty) or could not.
  std::vector<Alert> InboxAnswered(const std::string& account, std::string_view error, int64_t now);

  struct TickInput {
    int64_t now = 0;
    bool watching = false;  // monitoring runs: the records should be read
    LocalDate today;
    int minute_of_day = 0;  // local
    // As the ledger holds them now; none: not read (no ledger). Each bill is told once
    // while it stays in its list.
    const QuietBills* quiet = nullptr;
  };
  // The alerts that came due with time: long-lasting causes, alerts held back by the
  // 30 minutes, and the summary (`counts` is asked only then).
  template <typename CountsFn>
  std::vector<Alert> Tick(const TickInput& in, CountsFn counts) {
    std::vector<Alert> out = TickCauses(in);
    if (SummaryDue(in)) out.push_back(SummaryAlert(counts()));
    return out;
  }

  // A new summary time (none: no summary). A time already past today waits for tomorrow.
  void SetSummaryMinute(std::optional<int> minute);
  static Alert SummaryAlert(const SummaryCounts& counts);

 private:
  struct Cause {
    bool active = false;
    bool announced = false;  // the onset alert went out
    std::optional<int64_t> last_alert;
    std::string text;
  };
  void Raise(Cause& cause, AlertKind kind, std::string text, int64_t now, std::vector<Alert>& out);
  void End(Cause& cause, AlertKind kind, std::vector<Alert>& out);
  // The onset alert of `cause` goes out now.
  void Announce(Cause& cause, AlertKind kind, int64_t now, std::vector<Alert>& out);
  static bool MayAlert(const Cause& cause, int64_t now);
  void FlushWaiting(int64_t now, std::vector<Alert>& out);
  // Gathers the bills of `serials` not told yet; `told` becomes `serials`.
  void GatherQuiet(WaitingReason why, const std::vector<std::string>& serials,
                   std::set<std::string>& told);
  std::vector<std::string>& Waiting(WaitingReason why) {
    return waiting_bills_[static_cast<size_t>(why)];
  }
  std::vector<Alert> TickCauses(const TickInput& in);
  bool SummaryDue(const TickInput& in);

  Cause sign_in_, records_, refused_, unreachable_, waiting_, inbox_;
  std::set<std::string> inboxes_refused_;
  bool lapsed_ = false;
  std::optional<int64_t> watching_since_;
  std::optional<int64_t> last_read_;
  std::optional<int64_t> unreachable_since_;
  // Not yet alerted, by WaitingReason.
  std::vector<std::string> waiting_bills_[static_cast<size_t>(WaitingReason::kBounced) + 1];
  size_t held_ = 0;
  std::set<std::string> told_unconfirmed_, told_retrying_;
  // When each stock (name, empty) was last told of.
  std::map<std::pair<std::string, bool>, int64_t> stock_told_;
  std::optional<int> summary_minute_;
  std::optional<LocalDate> summary_done_;  // the day the summary went out (or was passed)
  bool summary_ticked_ = false;            // a tick saw the time since it was set
};

}  // namespace fahuo
