#pragma once
// Reading bounced mails back from the sending accounts' inboxes: each message is read once
// (the ledger keeps, per account, the mailbox's UIDVALIDITY and the last UID read), headers
// first and a body only for a likely bounce; a bounce of one of our mails turns its bill from
// "sent" to "bounced" with the reason in Chinese, tells the log and the alerts. Read-only on
// the mailbox. Runs on a worker of its own: an inbox that hangs holds nothing else, and one
// that refuses the login is told once and never stops reading the records or sending.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/delivery_events.h"
#include "delivery/mail_setup.h"
#include "ledger/ledger.h"
#include "platform/clock.h"
#include "platform/imap_client.h"

namespace fahuo {

// The IMAP server ("host:port", GBK) of a known sending SMTP server; empty for another.
std::string ImapServerFor(std::string_view smtp_server);

// A larger body is cut: a bounce says what matters at its start.
inline constexpr size_t kMaxBounceBytes = 256 * 1024;
// Headers fetched in one command.
inline constexpr size_t kHeaderBatch = 200;

class BounceReader {
 public:
  BounceReader(Ledger& ledger, const Clock& clock, imap::Options options = {})
      : ledger_(ledger), clock_(clock), options_(std::move(options)) {}

  struct InboxCheck {
    bool connected = false;
    std::string error;    // GBK: why not (for logs, the test button)
    size_t messages = 0;  // in the inbox
    size_t read = 0;      // new messages whose headers were read now
    size_t bounces = 0;   // of those, bounces of any mail
    size_t marked = 0;    // bills that became "bounced"
  };

  // Reads the new mail of `account`'s inbox on `imap_server` (empty: derived from the
  // account's SMTP server; none known: logged once, nothing read). On the calling thread.
  InboxCheck CheckInbox(const MailAccount& account, const std::string& imap_server,
                        const DeliveryOutlet& out);

  // Logs in and counts (the settings' test button): messages and bounces among the last
  // `recent` messages, read-only and without touching the marks or bills.
  InboxCheck TestInbox(const MailAccount& account, const std::string& imap_server,
                       size_t recent = 200);

  // From any thread: the check under way ends at once, and none starts later.
  void Abort();

  // The name of an account's mark in reader_marks.
  static std::string MarkName(const std::string& address);

 private:
  bool Connect(imap::Session& session, const MailAccount& account, std::string server,
               InboxCheck& check);
  // Matches a bounce to its bill and marks it; true when the ledger could not be written
  // (the mark must not move past this message).
  bool Apply(const std::string& raw, InboxCheck& check, const DeliveryOutlet& out);
  // The session at work, for Abort.
  bool Begin(imap::Session* session);
  void End();
  // Ends a check begun with Begin: LOGOUT while Abort can still cut it, then End.
  struct Ending;

  Ledger& ledger_;
  const Clock& clock_;
  const imap::Options options_;
  std::mutex mutex_;
  imap::Session* session_ = nullptr;
  bool aborted_ = false;
  // Per account (its mark's name): whether a failure was told, so it is logged once.
  std::map<std::string, bool> told_;
};

// What the reader's rounds read and how often: the sending account and the second one, as
// monitoring started ([退信] in Peizhi.ini).
struct BouncePlan {
  bool enabled = false;
  std::string server;  // host[:port]; empty: derived from each account's SMTP server
  int interval_minutes = 5;
  std::vector<MailAccount> accounts;
};

// The reader's rounds, on its worker only: every interval, and once a mail went out two
// minutes ago (a provider bounces within seconds to minutes).
class BounceRounds {
 public:
  static constexpr int64_t kAfterMailSeconds = 2 * 60;
  void SetPlan(BouncePlan plan) {
    plan_ = std::move(plan);
    last_check_ = 0;
  }
  // Reads the inboxes when a round is due at `now` (Unix seconds). True when it read.
  bool Tick(BounceReader& reader, Ledger& ledger, int64_t now, const DeliveryOutlet& out);

 private:
  BouncePlan plan_;
  int64_t last_check_ = 0;
};

}  // namespace fahuo
