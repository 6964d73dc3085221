#pragma once
// Why a port could not be opened, carried from the device up to whoever tells the user. The
// program's own report stays "Port Open Fail"; this lets it add which device it was, why, and what
// the user can do about it.

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
    std::string device;  // the device that was tried (the COM name when the number has none)
    // PermissionDenied: a group whose members may read and write the device ("dialout"), when
    // there is one worth joining; empty otherwise.
    std::string group;
};

// Why, in a few words ("not there", "in use by another program", ...); "" when nothing is known.
std::string OpenFailureReason(const OpenFailure& failure);

// The status line that names the device, says why it could not be opened and what to do about
// it; "" when nothing is known. A permission problem names, when known, the group to join and how.
std::string OpenFailureAdvice(const OpenFailure& failure);

}  // namespace tamrix
