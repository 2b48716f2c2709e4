#pragma once
#include <memory>
#include <string>
#include <vector>

namespace fahuo {

// A payment whose amount lies in [minimum, maximum] gets this mail. Texts are GBK.
struct DeliveryRule {
  float minimum = 0;
  float maximum = 0;
  std::string subject;
  std::string body;
  bool operator==(const DeliveryRule&) const = default;
};

using RuleListSnapshot = std::shared_ptr<const std::vector<DeliveryRule>>;

// The process-wide rule list. It is published whole: a reader takes one snapshot and walks
// it, however often the list is replaced meanwhile. Hold the snapshot in a variable while
// walking: `for (auto& r : *CurrentRules())` lets it go before the loop runs.
RuleListSnapshot CurrentRules();
void ReplaceRules(std::vector<DeliveryRule> rules);

}  // namespace fahuo
