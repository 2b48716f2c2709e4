#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "ledger/ledger.h"
#include "ledger/ledger_schema.h"
#include "platform/file_replace.h"
#include "platform/files.h"

// Opening the ledger: the file's version, its upgrade, and what is done with a file that
// cannot be opened.
namespace fahuo {

using ledger_schema::kSchemaVersion;
using ledger_schema::Statements;

Ledger::~Ledger() { Close(); }

void Ledger::Close() {
  std::lock_guard lock(mutex_);
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool Ledger::IsOpen() {
  std::lock_guard lock(mutex_);
  return db_ != nullptr;
}

bool Ledger::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  return Fail();
}

bool Ledger::Fail() {
  const int code = sqlite3_extended_errcode(db_);
  last_code_ = code;
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

namespace {

Ledger::OpenFailure FailureOf(int code) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Ledger::OpenFailure::kBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Ledger::OpenFailure::kCorrupt;
    default:
      return Ledger::OpenFailure::kOther;
  }
}

}  // namespace

Ledger::OpenFailure Ledger::OpenAt(const std::string& path, std::string& error) {
  last_code_ = 0;
  const int opened =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return FailureOf(opened);
  }
  sqlite3_busy_timeout(db_, 5000);
  if (!ledger_schema::AddFunctions(db_)) {
    error = sqlite3_errmsg(db_);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return OpenFailure::kOther;
  }
  OpenFailure failure = OpenFailure::kNone;
  // WAL with a full sync on every commit: a commit that returned survives a power cut.
  bool ok = Exec("PRAGMA journal_mode=WAL;") && Exec("PRAGMA synchronous=FULL;");
  int version = 0;
  if (ok) {
    Stmt s(db_, "PRAGMA user_version;");
    ok = s.ok() && s.Step() == SQLITE_ROW;
    if (ok) {
      version = static_cast<int>(s.Int(0));
    } else {
      Fail();
    }
  }
  if (ok && version > kSchemaVersion) {
    last_error_ = "发货记录文件由更新版本的发货程序写入（格式 " + std::to_string(version) + "）";
    failure = OpenFailure::kNewer;
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
    if (!ok) Fail();
  }
  if (!ok) {
    if (failure == OpenFailure::kNone) failure = FailureOf(last_code_);
    error = last_error_;
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  return failure;
}

Ledger::OpenResult Ledger::Open(const std::string& path, int64_t now_unix, bool keep_damaged) {
  std::lock_guard lock(mutex_);
  OpenResult result;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  result.existed = PathExists(path);
  std::string error;
  result.failure = OpenAt(path, error);
  if (result.failure == OpenFailure::kNone) {
    result.ok = true;
    return result;
  }
  result.error = error;
  // Only a corrupt file is replaced: a busy one, a newer one or a disk error keeps every
  // bill and code, and a fresh ledger would take the payments made meanwhile as baseline.
  if (!result.existed || keep_damaged || result.failure != OpenFailure::kCorrupt) return result;
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
  result.ok = OpenAt(path, error) == OpenFailure::kNone;
  result.error = result.ok ? std::string() : error;
  return result;
}

}  // namespace fahuo
