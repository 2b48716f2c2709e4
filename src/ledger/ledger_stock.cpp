// The ledger's stocks of codes: kept in fahuo.db beside the bills, so that the code a bill
// takes and the bill's "sending" are one commit.
#include <sqlite3.h>

#include <algorithm>
#include <limits>

#include "ledger/ledger.h"
#include "ledger/sqlite_stmt.h"

namespace fahuo {
namespace {

std::string_view Name(const std::string& stock) { return stock; }  // stock names bind as text

constexpr int64_t kPaceSeconds = int64_t{kPaceDays} * 86400;

// Fewer days left than low_days at the pace of the codes given since ?2: available / (given /
// kPaceDays) < low_days, in whole numbers. Nothing given: no days are counted.
std::string DaysShort() {
  return " (SELECT COUNT(*) FROM codes WHERE stock = ?1 AND bill IS NOT NULL AND given_at > ?2)"
         " * low_days > (SELECT COUNT(*) FROM codes WHERE stock = ?1 AND bill IS NULL) * " +
         std::to_string(kPaceDays);
}

// Back at or above the threshold: the next fall below it is told again; so is the next fall
// below the days, once codes were added.
bool ClearLowNote(sqlite3* db, const std::string& stock) {
  Stmt refilled(db,
                "UPDATE stocks SET low_noted = 0 WHERE name = ?1 AND low_stock <="
                " (SELECT COUNT(*) FROM codes WHERE stock = ?1 AND bill IS NULL);");
  if (!refilled.ok()) return false;
  refilled.Bind(1, Name(stock));
  if (refilled.Step() != SQLITE_DONE) return false;
  Stmt days(db, "UPDATE stocks SET days_noted = 0 WHERE name = ?1;");
  if (!days.ok()) return false;
  days.Bind(1, Name(stock));
  return days.Step() == SQLITE_DONE;
}

}  // namespace

bool Ledger::GiveCode(const std::string& stock, const std::string& serial, int64_t now_unix,
                      Sending& out) {
  Stmt pick(db_,
            "SELECT id, code FROM codes WHERE stock = ?1 AND bill IS NULL ORDER BY id LIMIT 1;");
  if (!pick.ok()) return Fail();
  pick.Bind(1, Name(stock));
  const int step = pick.Step();
  if (step == SQLITE_DONE) {
    out.empty_stock = stock;
    out.outcome = Sending::Outcome::kOutOfStock;
    return false;
  }
  if (step != SQLITE_ROW) return Fail();
  const int64_t id = pick.Int(0);
  StockCode code{stock, pick.Text(1), serial, {}, now_unix};
  Stmt give(db_, "UPDATE codes SET bill = ?1, given_at = ?2 WHERE id = ?3 AND bill IS NULL;");
  if (!give.ok()) return Fail();
  give.Bind(1, serial);
  give.Bind(2, now_unix);
  give.Bind(3, id);
  if (give.Step() != SQLITE_DONE || sqlite3_changes(db_) != 1) return Fail();
  // Low stock is told once per fall below the threshold; AddCodes clears the note.
  Stmt low(db_,
           "UPDATE stocks SET low_noted = 1 WHERE name = ?1 AND low_noted = 0 AND low_stock >"
           " (SELECT COUNT(*) FROM codes WHERE stock = ?1 AND bill IS NULL);");
  if (!low.ok()) return Fail();
  // Told of the count already: the days falling short too is the same news.
  Stmt told(db_, "SELECT low_noted FROM stocks WHERE name = ?1;");
  if (!told.ok()) return Fail();
  told.Bind(1, Name(stock));
  const bool told_before = told.Step() == SQLITE_ROW && told.Int(0) != 0;
  told.Reset();
  low.Bind(1, Name(stock));
  if (low.Step() != SQLITE_DONE) return Fail();
  bool fell = sqlite3_changes(db_) > 0;
  // The days left at the recent pace: told once per fall below low_days; a pace that has
  // dropped (or codes added) makes the next fall news again.
  const std::string short_sql = DaysShort();
  Stmt days(db_, "UPDATE stocks SET days_noted = 1 WHERE name = ?1 AND days_noted = 0 AND" +
                     short_sql + ";");
  Stmt eased(db_, "UPDATE stocks SET days_noted = 0 WHERE name = ?1 AND days_noted = 1 AND NOT(" +
                      short_sql + ");");
  if (!days.ok() || !eased.ok()) return Fail();
  for (Stmt* s : {&days, &eased}) {
    s->Bind(1, Name(stock));
    s->Bind(2, now_unix - kPaceSeconds);
    if (s->Step() != SQLITE_DONE) return Fail();
    if (s == &days) fell = fell || (sqlite3_changes(db_) > 0 && !told_before);
  }
  if (fell) out.low_stocks.push_back(stock);
  out.codes.push_back(std::move(code));
  out.newly_given.push_back(stock);
  return true;
}

Ledger::Sending Ledger::WriteSending(const LedgerEntry& entry, const LedgerEntry* expected,
                                     const std::vector<std::string>& stocks, int64_t now_unix) {
  std::lock_guard lock(mutex_);
  Sending out;
  if (!db_) {
    last_error_ = "ledger not open";
    return out;
  }
  // A change noted for a write rolled back costs a view one needless repaint, no more.
  auto fail = [&](Sending::Outcome outcome) {
    RollBack();
    Sending failed;
    failed.outcome = outcome;
    failed.empty_stock = out.empty_stock;
    return failed;
  };
  if (!Exec("BEGIN IMMEDIATE;")) return out;
  if (!WriteEntry(entry, false, expected)) return fail(Sending::Outcome::kFailed);
  if (sqlite3_changes(db_) == 0) return fail(Sending::Outcome::kChanged);
  if (!stocks.empty()) {
    // A bill keeps the codes it was given once: a resend mails the same ones.
    // A read that broke off must not pass for "none held": the bill would get a second code.
    std::vector<StockCode> kept;
    if (!ReadCodesOf(entry.bill.流水号, kept)) return fail(Sending::Outcome::kFailed);
    for (const std::string& stock : stocks) {
      auto has = std::find_if(kept.begin(), kept.end(),
                              [&](const StockCode& c) { return c.stock == stock; });
      if (has != kept.end()) {
        out.codes.push_back(*has);
        continue;
      }
      if (!GiveCode(stock, entry.bill.流水号, now_unix, out)) {
        return fail(out.outcome == Sending::Outcome::kOutOfStock ? Sending::Outcome::kOutOfStock
                                                                 : Sending::Outcome::kFailed);
      }
    }
  }
  if (!Exec("COMMIT;")) return fail(Sending::Outcome::kFailed);
  out.outcome = Sending::Outcome::kWritten;
  return out;
}

Ledger::AddResult Ledger::AddCodes(const std::string& stock,
                                   const std::vector<std::string>& codes) {
  std::lock_guard lock(mutex_);
  AddResult result;
  if (!db_) {
    last_error_ = "ledger not open";
    return result;
  }
  if (stock.empty()) {
    last_error_ = "empty stock name";
    return result;
  }
  if (!Exec("BEGIN IMMEDIATE;")) return result;
  auto failed = [&] {
    Fail();
    RollBack();
    return AddResult{};
  };
  {
    Stmt create(db_, "INSERT OR IGNORE INTO stocks(name) VALUES(?1);");
    if (!create.ok()) return failed();
    create.Bind(1, Name(stock));
    if (create.Step() != SQLITE_DONE) return failed();
    Stmt add(db_, "INSERT OR IGNORE INTO codes(stock, code) VALUES(?1, ?2);");
    if (!add.ok()) return failed();
    for (const std::string& code : codes) {
      add.Reset();
      add.Bind(1, Name(stock));
      add.Bind(2, code);
      if (add.Step() != SQLITE_DONE) return failed();
      if (sqlite3_changes(db_) > 0) {
        ++result.added;
      } else {
        ++result.duplicates;
      }
    }
    if (!ClearLowNote(db_, stock)) return failed();
  }
  if (!Exec("COMMIT;")) {
    RollBack();
    return AddResult{};
  }
  result.ok = true;
  return result;
}

std::vector<StockSummary> Ledger::Stocks(int64_t now_unix) {
  std::lock_guard lock(mutex_);
  std::vector<StockSummary> out;
  if (!db_) return out;
  Stmt s(db_,
         "SELECT name, low_stock,"
         " (SELECT COUNT(*) FROM codes WHERE stock = name AND bill IS NULL),"
         " (SELECT COUNT(*) FROM codes WHERE stock = name AND bill IS NOT NULL),"
         " low_days, (SELECT COUNT(*) FROM codes WHERE stock = name AND bill IS NOT NULL"
         " AND given_at > ?1)"
         " FROM stocks ORDER BY name;");
  if (!s.ok()) return out;
  // A time before any code was given counts nothing: no pace without a now.
  s.Bind(1, now_unix > 0 ? now_unix - kPaceSeconds : std::numeric_limits<int64_t>::max());
  while (s.Step() == SQLITE_ROW) {
    StockSummary& stock = out.emplace_back();
    stock.name = s.Text(0);
    stock.available = static_cast<size_t>(s.Int(2));
    stock.given = static_cast<size_t>(s.Int(3));
    stock.threshold = static_cast<int>(s.Int(1));
    stock.low_days = static_cast<int>(s.Int(4));
    stock.given_recent = static_cast<size_t>(s.Int(5));
    if (stock.given_recent > 0) {
      stock.days_left = static_cast<int64_t>(stock.available) * kPaceDays /
                        static_cast<int64_t>(stock.given_recent);
    }
  }
  return out;
}

bool Ledger::SetLowDays(const std::string& stock, int days) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  Stmt s(db_,
         "INSERT INTO stocks(name, low_days) VALUES(?1, ?2)"
         " ON CONFLICT(name) DO UPDATE SET low_days = ?2, days_noted = 0;");
  if (!s.ok()) return Fail();
  s.Bind(1, Name(stock));
  s.Bind(2, int64_t{std::max(days, 0)});
  return s.Step() == SQLITE_DONE || Fail();
}

