// Device access on Windows: COM ports carry no per-user permissions worth asking about before
// opening; a port that cannot be opened says why when it is opened (missing, or in use).

#include "comm/DeviceAccess.h"

namespace tamrix {

DeviceAccess CheckDeviceAccess(const std::string&) {
    return DeviceAccess{};
}

std::string DeviceAccessGroup(const std::string&) {
    return std::string();
}

bool IsSystemConsole(const std::string&) {
    return false;  // Windows writes no console to a COM port
}

}  // namespace tamrix
