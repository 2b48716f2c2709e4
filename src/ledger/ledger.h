#pragma once
// The delivery ledger: every bill the program has ever seen and what became of it, in an
// SQLite database of its own (fahuo.db). Commits are durable (WAL, full sync) before the
// caller goes on, so a crash or a power cut never forgets that a mail was about to go out.
// Thread-safe: one connection behind one mutex.
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "capture/bill_record.h"

struct sqlite3;

namespace fahuo {

enum class BillState {
  kBaseline,  // on the records pages when watching began: never mailed
  kPending,   // to be mailed
  kSending,   // handed to the mail server; "sent" follows once it accepted
  kSent,
  kRetrying,    // refused for the moment; due again at next_try
  kFailed,      // refused for good
  kSkipped,     // no mail possible: skip_reason says why
  kHeld,        // paid while fahuo was not watching; waits for the seller's decision
  kHandled,     // settled by the seller
  kUnknown,     // the program ended between "sending" and "sent": maybe mailed, never resent
  kOutOfStock,  // its rule hands out a code and the stock (skip_reason) has none left: goes
                // out by itself once codes are added
  // Rows that are no completed incoming payment: recorded, never mailed by themselves.
  kAwaiting,     // the trade waits for the buyer's payment: pending once the page says paid
  kNotPaid,      // closed, refunded or failed: never mailed
  kOutgoing,     // money the seller paid out (支出)
  kUnconfirmed,  // a status fahuo does not know (the bill's 状态): waits for the seller
  // The buyer's mail service sent the mail back (last_error: why, in Chinese): waits for the
  // seller, with its codes kept.
  kBounced,
};

enum class BillOrigin { kBaseline, kPass, kLapse, kRestart };

std::string_view StateName(BillState state);  // "pending", "sent", ...
std::optional<BillState> StateFromName(std::string_view name);
std::string_view OriginName(BillOrigin origin);

// Why a bill was skipped (stored as these words).
namespace skip {
inline constexpr const char* kNoNote = "no-note";
inline constexpr const char* kNotQq = "not-qq";
inline constexpr const char* kInvalidAddress = "invalid-address";
// A valid address whose domain looks mistyped, with no sure mend: held for the seller, the
// suggested address in last_error and the typed one in typed_recipient.
inline constexpr const char* kSuspectAddress = "suspect-address";
// With kRetrying (and kFailed): an attempt handed the whole mail over and no final reply
// came, so the buyer may have it. With kSent: sent after such an attempt, maybe twice.
inline constexpr const char* kNoFinalReply = "no-final-reply";
inline constexpr const char* kMaybeTwice = "maybe-twice";
inline constexpr const char* kNoRule = "no-rule";
inline constexpr const char* kBadAmount = "bad-amount";
}  // namespace skip

struct LedgerEntry {
  BillRecord bill;  // the eight fields of the page (备用 is not kept)
  // From 1, higher for bills found later; within one batch (one Insert) the first given, the
  // newest payment of the page, gets the highest.
  int64_t seq = 0;
  int64_t first_seen = 0;  // Unix seconds
  BillOrigin origin = BillOrigin::kPass;
  BillState state = BillState::kPending;
  int attempts = 0;        // mails handed to the server, connection failures included
  int64_t next_try = 0;    // Unix seconds; for kRetrying
  std::string last_error;  // GBK
  std::string recipient;
  std::string rule_subject;  // the rule used, as it was when first mailed
  std::string rule_body;
  std::string skip_reason;  // kSkipped: why; kOutOfStock: the stock it waits for (GBK)
  int64_t sent_at = 0;      // Unix seconds
  std::string sent_by;      // the sending account (its address, GBK) of the last mail handed over
  // The Message-ID every automatic attempt of this bill's mail carries, so that a buyer's
  // mail service can drop a second copy; a seller's resend clears it for a new one.
  std::string message_id;
  // The address as the buyer typed it, when the mail went to another one (a corrected typo,
  // or the seller's resend to a new address); empty: the recipient is as typed.
  std::string typed_recipient;
  int resends = 0;    // resends the seller asked for
  std::string codes;  // the codes given to it, blank-separated (GBK; Page only)
};

// A code (卡密) of a stock, and the bill it was given to, if any. Texts GBK.
struct StockCode {
  std::string stock;
  std::string code;
  std::string serial;    // the bill it was given to; empty: still available
  std::string buyer;     // that bill's 名称 (for the given-codes search)
  int64_t given_at = 0;  // Unix seconds
};

struct StockSummary {
  std::string name;  // GBK
  size_t available = 0;
  size_t given = 0;
  int threshold = 0;  // fewer available than this is low stock
  int low_days = 3;   // fewer days left than this at the recent pace is low stock too
  // Codes given over the last kPaceDays (the pace: given_recent / kPaceDays a day), and the
  // whole days the available ones last at that pace; none when none was given.
  size_t given_recent = 0;
  std::optional<int64_t> days_left;
};

inline constexpr int kPaceDays = 14;

inline constexpr int kDefaultLowStock = 5;

// Which entries a listing shows. Every condition set must hold.
struct LedgerFilter {
  std::vector<BillState> states;       // empty: every state
  std::optional<int64_t> seen_from;    // first_seen >= this (Unix seconds)
  std::optional<int64_t> seen_before;  // first_seen < this
  // GBK, matched byte for byte as a part of 流水号, 名称, the recipient or a code given to the
  // bill; empty: no search.
  // '%' and '_' are plain characters here.
  std::string search;
  int64_t below_seq = 0;  // > 0: only entries first seen before this one (paging by key)
};

class Ledger {
 public:
  Ledger() = default;
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // Why an open failed: only a corrupt file is ever replaced; the others are left as they
  // are, since they hold every bill and code the seller has.
  enum class OpenFailure {
    kNone,
    kBusy,     // another program holds the file's lock past the busy timeout: try again
    kNewer,    // written by a newer fahuo: this one must not touch it
    kCorrupt,  // SQLite calls it corrupt or no database
    kOther,    // any other error (permissions, a disk error, another program's tables)
  };
  struct OpenResult {
    bool ok = false;
    bool existed = false;        // the file was there before (not a first run)
    std::string moved_aside_to;  // a corrupt ledger was renamed to this; a new one started
    std::string error;           // why it could not be opened (when !ok)
    OpenFailure failure = OpenFailure::kNone;  // of the file as found (when moved aside too)
  };
  // Opens or creates the ledger at `path`. A file SQLite calls corrupt or not a database is
  // renamed ("<path>.damaged-YYYYMMDD-HHMMSS") and a new one started, never deleted; with
  // `keep_damaged` it is left alone and the open fails (a second program on the file, which
  // must not take a ledger it merely could not read for one from the program that owns it).
  // Any other failure leaves the file untouched and the ledger closed.
  OpenResult Open(const std::string& path, int64_t now_unix, bool keep_damaged = false);
  void Close();
  // Whether a ledger is open: without one no bill is taken or mailed.
  bool IsOpen();