std::optional<int64_t> Ledger::PaidFen(int64_t from_key, int64_t to_key) {
  std::lock_guard lock(mutex_);
  if (!db_) return std::nullopt;
  Stmt s(db_,
         "SELECT COALESCE(SUM(amount_fen), 0) FROM bills WHERE paid_key BETWEEN ?1 AND ?2"
         " AND paid = 1;");
  if (!s.ok()) return Fail(), std::nullopt;
  s.Bind(1, from_key);
  s.Bind(2, to_key);
  if (s.Step() != SQLITE_ROW) return Fail(), std::nullopt;
  return s.Int(0);
}

bool Ledger::SetLowStock(const std::string& stock, int threshold) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    last_error_ = "ledger not open";
    return false;
  }
  // A new threshold is a new line to cross: the note starts afresh.
  Stmt s(db_,
         "INSERT INTO stocks(name, low_stock) VALUES(?1, ?2)"
         " ON CONFLICT(name) DO UPDATE SET low_stock = ?2, low_noted = 0;");
  if (!s.ok()) return Fail();
  s.Bind(1, Name(stock));
  s.Bind(2, int64_t{std::max(threshold, 0)});
  return s.Step() == SQLITE_DONE || Fail();
}

bool Ledger::ReadCodesOf(const std::string& serial, std::vector<StockCode>& out) {
  Stmt s(db_, "SELECT stock, code, given_at FROM codes WHERE bill = ?1 ORDER BY stock;");
  if (!s.ok()) return Fail();
  s.Bind(1, serial);
  int step;
  while ((step = s.Step()) == SQLITE_ROW)
    out.push_back({s.Text(0), s.Text(1), serial, {}, s.Int(2)});
  return step == SQLITE_DONE || Fail();
}

