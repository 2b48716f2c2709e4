#include "platform/local_time.h"

namespace fahuo {

bool ToLocalTime(int64_t unix_seconds, std::tm& local) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  return localtime_r(&t, &local) != nullptr;
}

}  // namespace fahuo
