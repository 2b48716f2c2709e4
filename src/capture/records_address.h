#pragma once
// Addresses of the payment service's transaction-records pages.
#include <string>

namespace fahuo {

inline constexpr const char* kDefaultRecordsBase = "https://consumeprod.alipay.com";

// Where the records service lives: scheme, host and port, without a trailing "/". Decided
// once at start-up (--records-base replaces the default) and never changed while threads
// read it.
class RecordsSite {
 public:
  explicit RecordsSite(std::string base = kDefaultRecordsBase);  // trailing "/" dropped

  const std::string& Base() const { return base_; }
  // Base() + "/record/standard.htm": where the seller signs in.
  std::string StartAddress() const;

 private:
  std::string base_;
};

}  // namespace fahuo
