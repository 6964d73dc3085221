#pragma once
// The local calendar time of a moment, without the shared state of std::localtime (the worker and
// the window format times on different threads). One source per platform.

#include <ctime>

namespace tamrix {

// False when the moment cannot be expressed in local time.
bool ToLocalTime(std::time_t moment, std::tm& local);
// The same in UTC.
bool ToUtcTime(std::time_t moment, std::tm& utc);

}  // namespace tamrix
