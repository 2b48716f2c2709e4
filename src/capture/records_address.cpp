#include "capture/records_address.h"

#include <utility>

namespace fahuo {

RecordsSite::RecordsSite(std::string base) : base_(std::move(base)) {
  while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

std::string RecordsSite::StartAddress() const { return base_ + "/record/standard.htm"; }

}  // namespace fahuo
