#include "comm/PortSpec.h"

#include "comm/PortMap.h"
#include "comm/SerialPort.h"
#include "common/Format.h"

namespace tamrix {

PortSpec PortSpec::Parse(const std::string& text) {
    if (const int number = CPortMap::ParsePortName(text); number > 0)
        return Com(number);
    if (text.find('/') != std::string::npos)
        return PortSpec{0, text};
    return PortSpec{};
}

std::string PortSpec::Name() const {
    return path.empty() ? Format("COM%d", number) : path;
}

std::unique_ptr<CSerialPort> OpenSerialPort(const PortSpec& port, int baudRate, int echoMode,
                                            CReportWindow* window, int* opened) {
    auto serial = std::make_unique<CSerialPort>(window);
    const int result = port.path.empty() ? serial->Open(port.number, baudRate, echoMode)
                                         : serial->OpenDevice(port.path, baudRate, echoMode);
    if (opened != nullptr)
        *opened = result;
    return serial;
}

}  // namespace tamrix
