#include "comm/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "comm/PortLease.h"
#include "comm/PortMap.h"
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
constexpr int kEchoScratchBytes = 4096;
// The echo is waited for and read away in pieces of at most this size. A terminal's receive
// queue holds less than 4096 bytes (Linux: 4095), so a larger echo never shows up whole; every
// frame this program sends fits into one piece, and then a missing echo leaves the queue untouched.
constexpr int kEchoPieceBytes = 2048;

// Start, eight data bits, stop.
constexpr int64_t kBitsPerByte = 10;
// Below this much wire time for the missing bytes, waiting in poll() is cheaper than sleeping.
constexpr int64_t kSleepForWireTimeAboveUs = 2000;
// While part of an answer waits, poll() would report readiness at once; sleep instead, starting
// short and backing off while nothing new comes, so a stalled sender costs no CPU.
constexpr int64_t kPartialWaitFirstUs = 100;
constexpr int64_t kPartialWaitMaxUs = 2000;
// A device that hung up (pseudo-terminal closed, USB adapter unplugged) reports readiness for
// ever; the waits then sleep in steps of this size.
constexpr int64_t kHangUpStepUs = 20000;
// At rates without a write time-out a write still must not hang for ever on a port that never
// takes the bytes: it gives up after twice the wire time plus this much.
constexpr int64_t kStalledWriteGraceMs = 1000;

struct Rate {
    int baud;
    speed_t speed;
};

