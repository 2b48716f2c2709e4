#include "platform/record_table.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/file_replace.h"

namespace fahuo {
namespace {

// The records live in table "records" (one column per field, rowid order is record
// order); "fields" describes the field list so that Open can refuse a foreign file.
constexpr const char* kFieldsTable = "fahuo_fields";

std::string Quote(const std::string& name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

const char* TypeName(FieldType t) {
  switch (t) {
    case FieldType::kText:
      return "text";
    case FieldType::kFloat:
      return "float";
    case FieldType::kBool:
      return "bool";
  }
  return "text";
}

bool Exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool WriteSchema(sqlite3* db, const std::vector<FieldSpec>& fields) {
  std::string create = std::string("CREATE TABLE ") + kFieldsTable +
                       " (pos INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
                       "width INTEGER NOT NULL)";
  if (!Exec(db, "BEGIN") || !Exec(db, create)) return false;
  std::string records = "CREATE TABLE records (";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) records += ", ";
    records += Quote(fields[i].name);
    records += fields[i].type == FieldType::kText    ? " BLOB NOT NULL DEFAULT x''"
               : fields[i].type == FieldType::kFloat ? " REAL NOT NULL DEFAULT 0"
                                                     : " INTEGER NOT NULL DEFAULT 0";
  }
  records += ")";
  if (!Exec(db, records)) return false;
  Statement insert(db, std::string("INSERT INTO ") + kFieldsTable + " VALUES (?, ?, ?, ?)");
  if (!insert) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    sqlite3_reset(insert.get());
    sqlite3_bind_int(insert.get(), 1, static_cast<int>(i));
    sqlite3_bind_text(insert.get(), 2, fields[i].name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 3, TypeName(fields[i].type), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert.get(), 4, fields[i].width);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return false;
  }
  return Exec(db, "COMMIT");
}

}  // namespace

const std::vector<FieldSpec>& BillTableFields() {
  static const std::vector<FieldSpec> fields = {
      {"日期", FieldType::kText, 512}, {"备注", FieldType::kText, 512},
      {"名称", FieldType::kText, 512}, {"流水号", FieldType::kText, 512},
      {"对方", FieldType::kText, 512}, {"金额", FieldType::kText, 512},
      {"状态", FieldType::kText, 512}, {"是否提交", FieldType::kBool, 1},
  };
  return fields;
}

const std::vector<FieldSpec>& RuleTableFields() {
  static const std::vector<FieldSpec> fields = {
      {"最小金额", FieldType::kFloat, 4},
      {"最大金额", FieldType::kFloat, 4},
      {"邮件标题", FieldType::kText, 100},
      {"邮件内容", FieldType::kText, 512},
  };
  return fields;
}

RecordTable::RecordTable() = default;
RecordTable::~RecordTable() { Close(); }

bool RecordTable::CreateEmpty(const std::string& path, const std::vector<FieldSpec>& fields) {
  const std::string temp = TempPathBeside(path);
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) == SQLITE_OK;
  ok = ok && Exec(db, "PRAGMA journal_mode=DELETE") && WriteSchema(db, fields);
  if (sqlite3_close(db) != SQLITE_OK) ok = false;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    std::remove((temp + "-journal").c_str());
  }
  return ok;
}

bool RecordTable::Open(const std::string& path, const std::vector<FieldSpec>* expected,
                       const std::string& alias) {
  Close();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    Close();
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);
  std::vector<FieldSpec> fields;
  {
    Statement q(db_,
                std::string("SELECT name, type, width FROM ") + kFieldsTable + " ORDER BY pos");
    if (!q) {  // not a database, or not one of ours
      Close();
      return false;
    }
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
      const char* name = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
      std::string type = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 1));
      FieldType t = type == "float"  ? FieldType::kFloat
                    : type == "bool" ? FieldType::kBool
                                     : FieldType::kText;
      fields.push_back({name ? name : "", t, sqlite3_column_int(q.get(), 2)});
    }
    if (rc != SQLITE_DONE) {
      Close();
      return false;
    }
  }
  if (expected) {
    bool same = fields.size() == expected->size();
    for (size_t i = 0; same && i < fields.size(); ++i) {
      same = fields[i].name == (*expected)[i].name && fields[i].type == (*expected)[i].type;
    }
    if (!same) {
      Close();
      return false;
    }
  }
  fields_ = std::move(fields);
  if (!LoadRowIds()) {
    Close();
    return false;
  }
  alias_ = alias;
  return true;
}

bool RecordTable::LoadRowIds() {
  rowids_.clear();
  cursor_ = 0;
  Statement q(db_, "SELECT rowid FROM records ORDER BY rowid");
  if (!q) return false;
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
    rowids_.push_back(sqlite3_column_int64(q.get(), 0));
  return rc == SQLITE_DONE;
}

bool RecordTable::IsOpen() const { return db_ != nullptr; }

