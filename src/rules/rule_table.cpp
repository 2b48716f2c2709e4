#include "rules/rule_table.h"

#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/file_replace.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"

namespace fahuo {
namespace {

namespace fs = std::filesystem;

// Field names as the table stores them (UTF-8, like RuleTableFields()).
const std::string kMinimum = "最小金额";
const std::string kMaximum = "最大金额";
const std::string kSubject = "邮件标题";
const std::string kBody = "邮件内容";

bool Fail(std::string* failure_message, const std::string& message) {
  if (failure_message) *failure_message = message;
  return false;
}

bool AppendRule(RecordTable& table, const DeliveryRule& rule) {
  return table.AppendEmpty() && table.WriteFloat(kMinimum, rule.minimum) &&
         table.WriteFloat(kMaximum, rule.maximum) && table.WriteText(kSubject, rule.subject) &&
         table.WriteText(kBody, rule.body);
}

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// A stored amount as a float; a damaged table may hold a double no float can carry, and
// narrowing that would be undefined.
float StoredAmount(double value) {
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// Builds the table of `rules` at `scratch`; false (and nothing left there) on failure.
bool BuildTable(const std::string& scratch, const std::vector<DeliveryRule>& rules,
                std::string* failure_message) {
  const std::string& write_failed = FAHUO_GBK("写出数据库失败");
  if (!RecordTable::CreateEmpty(scratch, RuleTableFields())) {
    return Fail(failure_message, write_failed);
  }
  RecordTable table;
  if (!table.Open(scratch, &RuleTableFields())) {
    RemoveQuietly(scratch);
    return Fail(failure_message, FAHUO_GBK("打开数据库失败，请稍后再试"));
  }
  for (const DeliveryRule& rule : rules) {
    if (!AppendRule(table, rule)) {
      table.Close();
      RemoveQuietly(scratch);
      return Fail(failure_message, write_failed);
    }
  }
  // Close commits: a table that did not reach the disk whole never replaces the old one.
  if (!table.Close()) {
    RemoveQuietly(scratch);
    return Fail(failure_message, write_failed);
  }
  return true;
}

}  // namespace

std::string RuleTablePath(const DataFolder& folder) { return folder.File("Yjgz.edb"); }

std::string RuleTableScratchPath(const std::string& path) { return path + ".saving"; }

RuleTableRead ReadRuleTable(const std::string& path, size_t limit) {
  RuleTableRead read;
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() == fs::file_type::not_found) return read;
  read.status = RuleTableRead::Status::kUnreadable;
  RecordTable table;
  if (!table.Open(path, &RuleTableFields())) return read;
  read.total = static_cast<size_t>(table.RecordCount());
  read.rules.reserve(std::min(read.total, limit));
  size_t row = 0;
  const bool whole = table.ReadRecords(
      {kMinimum, kMaximum, kSubject, kBody}, limit, [&](const std::vector<RecordTable::Value>& v) {
        ++row;
        const DeliveryRule rule{StoredAmount(v[0].number), StoredAmount(v[1].number), v[2].text,
                                v[3].text};
        if (std::isfinite(rule.minimum) && std::isfinite(rule.maximum)) {
          read.rules.push_back(rule);
        } else {
          read.refused.push_back(row);
        }
      });
  if (!whole) {
    read.rules.clear();
    read.refused.clear();
    read.total = 0;
    return read;
  }
  read.status = RuleTableRead::Status::kRead;
  return read;
}

std::optional<std::vector<DeliveryRule>> ReadRuleTable(const std::string& path) {
  RuleTableRead read = ReadRuleTable(path, std::numeric_limits<size_t>::max());
  if (read.status != RuleTableRead::Status::kRead) return std::nullopt;
  return std::move(read.rules);
}

bool WriteRuleTable(const std::string& path, const std::vector<DeliveryRule>& rules,
                    std::string* failure_message, std::string* kept_as) {
  const std::string& write_failed = FAHUO_GBK("写出数据库失败");
  const std::string scratch = RuleTableScratchPath(path);
  if (!BuildTable(scratch, rules, failure_message)) return false;
  std::error_code ec;
  std::string kept;
  if (kept_as && fs::exists(fs::symlink_status(path, ec))) {
    kept = FreeNameBeside(path, "kept", std::time(nullptr));
    fs::rename(path, kept, ec);
    if (ec) {
      RemoveQuietly(scratch);
      return Fail(failure_message, write_failed);
    }
  }
  fs::rename(scratch, path, ec);
  if (ec) {
    RemoveQuietly(scratch);
    if (!kept.empty()) fs::rename(kept, path, ec);
    return Fail(failure_message, write_failed);
  }
  if (kept_as) *kept_as = kept;
  return true;
}

std::string RulesCutNotice(size_t total) {
  return Utf8ToGbk("规则表有 " + std::to_string(total) + " 条规则，只使用前 " +
                   std::to_string(kMaxRules) + " 条");
}

std::string RulesRefusedNotice(const std::vector<size_t>& rows) {
  constexpr size_t kNamed = 10;
  std::string text = "规则表第 ";
  for (size_t i = 0; i < rows.size() && i < kNamed; ++i) {
    text += (i ? "、" : "") + std::to_string(rows[i]);
  }
  if (rows.size() > kNamed) text += " 等 " + std::to_string(rows.size());
  return Utf8ToGbk(text + " 条规则的金额不是有效数字，未使用");
}

bool LoadRuleList(const std::string& path, RuleBook& book, std::string* notice) {
  RuleTableRead read = ReadRuleTable(path, kMaxRules);
  if (notice) notice->clear();
  if (read.status != RuleTableRead::Status::kRead) return false;
  if (notice) {
    if (!read.refused.empty()) *notice = RulesRefusedNotice(read.refused);
    if (read.Cut()) *notice += (notice->empty() ? "" : "\r\n") + RulesCutNotice(read.total);
  }
  book.Replace(std::move(read.rules));
  return true;
}

bool SaveRuleTable(const std::string& path, RuleBook& book, const std::vector<DeliveryRule>& rules,
                   std::string* failure_message, std::string* kept_as) {
  if (!WriteRuleTable(path, rules, failure_message, kept_as)) return false;
  book.Replace(rules);
  return true;
}

}  // namespace fahuo
