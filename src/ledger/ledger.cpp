#include "ledger/ledger.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "ledger/ledger_schema.h"
#include "ledger/sqlite_stmt.h"

namespace fahuo {
namespace {

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

using ledger_schema::ReadEntry;
using ledger_schema::Statements;

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
  const ledger_schema::Sql& sql = Statements();
  Stmt s(db_, insert     ? sql.insert.c_str()
              : expected ? sql.update_if_unchanged.c_str()
                         : sql.update.c_str());
  if (!s.ok()) return Fail();
  ledger_schema::BindEntry(s, e, insert, expected);
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

bool Ledger::Insert(std::vector<LedgerEntry>& entries) { return Insert(entries, nullptr); }

std::optional<std::string> Ledger::CatchUpTarget() {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT value FROM reader_marks WHERE name='catch-up';");
  if (!s.ok() || s.Step() != SQLITE_ROW) return std::nullopt;
  return s.Text(0);
}

std::optional<std::string> Ledger::NewestSerial() {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT serial FROM bills ORDER BY seq DESC LIMIT 1;");
  if (!s.ok() || s.Step() != SQLITE_ROW) return std::nullopt;
  return s.Text(0);
}

bool Ledger::Insert(std::vector<LedgerEntry>& entries, const std::string* catch_up_to) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  if (entries.empty() && !catch_up_to) return true;
  if (!Exec("BEGIN IMMEDIATE;")) return false;
  if (catch_up_to) {
    Stmt mark(db_,
              catch_up_to->empty()
                  ? "DELETE FROM reader_marks WHERE name='catch-up';"
                  : "INSERT OR REPLACE INTO reader_marks(name, value) VALUES('catch-up', ?1);");
    if (!catch_up_to->empty()) mark.Bind(1, *catch_up_to);
    if (!mark.ok() || mark.Step() != SQLITE_DONE) {
      Fail();
      RollBack();
      return false;
    }
  }
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
    out.back().codes = s.Text(static_cast<int>(ledger_schema::ColumnCount()));
  }
  return out;
}

std::vector<BillRecord> Ledger::BillsFrom(int64_t from_key) {
  std::lock_guard lock(mutex_);
  std::vector<BillRecord> out;
  if (!db_) return out;
  // The page fields alone: a year can be tens of thousands of bills.
  Stmt s(db_,
         "SELECT serial, date, name, counterparty, amount, status, note, link FROM bills"
         " WHERE paid_key >= ?1 OR paid_key = 0 ORDER BY seq DESC;");
  if (!s.ok()) return out;
  s.Bind(1, from_key);
  while (s.Step() == SQLITE_ROW) {
    BillRecord& b = out.emplace_back();
    b.流水号 = s.Text(0);
    b.日期 = s.Text(1);
    b.名称 = s.Text(2);
    b.对方 = s.Text(3);
    b.金额 = s.Text(4);
    b.状态 = s.Text(5);
    b.备注 = s.Text(6);
    b.链接 = s.Text(7);
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

std::vector<LedgerEntry> Ledger::SettleInterruptedSends(bool* written) {
  std::vector<LedgerEntry> interrupted = WithStates({BillState::kSending});
  bool all = true;
  for (LedgerEntry& e : interrupted) {
    e.state = BillState::kUnknown;
    all = Update(e) && all;
  }
  if (written) *written = all;
  return interrupted;
}

std::string Ledger::LastError() {
  std::lock_guard lock(mutex_);
  return last_error_;
}

// The last error of the states whose text shows it (StateText); the other rows' errors are
// not read, so a whole list stays one light read.
constexpr const char* kShownErrorSql =
    "CASE WHEN state = 'bounced' OR skip_reason = 'suspect-address' THEN last_error END";

std::unordered_map<std::string, Ledger::StateMark> Ledger::AllStates() {
  std::lock_guard lock(mutex_);
  std::unordered_map<std::string, StateMark> out;
  if (!db_) return out;
  Stmt s(db_, std::string("SELECT serial, state, skip_reason, ") + kShownErrorSql + " FROM bills;");
  if (!s.ok()) return out;
  while (s.Step() == SQLITE_ROW) {
    StateMark& mark = out[s.Text(0)];
    mark.state = StateFromName(s.Text(1)).value_or(BillState::kUnknown);
    mark.skip_reason = s.Text(2);
    mark.last_error = s.Text(3);
  }
  return out;
}

std::optional<Ledger::StateMark> Ledger::StateOf(const std::string& serial) {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, std::string("SELECT state, skip_reason, ") + kShownErrorSql +
                  " FROM bills WHERE serial = ?1;");
  if (!s.ok()) return std::nullopt;
  s.Bind(1, serial);
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return StateMark{StateFromName(s.Text(0)).value_or(BillState::kUnknown), s.Text(1), s.Text(2)};
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

std::optional<LedgerEntry> Ledger::FindByMessageId(const std::string& message_id) {
  std::lock_guard lock(mutex_);
  if (!db_ || message_id.empty()) return std::nullopt;
  // Stored as the header carries it, in angle brackets; a bare one is matched too.
  Stmt s(db_, (Statements().select + " FROM bills WHERE message_id IN (?1, ?2) LIMIT 1;").c_str());
  if (!s.ok()) return std::nullopt;
  s.Bind(1, "<" + message_id + ">");
  s.Bind(2, message_id);
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return ReadEntry(s);
}

std::vector<LedgerEntry> Ledger::SentBetween(int64_t from_unix, int64_t to_unix, size_t limit) {
  std::lock_guard lock(mutex_);
  std::vector<LedgerEntry> out;
  if (!db_) return out;
  Stmt s(db_, (Statements().select +
               " FROM bills WHERE sent_at >= ?1 AND sent_at <= ?2 ORDER BY sent_at DESC LIMIT ?3;")
                  .c_str());
  if (!s.ok()) return out;
  s.Bind(1, from_unix);
  s.Bind(2, to_unix);
  s.Bind(3, static_cast<int64_t>(limit));
  while (s.Step() == SQLITE_ROW) out.push_back(ReadEntry(s));
  return out;
}

std::optional<int64_t> Ledger::FirstSentAt() {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT MIN(sent_at) FROM bills WHERE sent_at > 0;");
  if (!s.ok() || s.Step() != SQLITE_ROW || s.Int(0) <= 0) return std::nullopt;
  return s.Int(0);
}

std::optional<std::string> Ledger::ReaderMark(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT value FROM reader_marks WHERE name = ?1;");
  if (!s.ok()) return std::nullopt;
  s.Bind(1, std::string_view(name));
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return s.Text(0);
}

bool Ledger::SetReaderMark(const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  Stmt s(db_, "INSERT OR REPLACE INTO reader_marks(name, value) VALUES(?1, ?2);");
  if (!s.ok()) return Fail();
  s.Bind(1, std::string_view(name));
  s.Bind(2, value);
  if (s.Step() != SQLITE_DONE) return Fail();
  return true;
}

}  // namespace fahuo
