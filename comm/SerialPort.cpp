#include "comm/SerialPort.h"

#include <algorithm>
#include <thread>

#include "comm/DeviceAccess.h"
#include "comm/SerialDevice.h"
#include "common/ReportWindow.h"

namespace tamrix {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Microseconds = std::chrono::microseconds;

constexpr const char* kNotOpenText = "Channel not open! Cannot flush an unopened channel.";
constexpr const char* kTxFlushFailedText = "Error flushing COM port TX buffer!";
constexpr const char* kRxFlushFailedText = "Error flushing COM port RX buffer!";
constexpr const char* kTxWatchFailedText = "SetCommMask failed!";

// The echo of a one-wire write must arrive within one second after the last byte has left.
constexpr int kEchoWaitMs = 1000;
// After an echo that went wrong, the line counts as quiet once nothing came for this long (or for
// four bytes' wire time at slow rates); the settling never takes longer than the echo wait.
constexpr int kSettleQuietMs = 20;
// At rates without a write time-out a write still must not hang for ever on a port that never
// takes the bytes: it gives up after twice the wire time plus this much.
constexpr int64_t kStalledWriteGraceMs = 1000;

}  // namespace

int64_t SerialWireTimeUs(int64_t bytes, int baud) {
    if (baud <= 0 || bytes <= 0)
        return 0;
    return bytes * 10 * 1000000 / baud;
}

CSerialPort::CSerialPort(CReportWindow* reportWindow, CPortMap map)
    : window(reportWindow), portMap(std::move(map)), device(CreateSerialDevice()) {}

CSerialPort::~CSerialPort() {
    Close();
}

int SerialWriteTimeoutPerByteMs(int baud) {
    return baud > 0 ? 38400 / baud : 0;
}

int CSerialPort::WriteTimeoutPerByte(int baud) {
    return SerialWriteTimeoutPerByteMs(baud);
}

int CSerialPort::Open(int number, int baud, int echo) {
    return Open(number, baud, echo, nullptr);
}

int CSerialPort::Open(int number, int baud, int echo, CPortLease* lease) {
    Close();
    const std::string path = portMap.DevicePath(number);
    if (path.empty()) {
        openFailure =
            OpenFailure{OpenError::NoDevice, "COM" + std::to_string(number), std::string()};
        return 0;
    }
    if (OpenDevice(path, baud, echo, lease) != 1)
        return 0;
    portNumber = number;
    return 1;
}

int CSerialPort::OpenDevice(const std::string& path, int baud, int echo, CPortLease* lease) {
    Close();
    openFailure = OpenFailure();
    if (!device->Open(path, baud, lease)) {
        openFailure.error = device->LastOpenError();
        openFailure.device = path;
        if (openFailure.error == OpenError::PermissionDenied)
            openFailure.group = DeviceAccessGroup(path);
        return 0;
    }
    devicePath = path;
    echoMode = echo;
    baudRate = baud;
    isOpen = 1;
    return 1;
}

void CSerialPort::Close() {
    device->Close();
    isOpen = 0;
    lastWriteAccepted = 0;
    portNumber = 0;
    echoMode = 0;
    baudRate = 0;
    devicePath.clear();
}

void CSerialPort::FlushTx() {
    if (isOpen == 0) {
        ShowMessage(kNotOpenText);
        return;
    }
    if (!device->PurgeOutput())
        ShowMessage(kTxFlushFailedText);
}

bool CSerialPort::FlushRx() {
    if (isOpen == 0) {
        ShowMessage(kNotOpenText);
        return false;
    }
    if (!device->PurgeInput()) {
        ShowMessage(kRxFlushFailedText);
        return false;
    }
    return true;
}

