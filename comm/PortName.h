#pragma once
// A port as the technician names it: "COM4" (resolved through the port map when opened) or a
// device path such as /dev/ttyUSB0 or a pseudo-terminal.

#include <memory>
#include <string>

#include "common/LinkChoices.h"

namespace tamrix {

class CPortLease;
class CPortMap;
class CSerialPort;
class CReportWindow;

struct PortName {
    int number = 0;    // COM number, 0 when a path is given
    std::string path;  // device path, empty when a COM number is given

    // "COM7" / "com7" / "\\.\COM7" -> number 7; "/dev/..." or any other text containing '/'
    // -> path; anything else -> invalid (number 0, empty path).
    static PortName Parse(const std::string& text);
    static PortName Com(int portNumber) { return PortName{portNumber, std::string()}; }
    bool IsValid() const { return number > 0 || !path.empty(); }
    // "COM7" or the path, for messages.
    std::string Text() const;
};

// Opens a new serial port on `port`: a COM number is the device `portMap` gives it, a path is
// opened as it is; under `lease` when one is given (see CSerialPort::OpenDevice).
// The port object is returned even when opening failed (IsOpen says which): callers flush and
// close it exactly as they would an open one.
std::unique_ptr<CSerialPort> OpenSerialPort(const PortName& port, const CPortMap& portMap,
                                            int baudRate, Wiring wiring, CReportWindow* window,
                                            CPortLease* lease = nullptr);

}  // namespace tamrix
