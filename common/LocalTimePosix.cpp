#include <time.h>

#include "common/LocalTime.h"

namespace tamrix {

bool ToLocalTime(std::time_t moment, std::tm& local) {
    return ::localtime_r(&moment, &local) != nullptr;
}

}  // namespace tamrix
