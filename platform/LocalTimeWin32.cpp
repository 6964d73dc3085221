#include <time.h>

#include "platform/LocalTime.h"

namespace tamrix {

bool ToLocalTime(std::time_t moment, std::tm& local) {
    return ::localtime_s(&local, &moment) == 0;
}

bool ToUtcTime(std::time_t moment, std::tm& utc) {
    return ::gmtime_s(&utc, &moment) == 0;
}

}  // namespace tamrix