  // Whether any bill was ever recorded.
  bool Empty();
  bool Contains(const std::string& serial);
  std::optional<LedgerEntry> Find(const std::string& serial);

  // Records new bills (in page order, the newest first) in one committed transaction, with
  // their state and origin as set; see LedgerEntry::seq for their numbers. Bills already known are
  // left as they are. False when the write failed (nothing of it was recorded): see LastError().
  bool Insert(std::vector<LedgerEntry>& entries);
  // The same, and in the same transaction the catch-up target: set to `*catch_up_to`, or
  // cleared when it is empty; nullptr leaves it as it is.
  bool Insert(std::vector<LedgerEntry>& entries, const std::string* catch_up_to);
  // Where a catch-up walk of the records that was cut short must get down to: the serial of
  // the newest bill known before the burst. nullopt: no walk is owed.
  std::optional<std::string> CatchUpTarget();
  // The page fields of every bill whose time (paid_key, YYYYMMDDHHMMSS) is `from_key` or
  // later, or unreadable, in the order found, the latest first: what the records pages list
  // from that time on, without asking them again.
  std::vector<BillRecord> BillsFrom(int64_t from_key);
  // The bill recorded last (the newest payment of the latest batch); nullopt: none.
  std::optional<std::string> NewestSerial();

  // Writes every field of an entry except the bill and its number, committed. False when
  // the write failed.
  bool Update(const LedgerEntry& entry);

  // Update, but only while the stored entry still holds what `expected` holds (state,
  // attempts, next try, last error, recipient, rule): a change made by someone else since
  // `expected` was read is never written over.
  enum class UpdateResult { kWritten, kChanged, kFailed };
  UpdateResult UpdateIfUnchanged(const LedgerEntry& entry, const LedgerEntry& expected);

  // Every entry in one of `states`, in the order found (batch by batch, page order within).
  std::vector<LedgerEntry> WithStates(const std::vector<BillState>& states);

  // How many entries `filter` lets through (below_seq ignored), and up to `limit` of them
  // newest first (seq descending) after skipping `offset`. A listing pages most cheaply by
  // setting below_seq to the last seq it holds and offset 0: the rows it holds never shift
  // when new bills come in meanwhile.
  size_t Count(const LedgerFilter& filter);
  std::vector<LedgerEntry> Page(const LedgerFilter& filter, size_t offset, size_t limit);

  // The bills to mail now: pending ones, and retrying ones whose next try has come, in the
  // order found (as WithStates). Reads only those rows, whatever the ledger's size.
  std::vector<LedgerEntry> Due(int64_t now_unix);

  // At start-up: every bill left in "sending" becomes "unknown". Returns them.
  // `*written` (when given): false when a bill could not be written (it stays "sending",
  // which is never mailed, and is settled again at the next start).
  std::vector<LedgerEntry> SettleInterruptedSends(bool* written = nullptr);

  // Why the last failed call failed (UTF-8, from SQLite).
  std::string LastError();

