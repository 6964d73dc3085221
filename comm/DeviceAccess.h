#pragma once
// Whether this user may open a device for reading and writing, asked without opening it (opening
// a serial port can disturb whoever uses it). One source per platform; no OS types here.

#include <string>

namespace tamrix {

struct DeviceAccess {
    bool allowed = true;
    // When not allowed: a group whose members may read and write the device, if there is one a
    // user can sensibly join (never the administrators' own group); empty otherwise.
    std::string group;
};

DeviceAccess CheckDeviceAccess(const std::string& devicePath);

// The group that gives its members read and write access to `devicePath`, as for
// DeviceAccess::group; empty when there is none or the device cannot be looked at.
std::string DeviceAccessGroup(const std::string& devicePath);

// True when `devicePath` is (a name of) a port the system writes its console to: a port nobody
// asked for by name must never be opened and set to another rate under the system's messages.
bool IsSystemConsole(const std::string& devicePath);

}  // namespace tamrix
