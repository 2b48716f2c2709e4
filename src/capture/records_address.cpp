#include "capture/records_address.h"

#include <utility>

namespace fahuo {

RecordsSite::RecordsSite(std::string base) : base_(std::move(base)) {
  while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

std::string RecordsSite::StartAddress() const { return base_ + "/record/standard.htm"; }

std::string RecordsSite::Host() const {
  size_t start = base_.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = base_.find_first_of(":/", start);
  return base_.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace fahuo
