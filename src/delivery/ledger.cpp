#include "delivery/ledger.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/file_replace.h"
#include "platform/files.h"

namespace fahuo {
namespace {

constexpr std::array<std::string_view, 10> kStateNames = {"baseline", "pending", "sending", "sent",
                                                          "retrying", "failed",  "skipped", "held",
                                                          "handled",  "unknown"};
constexpr std::array<std::string_view, 4> kOriginNames = {"baseline", "pass", "lapse", "restart"};

constexpr int kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS bills("
    " seq INTEGER PRIMARY KEY,"
    " serial BLOB NOT NULL UNIQUE,"
    " date BLOB NOT NULL, name BLOB NOT NULL, counterparty BLOB NOT NULL,"
    " amount BLOB NOT NULL, status BLOB NOT NULL, note BLOB NOT NULL, link BLOB NOT NULL,"
    " first_seen INTEGER NOT NULL, origin TEXT NOT NULL, state TEXT NOT NULL,"
    " attempts INTEGER NOT NULL, next_try INTEGER NOT NULL, last_error BLOB NOT NULL,"
    " recipient BLOB NOT NULL, rule_subject BLOB NOT NULL, rule_body BLOB NOT NULL,"
    " skip_reason TEXT NOT NULL, sent_at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS bills_state ON bills(state);"
    "CREATE INDEX IF NOT EXISTS bills_sent_at ON bills(sent_at);"
    "CREATE INDEX IF NOT EXISTS bills_first_seen ON bills(first_seen);";

const char kColumns[] =
    "seq, serial, date, name, counterparty, amount, status, note, link, first_seen, origin, "
    "state, attempts, next_try, last_error, recipient, rule_subject, rule_body, skip_reason, "
    "sent_at";

// One prepared statement, finalised on every way out.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() { return stmt_; }
  void Bind(int i, const std::string& text) {
    sqlite3_bind_blob(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, std::string_view text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  int Step() { return sqlite3_step(stmt_); }
  std::string Text(int column) {
    const void* p = sqlite3_column_blob(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }
  int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

LedgerEntry ReadEntry(Stmt& s) {
  LedgerEntry e;
  e.seq = s.Int(0);
  e.bill.流水号 = s.Text(1);
  e.bill.日期 = s.Text(2);
  e.bill.名称 = s.Text(3);
  e.bill.对方 = s.Text(4);
  e.bill.金额 = s.Text(5);
  e.bill.状态 = s.Text(6);
  e.bill.备注 = s.Text(7);
  e.bill.链接 = s.Text(8);
  e.first_seen = s.Int(9);
  const std::string origin = s.Text(10);
  for (size_t i = 0; i < kOriginNames.size(); ++i) {
    if (origin == kOriginNames[i]) e.origin = static_cast<BillOrigin>(i);
  }
  e.state = StateFromName(s.Text(11)).value_or(BillState::kUnknown);
  e.attempts = static_cast<int>(s.Int(12));
  e.next_try = s.Int(13);
  e.last_error = s.Text(14);
  e.recipient = s.Text(15);
  e.rule_subject = s.Text(16);
  e.rule_body = s.Text(17);
  e.skip_reason = s.Text(18);
  e.sent_at = s.Int(19);
  return e;
}

// "state IN (?,?,...)" for `count` states.
std::string StateIn(size_t count) {
  std::string in = "state IN (";
  for (size_t i = 0; i < count; ++i) in += i ? ",?" : "?";
  return in + ")";
}

// The WHERE clause of a filtered listing and the values for its parameters, bound in order.
// For a page the date range is kept off its index (unary +): walking seq downwards and
// stopping after one page beats fetching the whole range and sorting it.
struct FilterSql {
  std::string where;
  std::vector<std::string> blobs;  // bound as blobs (GBK), in order, after the states
  std::vector<int64_t> ints;       // bound after the blobs
};

FilterSql BuildFilter(const LedgerFilter& f, bool for_page) {
  FilterSql out;
  std::vector<std::string> clauses;
  if (!f.states.empty()) clauses.push_back(StateIn(f.states.size()));
  if (!f.search.empty()) {
    clauses.push_back("(instr(serial, ?) > 0 OR instr(name, ?) > 0 OR instr(recipient, ?) > 0)");
    out.blobs.assign(3, f.search);
  }
  const char* seen = for_page ? "+first_seen" : "first_seen";
  if (f.seen_from) {
    clauses.push_back(std::string(seen) + " >= ?");
    out.ints.push_back(*f.seen_from);
  }
  if (f.seen_before) {
    clauses.push_back(std::string(seen) + " < ?");
    out.ints.push_back(*f.seen_before);
  }
  if (for_page && f.below_seq > 0) {
    clauses.push_back("seq < ?");
    out.ints.push_back(f.below_seq);
  }
  for (size_t i = 0; i < clauses.size(); ++i) out.where += (i ? " AND " : " WHERE ") + clauses[i];
  return out;
}

// Binds what BuildFilter asked for; returns the next free parameter number.
int BindFilter(Stmt& s, const LedgerFilter& f, const FilterSql& sql) {
  int i = 1;
  for (BillState state : f.states) s.Bind(i++, StateName(state));
  for (const std::string& blob : sql.blobs) s.Bind(i++, blob);
  for (int64_t value : sql.ints) s.Bind(i++, value);
  return i;
}

bool Exists(const std::string& path) { return PathExists(path); }

}  // namespace

std::string_view StateName(BillState state) { return kStateNames[static_cast<size_t>(state)]; }

std::optional<BillState> StateFromName(std::string_view name) {
  for (size_t i = 0; i < kStateNames.size(); ++i) {
    if (kStateNames[i] == name) return static_cast<BillState>(i);
  }
  return std::nullopt;
}

std::string_view OriginName(BillOrigin origin) { return kOriginNames[static_cast<size_t>(origin)]; }

Ledger::~Ledger() { Close(); }

void Ledger::Close() {
  std::lock_guard lock(mutex_);
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool Ledger::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  last_error_ = message ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool Ledger::OpenAt(const std::string& path, std::string& error) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, 5000);
  // WAL with a full sync on every commit: a commit that returned survives a power cut.
  bool ok = Exec("PRAGMA journal_mode=WAL;") && Exec("PRAGMA synchronous=FULL;");
  int version = 0;
  if (ok) {
    Stmt s(db_, "PRAGMA user_version;");
    ok = s.ok() && s.Step() == SQLITE_ROW;
    if (ok) version = static_cast<int>(s.Int(0));
  }
  if (ok && version > kSchemaVersion) {
    last_error_ = "ledger written by a newer fahuo";
    ok = false;
  }
  if (ok) ok = Exec(kSchema);
  if (ok && version < kSchemaVersion) {
    ok = Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";").c_str());
  }
  if (ok) {
    // A file that opened but is no ledger of ours (another program's database).
    Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM bills LIMIT 1;").c_str());
    ok = s.ok();
    if (!ok) last_error_ = sqlite3_errmsg(db_);
  }
  if (!ok) {
    error = last_error_;
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  return ok;
}

Ledger::OpenResult Ledger::Open(const std::string& path, int64_t now_unix) {
  std::lock_guard lock(mutex_);
  OpenResult result;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  result.existed = Exists(path);
  std::string error;
  if (OpenAt(path, error)) {
    result.ok = true;
    return result;
  }
  if (!result.existed) {
    result.error = error;
    return result;
  }
  // Keep the damaged file for whoever wants to look at it, and start afresh.
  const std::string aside = MoveAside(path, "damaged", now_unix);
  if (aside.empty()) {
    result.error = error;
    return result;
  }
  for (const char* side : {"-wal", "-shm"}) {
    if (Exists(path + side)) std::rename((path + side).c_str(), (aside + side).c_str());
  }
  result.moved_aside_to = aside;
  result.ok = OpenAt(path, error);
  if (!result.ok) result.error = error;
  return result;
}

bool Ledger::Empty() {
  std::lock_guard lock(mutex_);
  if (!db_) return true;
  Stmt s(db_, "SELECT 1 FROM bills LIMIT 1;");
  return !(s.ok() && s.Step() == SQLITE_ROW);
}

bool Ledger::Contains(const std::string& serial) {
  std::lock_guard lock(mutex_);
  if (!db_) return false;
  Stmt s(db_, "SELECT 1 FROM bills WHERE serial = ?1;");
  if (!s.ok()) return false;
  s.Bind(1, serial);
  return s.Step() == SQLITE_ROW;
}

std::optional<LedgerEntry> Ledger::Find(const std::string& serial) {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM bills WHERE serial = ?1;").c_str());
  if (!s.ok()) return std::nullopt;
  s.Bind(1, serial);
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return ReadEntry(s);
}

bool Ledger::WriteEntry(const LedgerEntry& e, bool insert, const LedgerEntry* expected) {
  static const std::string kUpdate =
      "UPDATE bills SET first_seen=?9, origin=?10, state=?11, attempts=?12, next_try=?13, "
      "last_error=?14, recipient=?15, rule_subject=?16, rule_body=?17, skip_reason=?18, "
      "sent_at=?19 WHERE serial=?1";
  static const std::string kUpdateIfUnchanged =
      kUpdate +
      " AND state=?20 AND attempts=?21 AND next_try=?22 AND last_error=?23 AND recipient=?24"
      " AND rule_subject=?25 AND rule_body=?26";
  Stmt s(db_, insert     ? "INSERT OR IGNORE INTO bills(serial, date, name, counterparty, amount, "
                           "status, note, link, first_seen, origin, state, attempts, next_try, "
                           "last_error, recipient, rule_subject, rule_body, skip_reason, sent_at) "
                           "VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19);"
              : expected ? kUpdateIfUnchanged.c_str()
                         : kUpdate.c_str());
  if (!s.ok()) {
    last_error_ = sqlite3_errmsg(db_);
    return false;
  }
  s.Bind(1, e.bill.流水号);
  if (insert) {
    s.Bind(2, e.bill.日期);
    s.Bind(3, e.bill.名称);
    s.Bind(4, e.bill.对方);
    s.Bind(5, e.bill.金额);
    s.Bind(6, e.bill.状态);
    s.Bind(7, e.bill.备注);
    s.Bind(8, e.bill.链接);
  }
  s.Bind(9, e.first_seen);
  s.Bind(10, OriginName(e.origin));
  s.Bind(11, StateName(e.state));
  s.Bind(12, static_cast<int64_t>(e.attempts));
  s.Bind(13, e.next_try);
  s.Bind(14, e.last_error);
  s.Bind(15, e.recipient);
  s.Bind(16, e.rule_subject);
  s.Bind(17, e.rule_body);
  s.Bind(18, std::string_view(e.skip_reason));
  s.Bind(19, e.sent_at);
  if (expected) {
    s.Bind(20, StateName(expected->state));
    s.Bind(21, static_cast<int64_t>(expected->attempts));
    s.Bind(22, expected->next_try);
    s.Bind(23, expected->last_error);
    s.Bind(24, expected->recipient);
    s.Bind(25, expected->rule_subject);
    s.Bind(26, expected->rule_body);
  }
  if (s.Step() != SQLITE_DONE) {
    last_error_ = sqlite3_errmsg(db_);
    return false;
  }
  if (sqlite3_changes(db_) > 0) NoteChange(e.bill.流水号);
  return true;
}

void Ledger::NoteChange(const std::string& serial) {
  // Enough for many passes between two redraws; a view that fell further behind re-reads.
  constexpr size_t kRemembered = 4096;
  ++revision_;
  recent_changes_.push_back(serial);
  if (recent_changes_.size() > kRemembered) recent_changes_.pop_front();
}

bool Ledger::Insert(std::vector<LedgerEntry>& entries) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  if (entries.empty()) return true;
  if (!Exec("BEGIN IMMEDIATE;")) return false;
  for (LedgerEntry& e : entries) {
    if (!WriteEntry(e, true)) {
      Exec("ROLLBACK;");
      return false;
    }
    e.seq = sqlite3_changes(db_) ? sqlite3_last_insert_rowid(db_) : 0;
  }
  if (!Exec("COMMIT;")) {
    Exec("ROLLBACK;");
    return false;
  }
  return true;
}

bool Ledger::Update(const LedgerEntry& entry) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  return WriteEntry(entry, false);  // one statement: its own committed transaction
}

Ledger::UpdateResult Ledger::UpdateIfUnchanged(const LedgerEntry& e, const LedgerEntry& expected) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return UpdateResult::kFailed;
  }
  if (!WriteEntry(e, false, &expected)) return UpdateResult::kFailed;
  return sqlite3_changes(db_) ? UpdateResult::kWritten : UpdateResult::kChanged;
}

