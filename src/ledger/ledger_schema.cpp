#include "ledger/ledger_schema.h"

#include <sqlite3.h>

#include <array>
#include <string>
#include <string_view>

#include "ledger/amount.h"
#include "ledger/payment_status.h"

namespace fahuo {
namespace {

using ledger_schema::kSchemaVersion;
using ledger_schema::Sql;

constexpr std::array<std::string_view, 16> kStateNames = {
    "baseline", "pending",  "sending",     "sent",    "retrying",     "failed",
    "skipped",  "held",     "handled",     "unknown", "out-of-stock", "awaiting",
    "not-paid", "outgoing", "unconfirmed", "bounced"};
constexpr std::array<std::string_view, 4> kOriginNames = {"baseline", "pass", "lapse", "restart"};

// The stocks of codes. A stock's name is bound as text so that it compares equal to a
// bill's skip_reason (an out-of-stock bill waits for it there); codes are bytes.
constexpr const char kStockSchema[] =
    "CREATE TABLE IF NOT EXISTS stocks(name TEXT PRIMARY KEY,"
    " low_stock INTEGER NOT NULL DEFAULT 5, low_noted INTEGER NOT NULL DEFAULT 0,"
    " low_days INTEGER NOT NULL DEFAULT 3, days_noted INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS codes(id INTEGER PRIMARY KEY, stock TEXT NOT NULL,"
    " code BLOB NOT NULL, bill BLOB, given_at INTEGER NOT NULL DEFAULT 0, UNIQUE(stock, code));"
    "CREATE INDEX IF NOT EXISTS codes_free ON codes(stock, bill);"
    "CREATE INDEX IF NOT EXISTS codes_bill ON codes(bill);"
    // What the reader must still do after a read it could not finish (a catch-up walk cut
    // short): written with the bills of that read, so neither outlives the other.
    "CREATE TABLE IF NOT EXISTS reader_marks(name TEXT PRIMARY KEY, value BLOB NOT NULL);";

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
    {"message_id", "BLOB NOT NULL DEFAULT x''", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, e.message_id); },
     [](Stmt& s, int i, LedgerEntry& e) { e.message_id = s.Text(i); }, 4},
    {"typed_recipient", "BLOB NOT NULL DEFAULT x''", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, e.typed_recipient); },
     [](Stmt& s, int i, LedgerEntry& e) { e.typed_recipient = s.Text(i); }, 5},
    {"resends", "INTEGER NOT NULL DEFAULT 0", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, int64_t{e.resends}); },
     [](Stmt& s, int i, LedgerEntry& e) { e.resends = static_cast<int>(s.Int(i)); }, 5},
    // Derived from the page's fields and the state, for the shop's figures: kept beside them
    // so that a year of bills is counted from an index, never parsed again.
    {"paid_key", "INTEGER NOT NULL DEFAULT 0", Role::kBill,
     [](Stmt& s, int i, const LedgerEntry& e) { s.Bind(i, PaidKey(e.bill.日期)); },
     [](Stmt&, int, LedgerEntry&) {}, 5},
    {"amount_fen", "INTEGER NOT NULL DEFAULT 0", Role::kBill,
     [](Stmt& s, int i, const LedgerEntry& e) {
       s.Bind(i, ReadAmountFen(e.bill.金额).value_or(0));
     },
     [](Stmt&, int, LedgerEntry&) {}, 5},
    {"paid", "INTEGER NOT NULL DEFAULT 0", Role::kDelivery,
     [](Stmt& s, int i, const LedgerEntry& e) {
       s.Bind(i, int64_t{IsPaidOrder(e.state, e.bill) ? 1 : 0});
     },
     [](Stmt&, int, LedgerEntry&) {}, 5},
};

#undef FAHUO_TEXT_COLUMN
#undef FAHUO_INT_COLUMN

bool Updated(Role role) { return role == Role::kDelivery || role == Role::kGuarded; }

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
               "CREATE INDEX IF NOT EXISTS bills_first_seen ON bills(first_seen);"
               "CREATE INDEX IF NOT EXISTS bills_paid_key ON bills(paid_key);"
               // Every column the shop's figures count (ledger/statistics.h), so that a year
               // of bills is read from the index alone.
               "CREATE INDEX IF NOT EXISTS bills_figures ON bills(paid_key, paid, amount_fen,"
               " state, sent_at, first_seen, resends, rule_subject);" +
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
  // A stock's warning by the days its codes last at the recent pace (the table is there
  // from version 2 on).
  for (int version = 2; version < 5; ++version) {
    sql.added[version] +=
        "ALTER TABLE stocks ADD COLUMN low_days INTEGER NOT NULL DEFAULT 3;"
        "ALTER TABLE stocks ADD COLUMN days_noted INTEGER NOT NULL DEFAULT 0;";
  }
  // The derived columns of the rows an older file holds, from the fields stored.
  for (int version = 1; version < 5; ++version) {
    sql.added[version] +=
        "UPDATE bills SET paid_key=fahuo_paid_key(date), amount_fen=fahuo_amount_fen(amount),"
        " paid=fahuo_paid(state, status, amount);";
  }
  return sql;
}

std::string ArgText(sqlite3_value* v) {
  const auto* bytes = static_cast<const char*>(sqlite3_value_blob(v));
  return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

void SqlPaidKey(sqlite3_context* c, int, sqlite3_value** v) {
  sqlite3_result_int64(c, PaidKey(ArgText(v[0])));
}

void SqlAmountFen(sqlite3_context* c, int, sqlite3_value** v) {
  sqlite3_result_int64(c, ReadAmountFen(ArgText(v[0])).value_or(0));
}

void SqlPaid(sqlite3_context* c, int, sqlite3_value** v) {
  BillRecord bill;
  bill.状态 = ArgText(v[1]);
  bill.金额 = ArgText(v[2]);
  const BillState state = StateFromName(ArgText(v[0])).value_or(BillState::kUnknown);
  sqlite3_result_int(c, IsPaidOrder(state, bill) ? 1 : 0);
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

namespace ledger_schema {

const Sql& Statements() {
  static const Sql sql = MakeSql();  // immutable once built
  return sql;
}

size_t ColumnCount() { return std::size(kColumns); }

bool AddFunctions(sqlite3* db) {
  constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  return sqlite3_create_function(db, "fahuo_paid_key", 1, kFlags, nullptr, SqlPaidKey, nullptr,
                                 nullptr) == SQLITE_OK &&
         sqlite3_create_function(db, "fahuo_amount_fen", 1, kFlags, nullptr, SqlAmountFen, nullptr,
                                 nullptr) == SQLITE_OK &&
         sqlite3_create_function(db, "fahuo_paid", 3, kFlags, nullptr, SqlPaid, nullptr, nullptr) ==
             SQLITE_OK;
}

LedgerEntry ReadEntry(Stmt& s) {
  LedgerEntry e;
  int i = 0;
  for (const Column& c : kColumns) c.read(s, i++, e);
  return e;
}

void BindEntry(Stmt& s, const LedgerEntry& e, bool insert, const LedgerEntry* expected) {
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
}

}  // namespace ledger_schema
}  // namespace fahuo
