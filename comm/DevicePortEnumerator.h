#pragma once
// Ports from the records of a device database (on Linux: udev's terminal devices). Which terminal
// devices are serial ports, what they are called and which COM number each has is decided here,
// from plain records; reading the database is a source's job (PortEnumeratorUdev.cpp), so the
// decisions can be tried on made-up records.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "comm/PortEnumerator.h"

namespace tamrix {

class CClock;

// One terminal device as the device database describes it.
struct SerialDeviceRecord {
    std::string devnode;  // /dev/ttyUSB0
    // The driver of the hardware behind the node (ftdi_sio, cdc_acm, serial, serial8250,
    // uart-pl011, ...); empty when nothing is behind it (virtual consoles, ptmx).
    std::string driver;
    // The kind of device that driver serves: usb-serial, usb, pnp, platform, amba, pci, ...
    std::string bus;
    // The UART the kernel found behind an on-board port: 0 none (the node is only a placeholder);
    // -1 when the kernel reports no type for this kind of port (USB adapters).
    int uartType = -1;
    std::vector<std::string> devlinks;  // other names of the node: /dev/serial/by-id/..., by-path
    // The database's properties: ID_VENDOR_FROM_DATABASE, ID_MODEL_FROM_DATABASE, ID_VENDOR_ENC,
    // ID_MODEL_ENC, ID_VENDOR, ID_MODEL, ...
    std::map<std::string, std::string> properties;
    std::string usbProduct;  // the USB device's own product string, if any
    bool accessible = true;  // this user may open the node
    std::string group;       // when not: the group to join, if any
};

class CSerialDeviceSource {
  public:
    virtual ~CSerialDeviceSource() = default;
    // Every terminal device present now; the enumerator picks the serial ports.
    virtual std::vector<SerialDeviceRecord> List() = 0;
};

class CDevicePortEnumerator : public CPortEnumerator {
  public:
    // Numbers are kept in the port map file at `mapPath` (empty: for one listing only); the wait
    // for the file's lock sleeps on `clock`.
    CDevicePortEnumerator(std::unique_ptr<CSerialDeviceSource> source, std::string mapPath,
                          CClock& clock);

    // The port map is read afresh every time, so numbers another program gave meanwhile count.
    std::vector<SerialPortInfo> Enumerate() override;
    const std::vector<std::string>& Problems() const override { return problems_; }

  private:
    std::unique_ptr<CSerialDeviceSource> source_;
    std::string mapPath_;
    CClock& clock_;
    std::vector<std::string> problems_;
};

}  // namespace tamrix