  // --- For views that keep the states of many bills on screen.
  struct StateMark {
    BillState state = BillState::kPending;
    std::string skip_reason;
    std::string last_error;  // some states show it (a bounce's reason, a suggested address)
  };
  // The state of every bill, by serial: one read for a whole list.
  std::unordered_map<std::string, StateMark> AllStates();
  std::optional<StateMark> StateOf(const std::string& serial);
  struct Changes {
    uint64_t revision = 0;  // hand this back next time
    bool complete = true;   // false: more changed than is remembered; read every state again
    std::vector<std::string> serials;  // bills written since, oldest first (may repeat)
  };
  // The bills written (inserted or updated) after `revision`; 0 asks from the beginning.
  Changes ChangedSince(uint64_t revision);

  // Bills mailed at or after `since_unix`.
  size_t CountSentSince(int64_t since_unix);
  // The bill whose mail carried `message_id` (without angle brackets); none: not ours.
  std::optional<LedgerEntry> FindByMessageId(const std::string& message_id);
  // Bills mailed in [from, to] (Unix seconds), the latest first, at most `limit`.
  std::vector<LedgerEntry> SentBetween(int64_t from_unix, int64_t to_unix, size_t limit = 200);
  // When the first bill was mailed (Unix seconds); none before any was.
  std::optional<int64_t> FirstSentAt();

  // A small mark of a reader (reader_marks): its value, none when not set.
  std::optional<std::string> ReaderMark(const std::string& name);
  bool SetReaderMark(const std::string& name, const std::string& value);

  // --- Stocks of codes: each code is available or given to exactly one bill, and a bill
  // takes at most one code of each stock, in the transaction that writes it "sending".
  struct Sending {
    enum class Outcome { kWritten, kChanged, kFailed, kOutOfStock } outcome = Outcome::kFailed;
    std::vector<StockCode> codes;          // the bill's code of each stock asked for
    std::vector<std::string> newly_given;  // stocks whose code was given just now
    std::string empty_stock;               // kOutOfStock: the first stock without a code
    // Fell below their threshold, or below their days at the recent pace, just now.
    std::vector<std::string> low_stocks;
  };
  // Writes `entry` (state "sending") as Update does, or as UpdateIfUnchanged when `expected`
  // is set, and in the same committed transaction gives the bill one code of each of
  // `stocks` that it does not hold yet (oldest added first). When a stock has no code left
  // nothing at all is written (kOutOfStock). A stock that drops below its threshold is
  // reported once, until codes added bring it back up.
  Sending WriteSending(const LedgerEntry& entry, const LedgerEntry* expected,
                       const std::vector<std::string>& stocks, int64_t now_unix);

  struct AddResult {
    bool ok = false;
    size_t added = 0;
    size_t duplicates = 0;  // already in the stock (given or not), or twice in `codes`
  };
  // Adds codes (GBK, non-empty) to a stock, created on first use, in one transaction.
  AddResult AddCodes(const std::string& stock, const std::vector<std::string>& codes);
  // Every stock (with codes or a threshold), by name, its pace counted up to `now_unix`
  // (0: not counted).
  std::vector<StockSummary> Stocks(int64_t now_unix = 0);
  bool SetLowStock(const std::string& stock, int threshold);
  bool SetLowDays(const std::string& stock, int days);
  // The sum of the paid orders (amount_fen of the rows with paid = 1) whose time (paid_key)
  // is within [from_key, to_key]; nullopt when it could not be read.
  std::optional<int64_t> PaidFen(int64_t from_key, int64_t to_key);
  // The codes given to a bill, by stock.
  std::vector<StockCode> CodesOf(const std::string& serial);
  // Given codes holding `search` (GBK, byte for byte; empty: all), the latest given first.
  std::vector<StockCode> GivenCodes(const std::string& search, size_t limit);
  // Codes still available in a stock, oldest first (for an export).
  std::vector<std::string> AvailableCodes(const std::string& stock);
  // Removes the codes of a stock that were never given; returns how many, -1 on failure.
  int64_t DeleteAvailable(const std::string& stock);
  // Puts the codes of a bill that was never mailed (failed, unknown, handled or out of stock,
  // and never sent) back into their stocks. How many (0: none, or the bill was mailed);
  // -1 when the write failed.
  int64_t ReturnCodes(const std::string& serial);

 private:
  OpenFailure OpenAt(const std::string& path, std::string& error);
  bool Exec(const char* sql);
  bool Fail();  // notes why the last SQLite call failed; always false
  void RollBack();
  // An update with `expected` writes only while the row still holds its values.
  bool WriteEntry(const LedgerEntry& e, bool insert, const LedgerEntry* expected = nullptr);

  void NoteChange(const std::string& serial);
  // The codes given to a bill, by stock (the caller holds the mutex); false when the read
  // failed.
  bool ReadCodesOf(const std::string& serial, std::vector<StockCode>& out);
  // Inside WriteSending's transaction: false when the stock had no code left.
  bool GiveCode(const std::string& stock, const std::string& serial, int64_t now_unix,
                Sending& out);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::string last_error_;
  int last_code_ = 0;  // SQLite's extended result code of the last failure
  // The last writes, for ChangedSince: revision of the newest, serials oldest first.
  uint64_t revision_ = 0;
  std::deque<std::string> recent_changes_;
};

}  // namespace fahuo
