#pragma once
// The operating system's side of one serial device: opening and setting it up, the driver's
// queues, and moving bytes. CSerialPort keeps the rules of the channel on top of it (its messages,
// the write time-out, waiting for the wire, the one-wire echo), the same on every platform. One
// source per platform implements this interface (SerialPortPosix.cpp; the Win32 one follows the
// communications calls of the product's serial layer).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/OpenFailure.h"

namespace tamrix {

class CPortLease;

// Time on the wire of `bytes` bytes at `baud`: start bit, 8 data bits, stop bit each.
int64_t SerialWireTimeUs(int64_t bytes, int baud);

// Milliseconds a write may take per byte at `baud`: 38400 / baud, integer division; 0 (no write
// time-out) at 57600 baud and above, and for rates that make no sense.
int SerialWriteTimeoutPerByteMs(int baud);

class CSerialDevice {
  public:
    using Deadline = std::chrono::steady_clock::time_point;

    virtual ~CSerialDevice() = default;

    // Opens `path` for this program alone and sets it to `baud`, raw 8N1, no flow control, modem
    // lines inactive where it has them. False when it is missing, taken, or refuses the settings;
    // it is then closed again. With a lease, the exclusive hold is the lease's (see
    // CSerialPort::OpenDevice).
    [[nodiscard]] virtual bool Open(const std::string& path, int baud, CPortLease* lease) = 0;
    // Why the last Open failed (None after a successful one).
    [[nodiscard]] virtual OpenError LastOpenError() const = 0;
    // Purges both queues and closes; harmless when closed.
    virtual void Close() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;

    // Discards what has arrived and not been read.
    [[nodiscard]] virtual bool PurgeInput() = 0;
    // Discards what has not been sent yet (and nothing that has).
    [[nodiscard]] virtual bool PurgeOutput() = 0;

    // False when the device can no longer report on its transmitter (typically unplugged).
    [[nodiscard]] virtual bool CanWatchTransmitter() = 0;
    // What became of the bytes handed to Transmit.
    struct Transmission {
        int accepted = 0;  // how many the driver took
        bool ok = false;   // false on a device error, also after bytes were taken
    };
    // Hands `count` bytes to the driver, waiting for room until `deadline`, then waits (again
    // until `deadline`) for the driver to have sent them.
    [[nodiscard]] virtual Transmission Transmit(const uint8_t* buffer, int count,
                                                Deadline deadline) = 0;

    // Copies what is waiting, at most `count` bytes; never waits.
    [[nodiscard]] virtual int Read(uint8_t* buffer, int count) = 0;
    [[nodiscard]] virtual int BytesAvailable() = 0;
    // True once `count` received bytes wait, false when `deadline` passed first. Waits without
    // spinning; `baud` tells how fast bytes can come at all.
    [[nodiscard]] virtual bool WaitForBytes(int count, Deadline deadline, int baud) = 0;
    // Reads exactly `count` received bytes into `buffer` once they have arrived (by `deadline`);
    // later bytes stay queued. False when they did not all come in time.
    [[nodiscard]] virtual bool ReadExactly(uint8_t* buffer, int count, Deadline deadline,
                                           int baud) = 0;
};

// The device of this platform.
std::unique_ptr<CSerialDevice> CreateSerialDevice();

// The name under which the system itself opens COM<portNumber> ("COM4", "\\.\COM12" on
// Windows); "" where the system has no COM numbers and the port map gives them their devices.
std::string SystemComPortName(int portNumber);

// True when the two names open one and the same device: the same text, or (where devices are
// files) names that resolve to one device however they are spelt: a link such as
// /dev/serial/by-id/... and the /dev/ttyUSB0 it points at, two links, or two device nodes of
// one device. A name that does not exist is only itself.
bool IsSameSerialDevice(const std::string& first, const std::string& second);

}  // namespace tamrix
