#pragma once
// The rule table Yjgz.edb in the data folder, and the loads and saves that keep the run's
// rule list (RuleBook, delivery_rule.h) in step with it. UI thread only.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "rules/delivery_rule.h"
#include "rules/rule_entry.h"

namespace fahuo {

class DataFolder;

// The most rules the start button and the rules window take from the table. A seller has
// tens; a table far beyond this is damage or a mistake, and must not freeze the window.
inline constexpr size_t kMaxRules = 10000;

// The rule table in `folder`.
std::string RuleTablePath(const DataFolder& folder);

// Where a save builds the new table before it replaces the one at `path`.
std::string RuleTableScratchPath(const std::string& path);

// What reading the rule table found.
struct RuleTableRead {
  enum class Status {
    kMissing,     // no file: a seller without rules yet
    kUnreadable,  // a file, but not a rule table that reads to its end
    kRead,
  };
  Status status = Status::kMissing;
  std::vector<DeliveryRule> rules;  // in record order, at most the limit
  size_t total = 0;                 // records in the table
  // Rows (1 = the first record) refused for a bound that is not a finite number: damage,
  // and such a bound would match every amount.
  std::vector<size_t> refused;
  // Whether records beyond the limit were left unread.
  bool Cut() const { return total > rules.size() + refused.size(); }
};

// Reads the table at `path` with one query, at most `limit` rules.
RuleTableRead ReadRuleTable(const std::string& path, size_t limit);

// The rules of the table at `path` in record order, all of them; nullopt when it does not
// read as a rule table (missing, not a table, other fields, damaged).
std::optional<std::vector<DeliveryRule>> ReadRuleTable(const std::string& path);

// Writes `rules` as the table at `path`. The new table is built beside the old one and
// renamed over it only once complete, so on failure the old file is still there, unchanged.
// With `kept_as`, the old file is not replaced but first renamed aside with the time in its
// name ("Yjgz.edb.kept-20261208-223000"), and `*kept_as` gets that path (empty when there
// was no old file). On failure `*failure_message` (when given) is the GBK message for the
// seller.
bool WriteRuleTable(const std::string& path, const std::vector<DeliveryRule>& rules,
                    std::string* failure_message, std::string* kept_as = nullptr);

// The start button's load: reads at most kMaxRules rules of the table at `path` into
// `book`. False when the table does not read; the rule list is then left as it was. When
// the table holds more, or rules were refused, `*notice` (when given) gets the GBK lines
// that say so (joined by CRLF, none at the end), else it is emptied.
bool LoadRuleList(const std::string& path, RuleBook& book, std::string* notice = nullptr);

// The text for a table cut at kMaxRules (GBK).
std::string RulesCutNotice(size_t total);

// The text for the rows of RuleTableRead::refused (GBK; the first ten named).
std::string RulesRefusedNotice(const std::vector<size_t>& rows);

// The rules window's save: writes the rule table at `path`, then publishes `rules` in
// `book`. On failure neither the table nor the rule list changes. `kept_as` as for
// WriteRuleTable: for a table the window could not show whole, which the save must not
// destroy.
bool SaveRuleTable(const std::string& path, RuleBook& book, const std::vector<DeliveryRule>& rules,
                   std::string* failure_message, std::string* kept_as = nullptr);

}  // namespace fahuo
