#pragma once
// The rule table Yjgz.edb in the program folder, and the loads and saves that keep the
// process-wide rule list (delivery_rule.h) in step with it. UI thread only.
#include <optional>
#include <string>
#include <vector>

#include "rules/delivery_rule.h"
#include "rules/rule_entry.h"

namespace fahuo {

// Program folder + "/Yjgz.edb", built anew at each call.
std::string RuleTablePath();

// Where a save builds the new table before it replaces the one at `path`.
std::string RuleTableScratchPath(const std::string& path);

// The rules of the table at `path` in record order; nullopt when it does not open as a rule
// table (missing, not a table, other fields).
std::optional<std::vector<DeliveryRule>> ReadRuleTable(const std::string& path);

// Writes `rules` as the table at `path`. The new table is built beside the old one and
// renamed over it only once complete, so on failure the old file is still there, unchanged.
// On failure `*failure_message` (when given) is the GBK message for the seller.
bool WriteRuleTable(const std::string& path, const std::vector<DeliveryRule>& rules,
                    std::string* failure_message);

// The start button's load: reads the rule table into the rule list. False when the table
// does not open; the rule list is then left as it was.
bool LoadRuleList();

// The rules window's save: writes the rule table, then publishes `rules` as the rule list.
// On failure neither the table nor the rule list changes.
bool SaveRuleTable(const std::vector<DeliveryRule>& rules, std::string* failure_message);

}  // namespace fahuo
