#pragma once
// Why a port could not be opened, carried from the device up to whoever tells the user. The
// program's own report stays "Port Open Fail"; this only lets it add what the user can do about
// it (today: a port this user has no permission for).

#include <string>

namespace tamrix {

enum class OpenError {
    None,              // opened, or never tried
    NoDevice,          // the COM number has no device, or nothing is at the path
    PermissionDenied,  // the device is there, but this user may not open it
    Busy,              // another program has it
    NotUsable,         // not a serial port, or it refused the line settings
};

struct OpenFailure {
    OpenError error = OpenError::None;
    std::string device;  // the device that was tried ("" when the COM number has none)
    // PermissionDenied: a group whose members may read and write the device ("dialout"), when
    // there is one worth joining; empty otherwise.
    std::string group;
};

// The status line that says what to do about `failure`, "" when there is nothing to add. A
// permission problem names the device and, when known, the group to join and how.
std::string OpenFailureAdvice(const OpenFailure& failure);

}  // namespace tamrix
