#pragma once
// The bills table as declared once in ledger_schema.cpp: its column list makes the schema,
// the upgrades of older files, the reads and the writes. For the ledger's own files.
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/sqlite_stmt.h"

namespace fahuo::ledger_schema {

// 1: bills. 2: the stocks of codes beside them (a version-1 file gains the empty tables).
// 3: the account each bill was mailed over (older files gain the column, empty).
// 4: each bill's Message-ID, and the reader's marks. 5: the address as the buyer typed it,
// the seller's resends, and the payment's time, amount in fen and whether it is a paid order
// as sortable columns (filled for the rows a file holds already).
inline constexpr int kSchemaVersion = 5;

// The statements made from the column list, built once and immutable afterwards.
struct Sql {
  std::string schema;
  std::string select;               // "SELECT <every column>"
  std::string insert;               // parameters: every column but seq, in list order
  std::string update;               // ?1 the serial, then the updated columns in list order
  std::string update_if_unchanged;  // update's parameters, then the guarded columns' old values
  std::vector<std::string> added;   // per schema version: what a file of that version lacks
};
const Sql& Statements();

// The SQL functions the upgrade of an older file calls; false when they could not be added.
bool AddFunctions(sqlite3* db);

// How many columns `select` reads.
size_t ColumnCount();
// One row of `select`.
LedgerEntry ReadEntry(Stmt& s);
// Binds `e` to one of the insert (`insert`), update or update_if_unchanged (`expected`, the
// guarded columns' old values) statements.
void BindEntry(Stmt& s, const LedgerEntry& e, bool insert, const LedgerEntry* expected);

}  // namespace fahuo::ledger_schema
