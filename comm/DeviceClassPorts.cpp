#include "comm/DeviceClassPorts.h"

#include <algorithm>
#include <utility>

#include "comm/PortList.h"
#include "comm/PortMap.h"
#include "comm/SerialDevice.h"

namespace tamrix {

namespace {

constexpr const char* kPortsClass = "Ports";

// True when the class "Ports" was found and is present.
bool FindPortsClass(CDeviceClassApi& api) {
    CDeviceClassApi::ClassInfo info = api.EnumerateDeviceClass(kPortsClassIndexGuess);
    if (info.result != 0 || info.name != kPortsClass) {
        info = CDeviceClassApi::ClassInfo{};
        for (int index = 0; index < kMaxDeviceClasses; ++index) {
            CDeviceClassApi::ClassInfo candidate = api.EnumerateDeviceClass(index);
            if (candidate.result == -1)
                break;
            if (candidate.result == 0 && candidate.name == kPortsClass) {
                info = std::move(candidate);
                break;
            }
        }
    }
    return info.result == 0 && info.name == kPortsClass && info.present;
}

class CDeviceClassPortEnumerator : public CPortEnumerator {
  public:
    explicit CDeviceClassPortEnumerator(std::unique_ptr<CDeviceClassApi> api)
        : api_(std::move(api)) {}

    std::vector<SerialPortInfo> Enumerate() override {
        std::vector<SerialPortInfo> ports = PortsFromFriendlyNames(ListPortsClassNames(*api_));
        std::stable_sort(ports.begin(), ports.end(),
                         [](const SerialPortInfo& a, const SerialPortInfo& b) {
                             return a.portNumber < b.portNumber;
                         });
        return ports;
    }
    const std::vector<std::string>& Problems() const override { return problems_; }

  private:
    std::unique_ptr<CDeviceClassApi> api_;
    std::vector<std::string> problems_;  // the system's numbers need no port map to keep
};

}  // namespace

std::vector<std::string> ListPortsClassNames(CDeviceClassApi& api) {
    std::vector<std::string> names;
    if (!FindPortsClass(api))
        return names;
    for (int index = 0; index < kMaxClassMembers; ++index) {
        CDeviceClassApi::Member member = api.GetDeviceFriendlyName(kPortsClass, index);
        if (member.result == -1 || member.result == -2)
            break;
        if (member.result == 0)
            names.push_back(std::move(member.name));
    }
    return names;
}

std::vector<SerialPortInfo> PortsFromFriendlyNames(const std::vector<std::string>& friendlyNames) {
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : friendlyNames) {
        const std::optional<std::string> portName = PortNameFromFriendlyName(name);
        if (!portName)
            continue;  // a printer port and the like
        SerialPortInfo port;
        port.friendlyName = name;
        port.portNumber = CPortMap::ParsePortName(*portName);
        port.device = SystemComPortName(port.portNumber);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::unique_ptr<CPortEnumerator> CreateDeviceClassPortEnumerator(
    std::unique_ptr<CDeviceClassApi> api) {
    return std::make_unique<CDeviceClassPortEnumerator>(std::move(api));
}

}  // namespace tamrix
