#pragma once
// The serial ports of a Windows machine, found as the port dialog has always found them: the
// device setup class named "Ports" (looked for at class index 23 first, else by scanning the
// classes), then the friendly name of each of its present members. The walk is decided here over
// a small interface with one call per question, so it can be tried on a made-up machine; the
// SetupAPI and configuration-manager calls are PortEnumeratorWin32.cpp's. No OS types here.

#include <memory>
#include <string>
#include <vector>

#include "comm/PortEnumerator.h"

namespace tamrix {

// The answers of the device installation interface.
class CDeviceClassApi {
  public:
    virtual ~CDeviceClassApi() = default;

    struct ClassInfo {
        // 0 found; -1 no more classes; -2 invalid data; -3 any other failure
        int result = -3;
        std::string name;      // the class's name; only meaningful with result 0
        bool present = false;  // the class has a device list and an installer key
    };
    // The class at `classIndex` of the configuration manager's list.
    virtual ClassInfo EnumerateDeviceClass(int classIndex) = 0;

    struct Member {
        // 0 named; -1 no more devices; -2 the class name has no GUID; -4 the device has no name
        int result = -1;
        std::string name;  // friendly name, else device description; empty unless result is 0
    };
    // The present member `memberIndex` of the class named `className`.
    virtual Member GetDeviceFriendlyName(const std::string& className, int memberIndex) = 0;
};

// Where the "Ports" class usually is; any other index is found by scanning.
inline constexpr int kPortsClassIndexGuess = 23;
// Bounds for a configuration manager that never says "no more": far more classes and ports than
// any machine has.
inline constexpr int kMaxDeviceClasses = 1024;
inline constexpr int kMaxClassMembers = 4096;

// The friendly names of the present members of the "Ports" class, in the order the system gives
// them; empty when there is no such class or it is not present. A member whose name cannot be
// read is left out; a class whose GUID cannot be resolved ends the walk (it would answer so for
// every index).
std::vector<std::string> ListPortsClassNames(CDeviceClassApi& api);

// The ports among `friendlyNames`: those that carry "(COM", with the port number of the name the
// dialog cuts out of it (0 when that is no COM name) and the system's name to open.
std::vector<SerialPortInfo> PortsFromFriendlyNames(const std::vector<std::string>& friendlyNames);

// An enumerator over `api`.
std::unique_ptr<CPortEnumerator> CreateDeviceClassPortEnumerator(
    std::unique_ptr<CDeviceClassApi> api);

}  // namespace tamrix