int RecordTable::RecordCount() const { return static_cast<int>(rowids_.size()); }

void RecordTable::GoFirst() { cursor_ = 0; }

void RecordTable::Skip() {
  if (cursor_ < rowids_.size()) ++cursor_;
}

std::string RecordTable::ReadText(const std::string& field) const {
  if (!db_ || cursor_ >= rowids_.size()) return {};
  Statement q(db_, "SELECT " + Quote(field) + " FROM records WHERE rowid = ?");
  if (!q) return {};
  sqlite3_bind_int64(q.get(), 1, rowids_[cursor_]);
  if (sqlite3_step(q.get()) != SQLITE_ROW) return {};
  const void* bytes = sqlite3_column_blob(q.get(), 0);
  int size = sqlite3_column_bytes(q.get(), 0);
  return bytes ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(size))
               : std::string();
}

float RecordTable::ReadFloat(const std::string& field) const {
  if (!db_ || cursor_ >= rowids_.size()) return 0;
  Statement q(db_, "SELECT " + Quote(field) + " FROM records WHERE rowid = ?");
  if (!q) return 0;
  sqlite3_bind_int64(q.get(), 1, rowids_[cursor_]);
  if (sqlite3_step(q.get()) != SQLITE_ROW) return 0;
  return static_cast<float>(sqlite3_column_double(q.get(), 0));
}

bool RecordTable::ReadBool(const std::string& field) const { return ReadFloat(field) != 0; }

bool RecordTable::ReadRecords(const std::vector<std::string>& fields, size_t limit,
                              const std::function<void(const std::vector<Value>&)>& visit) const {
  if (!db_) return false;
  std::vector<bool> is_text;
  std::string sql = "SELECT ";
  for (const std::string& name : fields) {
    auto field = std::find_if(fields_.begin(), fields_.end(),
                              [&](const FieldSpec& f) { return f.name == name; });
    if (field == fields_.end()) return false;
    is_text.push_back(field->type == FieldType::kText);
    if (is_text.size() > 1) sql += ", ";
    sql += Quote(name);
  }
  sql += " FROM records ORDER BY rowid LIMIT ?";
  Statement q(db_, sql);
  if (!q) return false;
  sqlite3_bind_int64(q.get(), 1, static_cast<sqlite3_int64>(std::min<size_t>(limit, INT64_MAX)));
  std::vector<Value> values(fields.size());
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    for (size_t i = 0; i < fields.size(); ++i) {
      const int column = static_cast<int>(i);
      if (is_text[i]) {
        const void* bytes = sqlite3_column_blob(q.get(), column);
        const int size = sqlite3_column_bytes(q.get(), column);
        values[i].text.assign(bytes ? static_cast<const char*>(bytes) : "",
                              bytes ? static_cast<size_t>(size) : 0);
      } else {
        values[i].number = sqlite3_column_double(q.get(), column);
      }
    }
    visit(values);
  }
  return rc == SQLITE_DONE;
}

bool RecordTable::AppendEmpty() {
  if (!db_) return false;
  if (sqlite3_get_autocommit(db_) && !Exec(db_, "BEGIN")) return false;
  if (!Exec(db_, "INSERT INTO records DEFAULT VALUES")) return false;
  rowids_.push_back(sqlite3_last_insert_rowid(db_));
  cursor_ = rowids_.size() - 1;
  return true;
}

bool RecordTable::WriteValue(const std::string& field, const void* bytes, int size, double number,
                             int kind) {
  if (!db_ || cursor_ >= rowids_.size()) return false;
  if (sqlite3_get_autocommit(db_) && !Exec(db_, "BEGIN")) return false;
  Statement q(db_, "UPDATE records SET " + Quote(field) + " = ? WHERE rowid = ?");
  if (!q) return false;
  if (kind == 0) {
    sqlite3_bind_blob(q.get(), 1, size ? bytes : "", size, SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_double(q.get(), 1, number);
  }
  sqlite3_bind_int64(q.get(), 2, rowids_[cursor_]);
  return sqlite3_step(q.get()) == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

bool RecordTable::WriteText(const std::string& field, const std::string& value) {
  return WriteValue(field, value.data(), static_cast<int>(value.size()), 0, 0);
}

bool RecordTable::WriteFloat(const std::string& field, float value) {
  return WriteValue(field, nullptr, 0, static_cast<double>(value), 1);
}

bool RecordTable::WriteBool(const std::string& field, bool value) {
  return WriteValue(field, nullptr, 0, value ? 1.0 : 0.0, 1);
}

bool RecordTable::Close() {
  bool ok = true;
  if (db_) {
    if (!sqlite3_get_autocommit(db_)) ok = Exec(db_, "COMMIT");
    if (sqlite3_close(db_) != SQLITE_OK) ok = false;
    db_ = nullptr;
  }
  rowids_.clear();
  fields_.clear();
  alias_.clear();
  cursor_ = 0;
  return ok;
}

}  // namespace fahuo
