#include "rules/delivery_rule.h"

#include <mutex>

namespace fahuo {
namespace {
std::mutex g_mutex;
RuleListSnapshot g_rules = std::make_shared<const std::vector<DeliveryRule>>();
}  // namespace

RuleListSnapshot CurrentRules() {
  std::lock_guard lock(g_mutex);
  return g_rules;
}

void ReplaceRules(std::vector<DeliveryRule> rules) {
  auto fresh = std::make_shared<const std::vector<DeliveryRule>>(std::move(rules));
  std::lock_guard lock(g_mutex);
  g_rules = std::move(fresh);
}

}  // namespace fahuo
