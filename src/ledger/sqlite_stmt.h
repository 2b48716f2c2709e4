#pragma once
// One prepared SQLite statement, finalised on every way out; for the ledger's files only.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace fahuo {

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  Stmt(sqlite3* db, const std::string& sql) : Stmt(db, sql.c_str()) {}
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  // Bytes (GBK texts, serials, codes) go in as blobs; names of states and stocks as text.
  void Bind(int i, const std::string& text) {
    sqlite3_bind_blob(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, std::string_view text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  int Step() { return sqlite3_step(stmt_); }
  // Ready for another run with new values (a statement used in a loop).
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  std::string Text(int column) {
    const void* p = sqlite3_column_blob(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }
  int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace fahuo
