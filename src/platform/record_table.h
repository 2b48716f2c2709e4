#pragma once
// Single-file record tables with fixed, named, typed fields, and a cursor on one current
// record. Stored as SQLite databases; text values are kept whole as bytes (GBK).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace fahuo {

enum class FieldType { kText, kFloat, kBool };

struct FieldSpec {
  std::string name;  // UTF-8, as written in the source
  FieldType type;
  int width;  // bytes for text; informational, text is never cut
};

// The bill table zhifubaoZD.edb and the rule table Yjgz.edb.
const std::vector<FieldSpec>& BillTableFields();
const std::vector<FieldSpec>& RuleTableFields();

class RecordTable {
 public:
  RecordTable();
  ~RecordTable();
  RecordTable(const RecordTable&) = delete;
  RecordTable& operator=(const RecordTable&) = delete;

  // Writes an empty table with `fields` to `path`, replacing any file there. The table is
  // built beside the target and renamed over it, so a failure never leaves half a file.
  static bool CreateEmpty(const std::string& path, const std::vector<FieldSpec>& fields);

  // Opens `path` as the current table. Fails for a missing file, a file that is not a
  // table, or a table whose fields are not exactly `expected` (when given).
  bool Open(const std::string& path, const std::vector<FieldSpec>* expected = nullptr,
            const std::string& alias = "");
  bool IsOpen() const;
  const std::string& Alias() const { return alias_; }

  int RecordCount() const;
  void GoFirst();
  void Skip();

  // Values of the current record; empty text / 0 / false without one.
  std::string ReadText(const std::string& field) const;
  float ReadFloat(const std::string& field) const;
  bool ReadBool(const std::string& field) const;

  // One value of a record as ReadRecords gives it: text fields as their bytes, float and
  // bool fields as a number.
  struct Value {
    std::string text;
    double number = 0;
  };
  // Reads the records in record order with one query, at most `limit` of them, and hands
  // each to `visit` as the values of `fields` in that order (the vector is reused). Fast
  // for tables of any size, unlike a walk with the cursor. False when a field is unknown or
  // the file cannot be read to the end (a damaged table).
  bool ReadRecords(const std::vector<std::string>& fields, size_t limit,
                   const std::function<void(const std::vector<Value>&)>& visit) const;

  // A new last record with empty fields, made current.
  bool AppendEmpty();
  bool WriteText(const std::string& field, const std::string& value);
  bool WriteFloat(const std::string& field, float value);
  bool WriteBool(const std::string& field, bool value);

  // Flushes and closes; true when everything written reached the file (or nothing was
  // open).
  bool Close();

 private:
  bool LoadRowIds();
  bool WriteValue(const std::string& field, const void* bytes, int size, double number, int kind);

  sqlite3* db_ = nullptr;
  std::string alias_;
  std::vector<FieldSpec> fields_;
  std::vector<long long> rowids_;  // record order
  size_t cursor_ = 0;
};

}  // namespace fahuo
