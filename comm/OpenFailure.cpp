#include "comm/OpenFailure.h"

namespace tamrix {

std::string OpenFailureAdvice(const OpenFailure& failure) {
    if (failure.error != OpenError::PermissionDenied)
        return std::string();
    const std::string device = failure.device.empty() ? "the port" : failure.device;
    if (failure.group.empty()) {
        return "[Error] : Permission denied for " + device +
               ". Ask the administrator for read and write access to it. \r\n";
    }
    return "[Error] : Permission denied for " + device + " (owned by group " + failure.group +
           "). Add your account to the group: sudo usermod -aG " + failure.group +
           " $USER, then log in again. \r\n";
}

}  // namespace tamrix
