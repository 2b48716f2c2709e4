#include "rules/delivery_rule.h"

namespace fahuo {

RuleListSnapshot RuleBook::Current() const {
  std::lock_guard lock(mutex_);
  return rules_;
}

void RuleBook::Replace(std::vector<DeliveryRule> rules) {
  auto fresh = std::make_shared<const std::vector<DeliveryRule>>(std::move(rules));
  std::lock_guard lock(mutex_);
  rules_ = std::move(fresh);
}

}  // namespace fahuo
