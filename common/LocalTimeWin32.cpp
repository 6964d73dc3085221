#include <time.h>

#include "common/LocalTime.h"

namespace tamrix {

bool ToLocalTime(std::time_t moment, std::tm& local) {
    return ::localtime_s(&local, &moment) == 0;
}

}  // namespace tamrix
