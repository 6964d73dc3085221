#include "comm/OpenFailure.h"

#include "common/Format.h"

namespace tamrix {

namespace {

std::string DeviceName(const OpenFailure& failure) {
    return failure.device.empty() ? "the port" : EscapeControls(failure.device);
}

}  // namespace

std::string OpenFailureReason(const OpenFailure& failure) {
    switch (failure.error) {
        case OpenError::None:
            return std::string();
        case OpenError::NoDevice:
            return "not there";
        case OpenError::PermissionDenied:
            return "no permission";
        case OpenError::Busy:
            return "in use by another program";
        case OpenError::NotUsable:
            return "not a serial port this program can use";
    }
    return std::string();
}

std::string OpenFailureAdvice(const OpenFailure& failure) {
    const std::string device = DeviceName(failure);
    switch (failure.error) {
        case OpenError::None:
            return std::string();
        case OpenError::NoDevice:
            return "[Error] : " + device +
                   " is not there: check the port's name and that the adapter is plugged in "
                   "(Search, or tamrix-cli ports, lists the ports present). \r\n";
        case OpenError::Busy:
            return "[Error] : " + device +
                   " is in use by another program: close that program (a terminal, another "
                   "download) and try again. \r\n";
        case OpenError::NotUsable:
            return "[Error] : " + device +
                   " is not a serial port this program can use: it refused the line "
                   "settings. \r\n";
        case OpenError::PermissionDenied:
            break;
    }
    if (failure.group.empty()) {
        return "[Error] : Permission denied for " + device +
               ". Ask the administrator for read and write access to it. \r\n";
    }
    return "[Error] : Permission denied for " + device + " (owned by group " + failure.group +
           "). Add your account to the group: sudo usermod -aG " + failure.group +
           " $USER, then log in again. \r\n";
}

}  // namespace tamrix