size_t Ledger::Count(const LedgerFilter& filter) {
  std::lock_guard lock(mutex_);
  if (!db_) return 0;
  const FilterSql sql = BuildFilter(filter, false);
  Stmt s(db_, ("SELECT COUNT(*) FROM bills" + sql.where + ";").c_str());
  if (!s.ok()) return 0;
  BindFilter(s, filter, sql);
  return s.Step() == SQLITE_ROW ? static_cast<size_t>(s.Int(0)) : 0;
}

std::vector<LedgerEntry> Ledger::Page(const LedgerFilter& filter, size_t offset, size_t limit) {
  std::lock_guard lock(mutex_);
  std::vector<LedgerEntry> out;
  if (!db_ || limit == 0) return out;
  const FilterSql sql = BuildFilter(filter, true);
  Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM bills" + sql.where +
               " ORDER BY seq DESC LIMIT ? OFFSET ?;")
                  .c_str());
  if (!s.ok()) return out;
  const int next = BindFilter(s, filter, sql);
  s.Bind(next, static_cast<int64_t>(limit));
  s.Bind(next + 1, static_cast<int64_t>(offset));
  while (s.Step() == SQLITE_ROW) out.push_back(ReadEntry(s));
  return out;
}

std::vector<LedgerEntry> Ledger::WithStates(const std::vector<BillState>& states) {
  std::lock_guard lock(mutex_);
  std::vector<LedgerEntry> out;
  if (!db_ || states.empty()) return out;
  Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM bills WHERE " + StateIn(states.size()) +
               " ORDER BY seq;")
                  .c_str());
  if (!s.ok()) return out;
  for (size_t i = 0; i < states.size(); ++i) s.Bind(static_cast<int>(i + 1), StateName(states[i]));
  while (s.Step() == SQLITE_ROW) out.push_back(ReadEntry(s));
  return out;
}

