#pragma once
// Calendar time in the machine's time zone.
#include <cstdint>
#include <ctime>

namespace fahuo {

// `unix_seconds` in the local time zone; false when it cannot be converted.
bool ToLocalTime(int64_t unix_seconds, std::tm& local);

}  // namespace fahuo