std::vector<StockCode> Ledger::CodesOf(const std::string& serial) {
  std::lock_guard lock(mutex_);
  std::vector<StockCode> out;
  if (db_) ReadCodesOf(serial, out);
  return out;
}

std::vector<StockCode> Ledger::GivenCodes(const std::string& search, size_t limit) {
  std::lock_guard lock(mutex_);
  std::vector<StockCode> out;
  if (!db_) return out;
  Stmt s(db_,
         "SELECT codes.stock, codes.code, codes.bill, bills.name, codes.given_at FROM codes"
         " LEFT JOIN bills ON bills.serial = codes.bill WHERE codes.bill IS NOT NULL AND"
         " (length(?1) = 0 OR instr(codes.code, ?1) > 0)"
         " ORDER BY codes.given_at DESC, codes.id DESC LIMIT ?2;");
  if (!s.ok()) return out;
  s.Bind(1, search);
  s.Bind(2, static_cast<int64_t>(limit));
  while (s.Step() == SQLITE_ROW) {
    out.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Int(4)});
  }
  return out;
}

std::vector<std::string> Ledger::AvailableCodes(const std::string& stock) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  if (!db_) return out;
  Stmt s(db_, "SELECT code FROM codes WHERE stock = ?1 AND bill IS NULL ORDER BY id;");
  if (!s.ok()) return out;
  s.Bind(1, Name(stock));
  while (s.Step() == SQLITE_ROW) out.push_back(s.Text(0));
  return out;
}

