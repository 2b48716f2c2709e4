#include "delivery/ledger.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "delivery/sqlite_stmt.h"
#include "platform/file_replace.h"
#include "platform/files.h"

namespace fahuo {
namespace {

constexpr std::array<std::string_view, 11> kStateNames = {
    "baseline", "pending", "sending", "sent",    "retrying",    "failed",
    "skipped",  "held",    "handled", "unknown", "out-of-stock"};
constexpr std::array<std::string_view, 4> kOriginNames = {"baseline", "pass", "lapse", "restart"};

// 1: bills. 2: the stocks of codes beside them (a version-1 file gains the empty tables).
// 3: the account each bill was mailed over (older files gain the column, empty).
constexpr int kSchemaVersion = 3;

// The stocks of codes. A stock's name is bound as text so that it compares equal to a
// bill's skip_reason (an out-of-stock bill waits for it there); codes are bytes.
constexpr const char kStockSchema[] =
    "CREATE TABLE IF NOT EXISTS stocks(name TEXT PRIMARY KEY,"
    " low_stock INTEGER NOT NULL DEFAULT 5, low_noted INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS codes(id INTEGER PRIMARY KEY, stock TEXT NOT NULL,"
    " code BLOB NOT NULL, bill BLOB, given_at INTEGER NOT NULL DEFAULT 0, UNIQUE(stock, code));"
    "CREATE INDEX IF NOT EXISTS codes_free ON codes(stock, bill);"
    "CREATE INDEX IF NOT EXISTS codes_bill ON codes(bill);";

// The columns of the bills table, declared once: the schema, the reads and the writes are
// all made from this list.
enum class Role {
  kKey,       // seq: given by SQLite, read only
  kSerial,    // the bill's identity: inserted, and what an update finds the row by
  kBill,      // a field of the page: inserted, never updated
  kDelivery,  // what became of the bill: inserted and updated
  kGuarded,   // kDelivery, and a conditional update writes only while it is unchanged
};

struct Column {
  const char* name;
  const char* type;
  Role role;
  void (*bind)(Stmt&, int, const LedgerEntry&);
  void (*read)(Stmt&, int, LedgerEntry&);
  int since = 1;  // the schema version that added it: older files gain it by ALTER TABLE
};

#define FAHUO_TEXT_COLUMN(col, field, role)                                                     \
  Column {                                                                                      \
    col, "BLOB NOT NULL", role, [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, field); }, \
        [](Stmt& s, int i, LedgerEntry& e) { field = s.Text(i); }                               \
  }
#define FAHUO_INT_COLUMN(col, field, role)                                                     \
  Column {                                                                                     \
    col, "INTEGER NOT NULL", role,                                                             \
        [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, int64_t{field}); },               \
        [](Stmt& s, int i, LedgerEntry& e) { field = static_cast<decltype(field)>(s.Int(i)); } \
  }

const Column kColumns[] = {
    {"seq", "INTEGER PRIMARY KEY", Role::kKey, nullptr,
     [](Stmt& s, int i, LedgerEntry& e) { e.seq = s.Int(i); }},
    {"serial", "BLOB NOT NULL UNIQUE", Role::kSerial,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, e.bill.流水号); },
     [](Stmt& s, int i, LedgerEntry& e) { e.bill.流水号 = s.Text(i); }},
    FAHUO_TEXT_COLUMN("date", e.bill.日期, Role::kBill),
    FAHUO_TEXT_COLUMN("name", e.bill.名称, Role::kBill),
    FAHUO_TEXT_COLUMN("counterparty", e.bill.对方, Role::kBill),
    FAHUO_TEXT_COLUMN("amount", e.bill.金额, Role::kBill),
    FAHUO_TEXT_COLUMN("status", e.bill.状态, Role::kBill),
    FAHUO_TEXT_COLUMN("note", e.bill.备注, Role::kBill),
    FAHUO_TEXT_COLUMN("link", e.bill.链接, Role::kBill),
    FAHUO_INT_COLUMN("first_seen", e.first_seen, Role::kDelivery),
    {"origin", "TEXT NOT NULL", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, OriginName(e.origin)); },
     [](Stmt& s, int i, LedgerEntry& e) {
       const std::string origin = s.Text(i);
       for (size_t k = 0; k < kOriginNames.size(); ++k) {
         if (origin == kOriginNames[k]) e.origin = static_cast<BillOrigin>(k);
       }
     }},
    {"state", "TEXT NOT NULL", Role::kGuarded,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, StateName(e.state)); },
     [](Stmt& s, int i, LedgerEntry& e) {
       e.state = StateFromName(s.Text(i)).value_or(BillState::kUnknown);
     }},
    FAHUO_INT_COLUMN("attempts", e.attempts, Role::kGuarded),
    FAHUO_INT_COLUMN("next_try", e.next_try, Role::kGuarded),
    FAHUO_TEXT_COLUMN("last_error", e.last_error, Role::kGuarded),
    FAHUO_TEXT_COLUMN("recipient", e.recipient, Role::kGuarded),
    FAHUO_TEXT_COLUMN("rule_subject", e.rule_subject, Role::kGuarded),
    FAHUO_TEXT_COLUMN("rule_body", e.rule_body, Role::kGuarded),
    {"skip_reason", "TEXT NOT NULL", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, std::string_view(e.skip_reason)); },
     [](Stmt& s, int i, LedgerEntry& e) { e.skip_reason = s.Text(i); }},
    FAHUO_INT_COLUMN("sent_at", e.sent_at, Role::kDelivery),
    {"sent_by", "BLOB NOT NULL DEFAULT x''", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, e.sent_by); },
     [](Stmt& s, int i, LedgerEntry& e) { e.sent_by = s.Text(i); }, 3},
};