int CSerialPort::Write(const uint8_t* buffer, int count) {
    lastWriteAccepted = 0;
    if (!device->IsOpen() || buffer == nullptr || count <= 0)
        return 0;

    // The write ends by watching the transmitter empty; a port that cannot even be asked about it
    // is broken (typically unplugged), and nothing is sent.
    if (!device->CanWatchTransmitter()) {
        ShowMessage(kTxWatchFailedText);
        return 0;
    }

    const int perByteMs = WriteTimeoutPerByte(baudRate);
    const auto limit = perByteMs > 0 ? std::chrono::milliseconds(int64_t{perByteMs} * count)
                                     : std::chrono::duration_cast<std::chrono::milliseconds>(
                                           Microseconds(2 * SerialWireTimeUs(count, baudRate))) +
                                           std::chrono::milliseconds(kStalledWriteGraceMs);
    const auto began = SteadyClock::now();
    const CSerialDevice::Transmission sent = device->Transmit(buffer, count, began + limit);
    const int written = sent.accepted;
    if (written == 0)
        return 0;
    lastWriteAccepted = written;
    statistics_.bytesSent += written;
    if (!sent.ok)
        return 0;
    // The driver may call its queue empty long before the bytes are on the other side (a
    // pseudo-terminal at once, a USB adapter with kilobytes still in its own FIFO): they have
    // left only once their wire time has passed since the write began.
    std::this_thread::sleep_until(began + Microseconds(SerialWireTimeUs(written, baudRate)));

    if (echoMode != 1)
        return written;
    // One-wire wiring: every sent byte comes back. Exactly `written` bytes are read back once
    // they are all there; later bytes are the target's answer and stay queued.
    echo.resize(static_cast<size_t>(written));
    const auto echoDeadline = SteadyClock::now() + std::chrono::milliseconds(kEchoWaitMs);
    if (device->ReadExactly(echo.data(), written, echoDeadline, baudRate) &&
        std::equal(echo.begin(), echo.end(), buffer)) {
        return written;
    }
    // The echo is short or is not what was sent: a byte was lost on the line, the line carried
    // something else (then the target may have taken it changed), or a late byte of the target
    // took an echo's place. Echo and answers are out of step now, and an echoed 0x01 would pass
    // for an acknowledge: nothing received from here until the line falls quiet is trusted.
    SettleLine();
    return 0;
}

void CSerialPort::SettleLine() {
    const int64_t quietUs =
        std::max<int64_t>(int64_t{kSettleQuietMs} * 1000, 4 * SerialWireTimeUs(1, baudRate));
    const auto limit = SteadyClock::now() + std::chrono::milliseconds(kEchoWaitMs);
    // The write has failed already; a purge that fails as well only keeps the line from falling
    // quiet here, and the settling ends at its limit all the same.
    static_cast<void>(device->PurgeInput());
    while (SteadyClock::now() < limit) {
        const auto quietUntil = std::min(limit, SteadyClock::now() + Microseconds(quietUs));
        if (!device->WaitForBytes(1, quietUntil, baudRate))
            return;
        static_cast<void>(device->PurgeInput());
    }
}

int CSerialPort::Read(uint8_t* buffer, int count) {
    if (!device->IsOpen() || buffer == nullptr || count <= 0)
        return 0;
    const int read = device->Read(buffer, count);
    if (read > 0)
        statistics_.bytesReceived += read;
    return read;
}

int CSerialPort::BytesAvailable() {
    return device->IsOpen() ? device->BytesAvailable() : 0;
}

void CSerialPort::WaitForInput(int count, int timeoutMs) {
    if (timeoutMs <= 0)
        return;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    if (!device->IsOpen()) {
        // Nothing can arrive; callers loop until their deadline, so do not return early.
        std::this_thread::sleep_until(deadline);
        return;
    }
    // Only a way to wait without spinning: callers look at BytesAvailable afterwards.
    static_cast<void>(device->WaitForBytes(count, deadline, baudRate));
}

int CSerialPort::WireTimeMs(int bytes) const {
    return static_cast<int>((SerialWireTimeUs(bytes, baudRate) + 999) / 1000);
}

void CSerialPort::ShowMessage(const char* text) {
    if (window != nullptr) {
        window->ShowMessageBox(text, kApplicationCaption, MessageIcon::None, MessageButtons::Ok);
    }
}

}  // namespace tamrix