int64_t Ledger::DeleteAvailable(const std::string& stock) {
  std::lock_guard lock(mutex_);
  if (!db_) return -1;
  Stmt s(db_, "DELETE FROM codes WHERE stock = ?1 AND bill IS NULL;");
  if (!s.ok()) return Fail(), -1;
  s.Bind(1, Name(stock));
  if (s.Step() != SQLITE_DONE) return Fail(), -1;
  return sqlite3_changes(db_);
}

int64_t Ledger::ReturnCodes(const std::string& serial) {
  std::lock_guard lock(mutex_);
  if (!db_) return -1;
  // Checked and done in one statement, so the bill cannot be sent in between. Only a bill
  // whose mail never went out: failed, unknown (the seller's call), handled, out of stock.
  // The stocks it fills up again lose their low-stock note in the same transaction.
  std::string states;
  for (BillState state :
       {BillState::kFailed, BillState::kUnknown, BillState::kHandled, BillState::kOutOfStock}) {
    states += std::string(states.empty() ? "'" : ",'") + std::string(StateName(state)) + "'";
  }
  if (!Exec("BEGIN IMMEDIATE;")) return -1;
  auto failed = [&] {
    Fail();
    RollBack();
    return int64_t{-1};
  };
  int64_t returned = 0;
  {
    std::vector<std::string> stocks;
    Stmt held(db_, "SELECT DISTINCT stock FROM codes WHERE bill = ?1;");
    if (!held.ok()) return failed();
    held.Bind(1, serial);
    int step = SQLITE_ROW;
    while ((step = held.Step()) == SQLITE_ROW) stocks.push_back(held.Text(0));
    if (step != SQLITE_DONE) return failed();
    Stmt s(db_,
           "UPDATE codes SET bill = NULL, given_at = 0 WHERE bill = ?1 AND EXISTS (SELECT 1"
           " FROM bills WHERE serial = ?1 AND sent_at = 0 AND state IN (" +
               states + "));");
    if (!s.ok()) return failed();
    s.Bind(1, serial);
    if (s.Step() != SQLITE_DONE) return failed();
    returned = sqlite3_changes(db_);
    for (const std::string& stock : stocks) {
      if (returned > 0 && !ClearLowNote(db_, stock)) return failed();
    }
  }
  if (!Exec("COMMIT;")) {
    RollBack();
    return -1;
  }
  return returned;
}

}  // namespace fahuo