#undef FAHUO_TEXT_COLUMN
#undef FAHUO_INT_COLUMN

bool Updated(Role role) { return role == Role::kDelivery || role == Role::kGuarded; }

// The statements made from the column list, built once.
struct Sql {
  std::string schema;
  std::string select;               // "SELECT <every column>"
  std::string insert;               // parameters: every column but seq, in list order
  std::string update;               // ?1 the serial, then the updated columns in list order
  std::string update_if_unchanged;  // update's parameters, then the guarded columns' old values
  std::vector<std::string> added;   // per schema version: what a file of that version lacks
};

Sql MakeSql() {
  Sql sql;
  std::string declared, names, inserted, values, set, guard;
  int param = 0, set_param = 1;
  for (const Column& c : kColumns) {
    declared += std::string(declared.empty() ? "" : ", ") + c.name + " " + c.type;
    names += std::string(names.empty() ? "" : ", ") + c.name;
    if (c.role != Role::kKey) {
      inserted += std::string(inserted.empty() ? "" : ", ") + c.name;
      values += std::string(values.empty() ? "" : ",") + "?" + std::to_string(++param);
    }
    if (Updated(c.role)) {
      set += std::string(set.empty() ? "" : ", ") + c.name + "=?" + std::to_string(++set_param);
    }
  }
  int guard_param = set_param;
  for (const Column& c : kColumns) {
    if (c.role == Role::kGuarded) {
      guard += std::string(" AND ") + c.name + "=?" + std::to_string(++guard_param);
    }
  }
  sql.schema = "CREATE TABLE IF NOT EXISTS bills(" + declared +
               ");"
               "CREATE INDEX IF NOT EXISTS bills_state ON bills(state);"
               "CREATE INDEX IF NOT EXISTS bills_sent_at ON bills(sent_at);"
               "CREATE INDEX IF NOT EXISTS bills_first_seen ON bills(first_seen);" +
               kStockSchema;
  sql.select = "SELECT " + names;
  sql.insert = "INSERT OR IGNORE INTO bills(" + inserted + ") VALUES(" + values + ");";
  sql.update = "UPDATE bills SET " + set + " WHERE serial=?1";
  sql.update_if_unchanged = sql.update + guard;
  sql.added.resize(kSchemaVersion + 1);
  for (int version = 1; version <= kSchemaVersion; ++version) {
    for (const Column& c : kColumns) {
      if (c.since > version) {
        sql.added[version] +=
            std::string("ALTER TABLE bills ADD COLUMN ") + c.name + " " + c.type + ";";
      }
    }
  }
  return sql;
}

const Sql& Statements() {
  static const Sql sql = MakeSql();  // immutable once built
  return sql;
}

LedgerEntry ReadEntry(Stmt& s) {
  LedgerEntry e;
  int i = 0;
  for (const Column& c : kColumns) c.read(s, i++, e);
  return e;
}

// The order bills were found in: batch after batch, and within a batch in page order (the
// newest payment first), which Insert numbers from the highest down.
constexpr const char kFoundOrder[] = " ORDER BY first_seen, seq DESC";

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
    // A buyer who writes that a code does not work is found by the code too.
    clauses.push_back(
        "(instr(serial, ?) > 0 OR instr(name, ?) > 0 OR instr(recipient, ?) > 0 OR EXISTS"
        " (SELECT 1 FROM codes WHERE codes.bill = bills.serial AND instr(codes.code, ?) > 0))");
    out.blobs.assign(4, f.search);
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
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  return Fail();
}

bool Ledger::Fail() {
  const int code = sqlite3_extended_errcode(db_);
  std::string why = sqlite3_errmsg(db_);
  // The seller can mend a full disk; say so in their words, keeping SQLite's for the rest.
  if ((code & 0xff) == SQLITE_FULL || sqlite3_system_errno(db_) == ENOSPC) {
    why = "磁盘空间不足，请清理数据文件夹所在的磁盘（" + why + "）";
  }
  last_error_ = why;
  return false;
}

