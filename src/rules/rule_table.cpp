#include "rules/rule_table.h"

#include <filesystem>
#include <system_error>

#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"

namespace fahuo {
namespace {

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
  std::filesystem::remove(path, ec);
}

}  // namespace

std::string RuleTablePath() { return ProgramFile("Yjgz.edb"); }

std::string RuleTableScratchPath(const std::string& path) { return path + ".saving"; }

std::optional<std::vector<DeliveryRule>> ReadRuleTable(const std::string& path) {
  RecordTable table;
  if (!table.Open(path, &RuleTableFields())) return std::nullopt;
  std::vector<DeliveryRule> rules;
  table.GoFirst();
  const int count = table.RecordCount();
  rules.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  for (int i = 0; i < count; ++i) {
    rules.push_back({table.ReadFloat(kMinimum), table.ReadFloat(kMaximum), table.ReadText(kSubject),
                     table.ReadText(kBody)});
    table.Skip();
  }
  table.Close();
  return rules;
}

bool WriteRuleTable(const std::string& path, const std::vector<DeliveryRule>& rules,
                    std::string* failure_message) {
  const std::string& write_failed = FAHUO_GBK("写出数据库失败");
  const std::string scratch = RuleTableScratchPath(path);
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
  std::error_code ec;
  std::filesystem::rename(scratch, path, ec);
  if (ec) {
    RemoveQuietly(scratch);
    return Fail(failure_message, write_failed);
  }
  return true;
}

bool LoadRuleList() {
  std::optional<std::vector<DeliveryRule>> rules = ReadRuleTable(RuleTablePath());
  if (!rules) return false;
  ReplaceRules(std::move(*rules));
  return true;
}

bool SaveRuleTable(const std::vector<DeliveryRule>& rules, std::string* failure_message) {
  if (!WriteRuleTable(RuleTablePath(), rules, failure_message)) return false;
  ReplaceRules(rules);
  return true;
}

}  // namespace fahuo
