#include <time.h>

#include "platform/LocalTime.h"

namespace tamrix {

bool ToLocalTime(std::time_t moment, std::tm& local) {
    return ::localtime_r(&moment, &local) != nullptr;
}

bool ToUtcTime(std::time_t moment, std::tm& utc) {
    return ::gmtime_r(&moment, &utc) != nullptr;
}

}  // namespace tamrix