void Ledger::RollBack() {
  // After a failed COMMIT SQLite may have rolled back already; either way the first error
  // is the one worth reporting, so this one's is not kept.
  if (sqlite3_get_autocommit(db_)) return;
  sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
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
  // The schema, the columns an older fahuo's file lacks, and the new version number in one
  // transaction: a crash in between leaves the file as it was.
  if (ok) {
    std::string upgrade = "BEGIN IMMEDIATE;";
    if (version >= 1 && version < kSchemaVersion) upgrade += Statements().added[version];
    upgrade += Statements().schema;
    if (version < kSchemaVersion) {
      upgrade += "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    }
    ok = Exec((upgrade + "COMMIT;").c_str());
    if (!ok) RollBack();
  }
  if (ok) {
    // A file that opened but is no ledger of ours (another program's database).
    Stmt s(db_, (Statements().select + " FROM bills LIMIT 1;").c_str());
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

Ledger::OpenResult Ledger::Open(const std::string& path, int64_t now_unix, bool keep_damaged) {
  std::lock_guard lock(mutex_);
  OpenResult result;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  result.existed = PathExists(path);
  std::string error;
  if (OpenAt(path, error)) {
    result.ok = true;
    return result;
  }
  if (!result.existed || keep_damaged) {
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
    if (PathExists(path + side)) std::rename((path + side).c_str(), (aside + side).c_str());
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
  Stmt s(db_, (Statements().select + " FROM bills WHERE serial = ?1;").c_str());
  if (!s.ok()) return std::nullopt;
  s.Bind(1, serial);
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return ReadEntry(s);
}

bool Ledger::WriteEntry(const LedgerEntry& e, bool insert, const LedgerEntry* expected) {
  const Sql& sql = Statements();
  Stmt s(db_, insert     ? sql.insert.c_str()
              : expected ? sql.update_if_unchanged.c_str()
                         : sql.update.c_str());
  if (!s.ok()) return Fail();
  int param = 1;
  if (!insert) kColumns[1].bind(s, param++, e);  // the serial finds the row
  for (const Column& c : kColumns) {
    if (c.role == Role::kKey || (!insert && !Updated(c.role))) continue;
    c.bind(s, param++, e);
  }
  if (expected) {
    for (const Column& c : kColumns) {
      if (c.role == Role::kGuarded) c.bind(s, param++, *expected);
    }
  }
  if (s.Step() != SQLITE_DONE) return Fail();
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
  // From the last given to the first: the first (the newest payment of a page) gets the
  // highest number, so that listings newest first show a batch in page order.
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (!WriteEntry(*e, true)) {
      RollBack();
      return false;
    }
    e->seq = sqlite3_changes(db_) ? sqlite3_last_insert_rowid(db_) : 0;
  }
  if (!Exec("COMMIT;")) {
    RollBack();
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
  Stmt s(db_, (Statements().select +
               ", (SELECT group_concat(code, ' ') FROM codes WHERE codes.bill = bills.serial)"
               " FROM bills" +
               sql.where + " ORDER BY seq DESC LIMIT ? OFFSET ?;")
                  .c_str());
  if (!s.ok()) return out;
  const int next = BindFilter(s, filter, sql);
  s.Bind(next, static_cast<int64_t>(limit));
  s.Bind(next + 1, static_cast<int64_t>(offset));
  while (s.Step() == SQLITE_ROW) {
    out.push_back(ReadEntry(s));
    out.back().codes = s.Text(static_cast<int>(std::size(kColumns)));
  }
  return out;
}

std::vector<LedgerEntry> Ledger::WithStates(const std::vector<BillState>& states) {
  std::lock_guard lock(mutex_);
  std::vector<LedgerEntry> out;
  if (!db_ || states.empty()) return out;
  Stmt s(db_,
         (Statements().select + " FROM bills WHERE " + StateIn(states.size()) + kFoundOrder + ";")
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
  // A bill out of stock is due again once its stock has a code (added by fahuo-cli, say).
  Stmt s(db_, (Statements().select +
               " FROM bills WHERE state = ?1 OR (state = ?2 AND next_try <= ?3) OR (state = ?4 AND"
               " EXISTS (SELECT 1 FROM codes WHERE codes.stock = bills.skip_reason AND"
               " codes.bill IS NULL))" +
               kFoundOrder + ";")
                  .c_str());
  if (!s.ok()) return out;
  s.Bind(1, StateName(BillState::kPending));
  s.Bind(2, StateName(BillState::kRetrying));
  s.Bind(3, now_unix);
  s.Bind(4, StateName(BillState::kOutOfStock));
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
