#include "comm/PresentPorts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "comm/DeviceAccess.h"
#include "comm/SerialDevice.h"
#include "common/Format.h"

namespace tamrix {

namespace {

// The map's own name for a listed port when it opens that very device; else the device itself
// (a number given for one listing only, which no map holds).
PortName OpeningName(const SerialPortInfo& info, const CPortMap& map) {
    const std::string mapped = map.DevicePath(info.portNumber);
    if (!mapped.empty() && IsSameSerialDevice(mapped, info.device))
        return PortName::Com(info.portNumber);
    return PortName{0, info.device};
}

}  // namespace

PortSurvey SurveyPorts(CPortEnumerator* enumerator) {
    PortSurvey survey;
    std::vector<SerialPortInfo> listed;
    if (enumerator != nullptr) {
        survey.listed = true;
        listed = enumerator->Enumerate();
        survey.problems = enumerator->Problems();
    }
    survey.map = CPortMap::Load();
    for (SerialPortInfo& info : listed) {
        PresentPort port;
        port.port = OpeningName(info, survey.map);
        port.systemConsole = IsSystemConsole(info.device);
        port.info = std::move(info);
        survey.present.push_back(std::move(port));
    }

    const CPortMap defaults = CPortMap::Defaults();
    for (const auto& entry : survey.map.Entries()) {
        const int number = entry.first;
        const std::string& device = entry.second;
        const bool listedAlready =
            std::any_of(survey.present.begin(), survey.present.end(), [&](const PresentPort& p) {
                return p.info.portNumber == number || IsSameSerialDevice(p.info.device, device);
            });
        if (listedAlready)
            continue;
        // An on-board port the system did not list has no UART behind its node: not there,
        // whatever the node says. An entry of the user's counts when its device exists.
        std::error_code error;
        const bool exists =
            defaults.DevicePath(number) != device && std::filesystem::exists(device, error);
        if (!exists) {
            survey.absent.emplace_back(number, device);
            continue;
        }
        PresentPort port;
        port.info.device = device;
        port.info.portNumber = number;
        port.info.friendlyName = Format("Port map entry (COM%d)", number);
        const DeviceAccess access = CheckDeviceAccess(device);
        port.info.accessible = access.allowed;
        port.info.group = access.group;
        port.port = PortName::Com(number);
        port.fromMap = true;
        port.systemConsole = IsSystemConsole(device);
        survey.present.push_back(std::move(port));
    }
    std::stable_sort(survey.present.begin(), survey.present.end(),
                     [](const PresentPort& a, const PresentPort& b) {
                         return a.info.portNumber < b.info.portNumber;
                     });
    return survey;
}

}  // namespace tamrix
