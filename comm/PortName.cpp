#include "comm/PortName.h"

#include "comm/PortMap.h"
#include "comm/SerialPort.h"
#include "common/Format.h"

namespace tamrix {

PortName PortName::Parse(const std::string& text) {
    // "\\.\COM12" is how Windows names ports above COM9; it means the same port.
    const std::string kDevicePrefix = "\\\\.\\";
    const std::string name = text.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0
                                 ? text.substr(kDevicePrefix.size())
                                 : text;
    if (const int number = CPortMap::ParsePortName(name); number > 0)
        return Com(number);
    if (text.find('/') != std::string::npos)
        return PortName{0, text};
    return PortName{};
}

std::string PortName::Text() const {
    return path.empty() ? Format("COM%d", number) : path;
}

std::unique_ptr<CSerialPort> OpenSerialPort(const PortName& port, const CPortMap& portMap,
                                            int baudRate, Wiring wiring, CReportWindow* window,
                                            CPortLease* lease) {
    auto serial = std::make_unique<CSerialPort>(window, portMap);
    const int echoMode = EchoModeOf(wiring);
    // Whether it opened is the port's own state (IsOpen); why not, its LastOpenFailure.
    static_cast<void>(port.path.empty() ? serial->Open(port.number, baudRate, echoMode, lease)
                                        : serial->OpenDevice(port.path, baudRate, echoMode, lease));
    return serial;
}

}  // namespace tamrix