// The rates the terminal layer can run; others are refused like a rate the UART cannot make.
constexpr Rate kRates[] = {
    {1200, B1200},     {1800, B1800},   {2400, B2400},   {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400}, {57600, B57600}, {115200, B115200},
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool SpeedFor(int baud, speed_t& speed) {
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

int64_t MicrosecondsUntil(SteadyClock::time_point deadline) {
    return std::chrono::duration_cast<Microseconds>(deadline - SteadyClock::now()).count();
}

// poll() takes whole milliseconds; round up so a short remainder does not become a busy 0.
int PollTimeoutMs(int64_t remainingUs) {
    return static_cast<int>(std::min<int64_t>((remainingUs + 999) / 1000, 1000000));
}

void SleepUs(int64_t us) {
    if (us > 0)
        std::this_thread::sleep_for(Microseconds(us));
}

// A device without the ioctl at all (a pseudo-terminal has no modem lines, some drivers keep no
// count of their transmit queue) answers with one of these.
bool NotSupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

CSerialPort::CSerialPort(CReportWindow* reportWindow) : window(reportWindow) {}

CSerialPort::~CSerialPort() {
    Close();
}

int CSerialPort::WriteTimeoutPerByte(int baud) {
    return baud > 0 ? 38400 / baud : 0;
}

int CSerialPort::Open(int number, int baud, int echo) {
    return Open(number, baud, echo, nullptr);
}

int CSerialPort::Open(int number, int baud, int echo, CPortLease* lease) {
    Close();
    const std::string path = CPortMap::Load().DevicePath(number);
    if (path.empty())
        return 0;
    if (OpenDevice(path, baud, echo, lease) != 1)
        return 0;
    portNumber = number;
    return 1;
}

int CSerialPort::OpenDevice(const std::string& path, int baud, int echo, CPortLease* lease) {
    Close();
    if (lease != nullptr && !lease->IsHeld() && !lease->Acquire(path))
        return 0;  // somebody else has the port
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    // TIOCEXCL keeps other programs out, but not root; the advisory lock refuses every opener
    // that plays by the same rules, root included. Until the lock is ours the port belongs to
    // somebody else: close it without touching its queues or its exclusive flag. A lease that
    // holds this very device already carries the lock for us.
    const bool leased = lease != nullptr && lease->HoldsDevice(path);
    if (!leased && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return 0;
    }
    handle = fd;
    devicePath = path;
    echoMode = echo;
    baudRate = baud;
    ::ioctl(handle, TIOCEXCL);

    PurgeInput();
    PurgeOutput();
    if (!Configure(baud)) {
        Close();
        return 0;
    }
    isOpen = 1;
    return 1;
}

bool CSerialPort::Configure(int baud) {
    speed_t speed = 0;
    if (!SpeedFor(baud, speed))
        return false;
    termios settings{};
    if (::tcgetattr(handle, &settings) != 0)
        return false;

    // Raw 8N1: no line editing, no character translation, no flow control of either kind; a
    // read returns at once with whatever has arrived.
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0) {
        return false;
    }
    if (::tcsetattr(handle, TCSANOW, &settings) != 0)
        return false;

    // tcsetattr succeeds when the driver took any part of the request: check what it kept.
    termios taken{};
    if (::tcgetattr(handle, &taken) != 0)
        return false;
    const tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS;
    if (::cfgetospeed(&taken) != speed || (taken.c_cflag & framing) != CS8)
        return false;

    // Both modem lines inactive, so a wiring that uses them cannot hold the target in reset.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(handle, TIOCMBIC, &lines) != 0 && !NotSupported(errno))
        return false;
    return true;
}

void CSerialPort::Close() {
    if (handle >= 0) {
        PurgeInput();
        PurgeOutput();
        ::ioctl(handle, TIOCNXCL);
        ::close(handle);  // also drops the advisory lock
    }
    handle = -1;
    isOpen = 0;
    lastWriteAccepted = 0;
    portNumber = 0;
    echoMode = 0;
    baudRate = 0;
    devicePath.clear();
}

bool CSerialPort::PurgeInput() {
    return ::tcflush(handle, TCIFLUSH) == 0;
}

// Discards only what is still waiting to be sent. On a pseudo-terminal TCOFLUSH also throws away
// bytes already handed to the other end but not read there yet, so a purge right after a write
// could eat a command the target has not seen; asking first leaves delivered bytes alone (after
// a completed write a real UART has nothing queued either).
bool CSerialPort::PurgeOutput() {
    int queued = 0;
    if (::ioctl(handle, TIOCOUTQ, &queued) == 0 && queued <= 0)
        return true;
    return ::tcflush(handle, TCOFLUSH) == 0;
}

void CSerialPort::FlushTx() {
    if (isOpen == 0) {
        ShowMessage(kNotOpenText);
        return;
    }
    if (!PurgeOutput())
        ShowMessage(kTxFlushFailedText);
}

bool CSerialPort::FlushRx() {
    if (isOpen == 0) {
        ShowMessage(kNotOpenText);
        return false;
    }
    if (!PurgeInput()) {
        ShowMessage(kRxFlushFailedText);
        return false;
    }
    return true;
}

int CSerialPort::Write(const uint8_t* buffer, int count) {
    lastWriteAccepted = 0;
    if (handle < 0 || buffer == nullptr || count <= 0)
        return 0;

    // The write ends by watching the transmit queue empty; a port that cannot even be asked
    // about its queue is broken (typically unplugged), and nothing is sent.
    int queued = 0;
    if (::ioctl(handle, TIOCOUTQ, &queued) != 0 && !NotSupported(errno)) {
        ShowMessage(kTxWatchFailedText);
        return 0;
    }

    const int perByteMs = WriteTimeoutPerByte(baudRate);
    const auto limit = perByteMs > 0 ? std::chrono::milliseconds(int64_t{perByteMs} * count)
                                     : std::chrono::duration_cast<std::chrono::milliseconds>(
                                           Microseconds(2 * WireTimeUs(count))) +
                                           std::chrono::milliseconds(kStalledWriteGraceMs);
    const Deadline began = SteadyClock::now();
    const Deadline deadline = began + limit;

    int written = 0;
    while (written < count) {
        const ssize_t sent =
            ::write(handle, buffer + written, static_cast<size_t>(count - written));
        if (sent > 0) {
            written += static_cast<int>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return 0;
        // The transmit queue is full: wait for room, but not past the write time-out.
        const int64_t remainingUs = MicrosecondsUntil(deadline);
        if (remainingUs <= 0)
            break;
        pollfd ready{handle, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, PollTimeoutMs(remainingUs));
        if (polled < 0 && errno != EINTR)
            return 0;
        if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return 0;
    }
    if (written == 0)
        return 0;
    lastWriteAccepted = written;
    if (!DrainOutput(deadline))
        return 0;
    // The driver may call its queue empty long before the bytes are on the other side (a
    // pseudo-terminal at once, a USB adapter with kilobytes still in its own FIFO): they have
    // left only once their wire time has passed since the write began.
    SleepUs(MicrosecondsUntil(began + Microseconds(WireTimeUs(written))));

    if (echoMode != 1)
        return written;
    return RemoveEcho(written) ? written : 0;
}

// Waits until what was written has left the port: the driver's queue first, sleeping about the
// wire time of what it still holds, then the UART itself. Past the write time-out the bytes
// count as written (the port has taken them) and the wait ends. False on a device error.
bool CSerialPort::DrainOutput(Deadline deadline) {
    while (true) {
        int queued = 0;
        if (::ioctl(handle, TIOCOUTQ, &queued) != 0) {
            if (NotSupported(errno))
                break;
            return false;
        }
        if (queued <= 0)
            break;
        const int64_t remainingUs = MicrosecondsUntil(deadline);
        if (remainingUs <= 0)
            return true;
        SleepUs(std::min(std::max(WireTimeUs(queued), kPartialWaitFirstUs), remainingUs));
    }
    while (::tcdrain(handle) != 0) {
        if (errno == EINTR)
            continue;
        return NotSupported(errno);
    }
    return true;
}

// One-wire wiring: every sent byte comes back. Reads away exactly `count` bytes once they are
// all there; later bytes are the target's answer and stay queued. The echoed bytes are not
// compared with what was sent: a collision shows up as a missing or wrong answer.
bool CSerialPort::RemoveEcho(int count) {
    uint8_t scratch[kEchoScratchBytes];
    const Deadline deadline = SteadyClock::now() + std::chrono::milliseconds(kEchoWaitMs);
    int removed = 0;
    while (removed < count) {
        const int piece = std::min(count - removed, kEchoPieceBytes);
        if (!WaitForBytes(piece, deadline))
            return false;
        int got = 0;
        while (got < piece) {
            const ssize_t n = ::read(handle, scratch, static_cast<size_t>(piece - got));
            if (n > 0) {
                got += static_cast<int>(n);
            } else if (!(n < 0 && errno == EINTR)) {
                return false;
            }
        }
        removed += piece;
    }
    return true;
}

int CSerialPort::Read(uint8_t* buffer, int count) {
    if (handle < 0 || buffer == nullptr || count <= 0)
        return 0;
    while (true) {
        const ssize_t got = ::read(handle, buffer, static_cast<size_t>(count));
        if (got > 0)
            return static_cast<int>(got);
        if (got < 0 && errno == EINTR)
            continue;
        return 0;  // nothing waiting (EAGAIN), end of file after a hang-up, or an error
    }
}

int CSerialPort::BytesAvailable() {
    if (handle < 0)
        return 0;
    int waiting = 0;
    if (::ioctl(handle, FIONREAD, &waiting) != 0)
        return 0;
    return std::max(waiting, 0);
}

void CSerialPort::WaitForInput(int count, int timeoutMs) {
    if (timeoutMs <= 0)
        return;
    if (handle < 0) {
        // Nothing can arrive; callers loop until their deadline, so do not return early.
        SleepUs(int64_t{timeoutMs} * 1000);
        return;
    }
    WaitForBytes(count, SteadyClock::now() + std::chrono::milliseconds(timeoutMs));
}

// True once `count` bytes wait in the receive queue, false when the deadline passed first.
bool CSerialPort::WaitForBytes(int count, Deadline deadline) {
    int64_t partialWaitUs = kPartialWaitFirstUs;
    int lastWaiting = -1;
    while (true) {
        int waiting = 0;
        const bool known = ::ioctl(handle, FIONREAD, &waiting) == 0;
        if (known && waiting >= count)
            return true;
        const int64_t remainingUs = MicrosecondsUntil(deadline);
        if (remainingUs <= 0)
            return false;
        if (!known) {
            SleepUs(std::min(kHangUpStepUs, remainingUs));
            continue;
        }

        // Bytes cannot come faster than the wire brings them: while that takes long, sleep it.
        const int64_t wireUs = WireTimeUs(count - waiting);
        if (wireUs > kSleepForWireTimeAboveUs) {
            SleepUs(std::min(wireUs, remainingUs));
            continue;
        }
        if (waiting > 0) {
            if (waiting != lastWaiting)
                partialWaitUs = kPartialWaitFirstUs;
            lastWaiting = waiting;
            SleepUs(std::min(std::max(wireUs, partialWaitUs), remainingUs));
            partialWaitUs = std::min(partialWaitUs * 2, kPartialWaitMaxUs);
            continue;
        }

        // Nothing waits: poll() wakes up with the first byte.
        pollfd ready{handle, POLLIN, 0};
        const int polled = ::poll(&ready, 1, PollTimeoutMs(remainingUs));
        const bool failed = polled < 0 && errno != EINTR;
        const bool hungUp = polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        if (failed || hungUp)
            SleepUs(std::min(kHangUpStepUs, MicrosecondsUntil(deadline)));
    }
}

int CSerialPort::WireTimeMs(int bytes) const {
    return static_cast<int>((WireTimeUs(bytes) + 999) / 1000);
}

int64_t CSerialPort::WireTimeUs(int64_t bytes) const {
    if (baudRate <= 0 || bytes <= 0)
        return 0;
    return bytes * kBitsPerByte * 1000000 / baudRate;
}

void CSerialPort::ShowMessage(const char* text) {
    if (window != nullptr) {
        window->ShowMessageBox(text, kApplicationCaption, MessageIcon::None, MessageButtons::Ok);
    }
}

}  // namespace tamrix
