#include "download/ChannelOpener.h"

#include "comm/PortLease.h"
#include "comm/SerialPort.h"

namespace tamrix {

ChannelOpener SerialPortOpener(const PortName& port, CPortMap portMap, CReportWindow* window,
                               std::shared_ptr<CPortLease> lease) {
    // Every copy of the opener shares the one lease: the port is held from the first opening
    // until the last copy is gone (the download process has ended).
    if (lease == nullptr)
        lease = std::make_shared<CPortLease>();
    return [port, portMap = std::move(portMap), window, lease](int baudRate, Wiring wiring) {
        std::unique_ptr<CSerialPort> serial =
            OpenSerialPort(port, portMap, baudRate, wiring, window, lease.get());
        const bool opened = serial->IsOpen();
        return OpenedChannel{std::move(serial), opened};
    };
}

}  // namespace tamrix
