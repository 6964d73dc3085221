#pragma once
// CSerialPort: the serial port behind CCommChannel.
//
// Semantics kept from the product's serial layer: exclusive open (a second opener fails, also for
// root, through an advisory lock), raw 8N1, no flow control, DTR/RTS inactive where the device has
// modem lines, a Read that never waits, a Write that returns when the bytes have left the port
// and whose wire time has passed (bounded by a per-byte write time-out of 38400 / baud ms at
// 38400 baud and below), and echo mode for the one-wire wiring. What the operating system does is
// behind CSerialDevice (SerialDevice.h), one source per platform; this class is the same on all.

#include <memory>
#include <string>
#include <vector>

#include "comm/CommChannel.h"
#include "comm/PortMap.h"

namespace tamrix {

class CPortLease;
class CReportWindow;
class CSerialDevice;

class CSerialPort : public CCommChannel {
  public:
    // `window` receives the port's message boxes ("Channel not open! ..."); it may be null, and
    // is not owned. `portMap` gives the COM numbers their devices; the port never looks for a
    // map itself.
    explicit CSerialPort(CReportWindow* window = nullptr, CPortMap portMap = CPortMap::Defaults());
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM<portNumber>, the device the port map gives it.
    [[nodiscard]] int Open(int portNumber, int baudRate, int echoMode) override;
    [[nodiscard]] int Open(int portNumber, int baudRate, int echoMode, CPortLease* lease);
    // Opens a device by its path (/dev/ttyUSB0, a pseudo-terminal, ...). With a lease, the port's
    // advisory lock is the lease's: taken by the first opening through it when nobody holds it,
    // and kept after Close, so that the port stays this program's between openings.
    [[nodiscard]] int OpenDevice(const std::string& devicePath, int baudRate, int echoMode,
                                 CPortLease* lease = nullptr);

    void Close() override;
    void FlushTx() override;
    [[nodiscard]] bool FlushRx() override;
    [[nodiscard]] int Write(const uint8_t* buffer, int count) override;
    [[nodiscard]] int LastWriteAccepted() const override { return lastWriteAccepted; }
    [[nodiscard]] int Read(uint8_t* buffer, int count) override;
    [[nodiscard]] int BytesAvailable() override;
    void WaitForInput(int count, int timeoutMs) override;
    [[nodiscard]] int WireTimeMs(int bytes) const override;
    [[nodiscard]] bool EchoesWrites() const override { return isOpen != 0 && echoMode == 1; }
    // Set by every Open and OpenDevice: error None after a successful one. A device this user
    // may not open names the group that would let them (where there is one).
    [[nodiscard]] OpenFailure LastOpenFailure() const override { return openFailure; }

    bool IsOpen() const { return isOpen != 0; }
    int PortNumber() const { return portNumber; }
    const std::string& DevicePath() const { return devicePath; }

    // Milliseconds a write may take per byte at `baudRate` (SerialWriteTimeoutPerByteMs).
    static int WriteTimeoutPerByte(int baudRate);

  private:
    void ShowMessage(const char* text);
    // Drops what arrives until the line has been quiet for a moment (at most the echo wait).
    void SettleLine();

    CReportWindow* window;
    CPortMap portMap;
    std::unique_ptr<CSerialDevice> device;
    int portNumber = 0;
    int isOpen = 0;
    int echoMode = 0;
    int baudRate = 0;
    int lastWriteAccepted = 0;
    std::vector<uint8_t> echo;  // the echo of the last one-wire write, as it came back
    std::string devicePath;
    OpenFailure openFailure;
};

}  // namespace tamrix
