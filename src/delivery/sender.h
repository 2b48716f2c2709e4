#pragma once
// Mailing the due bills (pending ones, and retrying ones whose time came) over a mail session
// of its own. It never reads pages: the records reader goes on meanwhile, whatever the
// mailbox does.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "delivery/delivery_pass.h"
#include "delivery/mail_refusal.h"
#include "delivery/orders.h"
#include "delivery/placeholders.h"
#include "delivery/send_pace.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"

namespace fahuo {

class Sender {
 public:
  Sender(Orders& orders, const RuleBook& rules, mail::Options options)
      : orders_(orders), rules_(rules), slot_(std::move(options)) {}

  // Mails every due bill, on the calling thread, over one connection: the services' connect
  // and send when set (tests), else a session of this delivery's own. Returns false at once
  // when another delivery is under way.
  bool DeliverDue(const MailAccount& account, const DeliveryOutlet& out,
                  const DeliveryServices& services = {});

  // From any thread: the delivery under way stops at once (its mail session is aborted; a
  // bill whose mail was on its way stays "sending", so the next start shows it as unknown)
  // and no later one starts. For the end of the program.
  void Abort();
  bool Busy() const { return busy_.load(); }
  // The pace mails go out at (set from any thread), and the pause after a refusal for the
  // account's sending limit: while it lasts, deliveries mail nothing and bills wait.
  SendPace& pace() { return pace_; }

  // The first account deliveries will use and its pace (at 开始, from any thread). A pause
  // the provider asked of another account (another server or address) ends: true when one
  // under way did.
  bool SetPrimary(const MailAccount& account, int per_minute);
  // A second sending account (备用发信邮箱), from any thread; none: only the first. While the
  // first is paused, refuses the login or cannot be reached, the due bills go out over this
  // one at its own pace; the first is tried again after kPrimaryRetrySeconds, or at once
  // after this is called again. A pause of another second account ends, as with SetPrimary.
  bool SetBackup(std::optional<MailAccount> account, int per_minute = 0);
  static constexpr int64_t kPrimaryRetrySeconds = 5 * 60;

  // When the first account's pause ends; none while it may mail. Any thread.
  std::optional<int64_t> PauseEnd() const;
  // The seller lifts the pauses of both accounts, on the thread deliveries run on, before a
  // delivery: the bill the provider refused is due at once, and the log says so. False when
  // no pause was under way.
  bool LiftPause(const DeliveryOutlet& out);

 private:
  struct Mailer;
  struct Route;
  // The accounts to try, in order; paused ones are left out.
  std::vector<Route> Routes(const MailAccount& primary);
  // How mailing over one account ended: every bill tried (or the delivery stopped), no
  // connection (`why` says why; nothing was written), or the account's pause began.
  // The account refused (a login, SMTP switched off) mid-run: `why` says why.
  enum class Outcome { kDone, kNoConnection, kPaused, kAccountRefused };
  // Connects, then mails the due bills in order.
  Outcome DeliverAll(std::vector<LedgerEntry>& due, Mailer& mailer, const DeliveryOutlet& out,
                     std::string& why);
  // Marks every due bill for a later try after a failed connection: `why` is kept as the
  // bills' error, `shown` is what the seller is told.
  void PostponeAll(std::vector<LedgerEntry>& due, const std::string& why, const std::string& shown,
                   const DeliveryOutlet& out);
  // Tells the log when deliveries move to the second account or back to the first.
  void NoteRoute(const Mailer& mailer, const DeliveryOutlet& out);
  // False when mailing over this account stops: the ledger could not be written, the
  // account paused, or it refused (then `account_refused` holds why).
  bool DeliverOne(LedgerEntry& entry, Mailer& mailer, const DeliveryOutlet& out,
                  std::string& account_refused);
  // Matches the rule and the recipient of a bill mailed for the first time (or resent
  // after its rule was cleared). False when the bill is skipped, with `*skip` the reason.
  bool Prepare(LedgerEntry& e, const DeliveryOutlet& out, const char** skip);
  // Writes the bill's new state: only while it still holds `*taken` when given (the first
  // write of a delivery), else whatever it holds. False when the ledger could not be
  // written (logged once).
  bool Settle(LedgerEntry& e, BillState state, const char* reason, const LedgerEntry* taken,
              const DeliveryOutlet& out);
  // After the send: sent, retrying (also for a pause the provider asks) or failed. False
  // when mailing over this account stops (a pause, or the ledger could not be written).
  bool RecordSendOutcome(LedgerEntry& e, const SendOutcome& sent, bool maybe_received,
                         Mailer& mailer, const DeliveryOutlet& out);
  // Waits for the pace before the next mail; false when aborted meanwhile.
  bool AwaitPace(const SendPace& pace);
  void PauseSending(Mailer& mailer, int64_t seconds, const std::string& error,
                    const DeliveryOutlet& out);
  // Writes the bill "sending" with its codes (into `codes`), or "out of stock" when a stock
  // has none left. False when the ledger could not be written; `stale` when the seller
  // changed the bill meanwhile.
  bool TakeSending(LedgerEntry& e, const LedgerEntry& taken, bool& stale, OrderCodes& codes,
                   const std::string& sender, const DeliveryOutlet& out);

  Orders& orders_;
  const RuleBook& rules_;
  mail::SessionSlot slot_;  // the delivery's session, which Abort cuts
  std::atomic<bool> busy_{false};
  SendPace pace_;
  std::mutex backup_mutex_;
  std::optional<MailAccount> backup_;
  SendPace backup_pace_;
  // Sender-thread state (only the delivery that holds busy_ touches these).
  bool outage_shown_ = false;
  // Unix seconds: the second account goes first till then. SetBackup (a new 开始, perhaps
  // with a mended first account) clears it.
  std::atomic<int64_t> primary_down_until_{0};
  bool on_backup_ = false;  // the last mail went over the second account
  LedgerFailureNote ledger_failure_;
};

}  // namespace fahuo
