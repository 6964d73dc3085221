#include "download/ChannelOpener.h"

#include "comm/SerialPort.h"

namespace tamrix {

ChannelOpener SerialPortOpener(const PortName& port, CReportWindow* window) {
    return
        [port, window](int baudRate, int echoMode, int* opened) -> std::unique_ptr<CCommChannel> {
            return OpenSerialPort(port, baudRate, echoMode, window, opened);
        };
}

}  // namespace tamrix
