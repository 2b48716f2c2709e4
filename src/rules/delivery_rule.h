#pragma once
#include <memory>
#include <mutex>
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

// The rule list of a run, owned by the shop and handed to the start button and the rules
// window, which replace it, and to the sender, which reads it. It is published whole: a
// reader takes one snapshot and walks it, however often the list is replaced meanwhile.
// Hold the snapshot in a variable while walking: `for (auto& r : *book.Current())` lets it
// go before the loop runs. Thread-safe.
class RuleBook {
 public:
  RuleListSnapshot Current() const;
  void Replace(std::vector<DeliveryRule> rules);

 private:
  mutable std::mutex mutex_;
  RuleListSnapshot rules_ = std::make_shared<const std::vector<DeliveryRule>>();
};

}  // namespace fahuo