std::vector<LedgerEntry> Ledger::Due(int64_t now_unix) {
  std::lock_guard lock(mutex_);
  std::vector<LedgerEntry> out;
  if (!db_) return out;
  Stmt s(db_, (std::string("SELECT ") + kColumns +
               " FROM bills WHERE state = ?1 OR (state = ?2 AND next_try <= ?3) ORDER BY seq;")
                  .c_str());
  if (!s.ok()) return out;
  s.Bind(1, StateName(BillState::kPending));
  s.Bind(2, StateName(BillState::kRetrying));
  s.Bind(3, now_unix);
  while (s.Step() == SQLITE_ROW) out.push_back(ReadEntry(s));
  return out;
}

std::vector<LedgerEntry> Ledger::SettleInterruptedSends() {
  std::vector<LedgerEntry> interrupted = WithStates({BillState::kSending});
  for (LedgerEntry& e : interrupted) {
    e.state = BillState::kUnknown;
    Update(e);
  }
  return interrupted;
}

std::string Ledger::LastError() {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::unordered_map<std::string, Ledger::StateMark> Ledger::AllStates() {
  std::lock_guard lock(mutex_);
  std::unordered_map<std::string, StateMark> out;
  if (!db_) return out;
  Stmt s(db_, "SELECT serial, state, skip_reason FROM bills;");
  if (!s.ok()) return out;
  while (s.Step() == SQLITE_ROW) {
    StateMark& mark = out[s.Text(0)];
    mark.state = StateFromName(s.Text(1)).value_or(BillState::kUnknown);
    mark.skip_reason = s.Text(2);
  }
  return out;
}

std::optional<Ledger::StateMark> Ledger::StateOf(const std::string& serial) {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT state, skip_reason FROM bills WHERE serial = ?1;");
  if (!s.ok()) return std::nullopt;
  s.Bind(1, serial);
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return StateMark{StateFromName(s.Text(0)).value_or(BillState::kUnknown), s.Text(1)};
}

Ledger::Changes Ledger::ChangedSince(uint64_t revision) {
  std::lock_guard lock(mutex_);
  Changes out;
  out.revision = revision_;
  if (revision >= revision_) return out;
  const uint64_t missed = revision_ - revision;
  if (missed > recent_changes_.size()) {
    out.complete = false;
    return out;
  }
  out.serials.assign(recent_changes_.end() - static_cast<std::ptrdiff_t>(missed),
                     recent_changes_.end());
  return out;
}

size_t Ledger::CountSentSince(int64_t since_unix) {
  std::lock_guard lock(mutex_);
  if (!db_) return 0;
  Stmt s(db_, "SELECT COUNT(*) FROM bills WHERE state = ?1 AND sent_at >= ?2;");
  if (!s.ok()) return 0;
  s.Bind(1, StateName(BillState::kSent));
  s.Bind(2, since_unix);
  return s.Step() == SQLITE_ROW ? static_cast<size_t>(s.Int(0)) : 0;
}

}  // namespace fahuo
