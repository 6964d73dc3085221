// The serial device on POSIX termios.
//
// Exclusive: TIOCEXCL keeps other programs out, but not root; an advisory lock refuses every
// opener that plays by the same rules, root included. Raw 8N1 without flow control, both modem
// lines inactive where the device has them (a pseudo-terminal has none: tolerated).

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "comm/PortLease.h"
#include "comm/SerialDevice.h"
#include "platform/RetryOnInterrupt.h"
#include "platform/UniqueFd.h"

namespace tamrix {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Microseconds = std::chrono::microseconds;

// A terminal's receive queue holds less than 4096 bytes (Linux: 4095), so a larger echo never
// shows up whole: it is waited for and read in pieces of this size. Every frame this program
// sends fits into one piece.
constexpr int kReadPieceBytes = 2048;
// Below this much wire time for the missing bytes, waiting in poll() is cheaper than sleeping.
constexpr int64_t kSleepForWireTimeAboveUs = 2000;
// While part of an answer waits, poll() would report readiness at once; sleep instead, starting
// short and backing off while nothing new comes, so a stalled sender costs no CPU.
constexpr int64_t kPartialWaitFirstUs = 100;
constexpr int64_t kPartialWaitMaxUs = 2000;
// A device that hung up (pseudo-terminal closed, USB adapter unplugged) reports readiness for
// ever; the waits then sleep in steps of this size.
constexpr int64_t kHangUpStepUs = 20000;

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

// poll() on one descriptor until something happens on it or `deadline` has passed; a signal does
// not end the wait early.
int PollUntil(pollfd& ready, SteadyClock::time_point deadline) {
    return RetryOnInterrupt([&] {
        return ::poll(&ready, 1, PollTimeoutMs(std::max<int64_t>(MicrosecondsUntil(deadline), 0)));
    });
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

// What an open() that failed with `error` means to the user.
OpenError OpenErrorFrom(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenError::PermissionDenied;
        case EBUSY:
            return OpenError::Busy;
        case ENOENT:
        case ENOTDIR:
        case ENODEV:
        case ENXIO:
        case EIO:  // a port node without a UART behind it
            return OpenError::NoDevice;
        default:
            return OpenError::NotUsable;
    }
}

// Why a lease could not be taken, found without opening the device again (an opening can move the
// modem lines of a port somebody else is using): missing, not ours to open, or held by another.
OpenError LeaseError(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return OpenError::NoDevice;
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
        return errno == EACCES || errno == EPERM ? OpenError::PermissionDenied
                                                 : OpenError::NotUsable;
    return OpenError::Busy;
}

class CPosixSerialDevice : public CSerialDevice {
  public:
    ~CPosixSerialDevice() override { Close(); }

    bool Open(const std::string& path, int baud, CPortLease* lease) override;
    OpenError LastOpenError() const override { return openError_; }
    void Close() override;
    bool IsOpen() const override { return handle_.IsOpen(); }
    bool PurgeInput() override { return ::tcflush(handle_.Get(), TCIFLUSH) == 0; }
    bool PurgeOutput() override;
    bool CanWatchTransmitter() override;
    Transmission Transmit(const uint8_t* buffer, int count, Deadline deadline) override;
    int Read(uint8_t* buffer, int count) override;
    int BytesAvailable() override;
    bool WaitForBytes(int count, Deadline deadline, int baud) override;
    bool ReadExactly(uint8_t* buffer, int count, Deadline deadline, int baud) override;

  private:
    bool Configure(int baud);
    bool Drain(Deadline deadline);

    CUniqueFd handle_;
    int baud_ = 0;
    OpenError openError_ = OpenError::None;
};

bool CPosixSerialDevice::Open(const std::string& path, int baud, CPortLease* lease) {
    Close();
    openError_ = OpenError::None;
    if (lease != nullptr && !lease->IsHeld() && !lease->Acquire(path)) {
        openError_ = LeaseError(path);  // typically: somebody else has the port
        return false;
    }
    CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen()) {
        openError_ = OpenErrorFrom(errno);
        return false;
    }
    // Until the lock is ours the port belongs to somebody else: close it without touching its
    // queues or its exclusive flag. A lease that holds this very device carries the lock for us.
    const bool leased = lease != nullptr && lease->HoldsDevice(path);
    if (!leased && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        openError_ = OpenError::Busy;
        return false;
    }
    handle_ = std::move(fd);
    baud_ = baud;
    ::ioctl(handle_.Get(), TIOCEXCL);
    // What an earlier user left in the queues; should a purge fail, the leftovers are dropped by
    // the handshake like any stray byte.
    static_cast<void>(PurgeInput());
    static_cast<void>(PurgeOutput());
    if (!Configure(baud)) {
        Close();
        openError_ = OpenError::NotUsable;
        return false;
    }
    return true;
}

bool CPosixSerialDevice::Configure(int baud) {
    speed_t speed = 0;
    if (!SpeedFor(baud, speed))
        return false;
    const int fd = handle_.Get();
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;

    // Raw 8N1: no line editing, no character translation, no flow control of either kind; a
    // read returns at once with whatever has arrived.
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0)
        return false;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        return false;

    // tcsetattr succeeds when the driver took any part of the request: check what it kept.
    termios taken{};
    if (::tcgetattr(fd, &taken) != 0)
        return false;
    const tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS;
    if (::cfgetospeed(&taken) != speed || (taken.c_cflag & framing) != CS8)
        return false;

    // Both modem lines inactive, so a wiring that uses them cannot hold the target in reset.
    int lines = TIOCM_DTR | TIOCM_RTS;
    return ::ioctl(fd, TIOCMBIC, &lines) == 0 || NotSupported(errno);
}

void CPosixSerialDevice::Close() {
    if (handle_.IsOpen()) {
        // Closing goes on whatever the purges say: the queues go with the descriptor.
        static_cast<void>(PurgeInput());
        static_cast<void>(PurgeOutput());
        ::ioctl(handle_.Get(), TIOCNXCL);
        handle_.Reset();  // also drops the advisory lock
    }
    baud_ = 0;
}

// Discards only what is still waiting to be sent. On a pseudo-terminal TCOFLUSH also throws away
// bytes already handed to the other end but not read there yet, so a purge right after a write
// could eat a command the target has not seen; asking first leaves delivered bytes alone (after
// a completed write a real UART has nothing queued either).
bool CPosixSerialDevice::PurgeOutput() {
    int queued = 0;
    if (::ioctl(handle_.Get(), TIOCOUTQ, &queued) == 0 && queued <= 0)
        return true;
    return ::tcflush(handle_.Get(), TCOFLUSH) == 0;
}

bool CPosixSerialDevice::CanWatchTransmitter() {
    int queued = 0;
    return ::ioctl(handle_.Get(), TIOCOUTQ, &queued) == 0 || NotSupported(errno);
}

CSerialDevice::Transmission CPosixSerialDevice::Transmit(const uint8_t* buffer, int count,
                                                         Deadline deadline) {
    Transmission result;
    int& accepted = result.accepted;
    const int fd = handle_.Get();
    while (accepted < count) {
        const ssize_t sent = RetryOnInterrupt(
            [&] { return ::write(fd, buffer + accepted, static_cast<size_t>(count - accepted)); });
        if (sent > 0) {
            accepted += static_cast<int>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return result;
        // The transmit queue is full: wait for room, but not past the deadline.
        const int64_t remainingUs = MicrosecondsUntil(deadline);
        if (remainingUs <= 0)
            break;
        pollfd ready{fd, POLLOUT, 0};
        const int polled = PollUntil(ready, deadline);
        if (polled < 0)
            return result;
        if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return result;
    }
    result.ok = accepted > 0 && Drain(deadline);
    return result;
}

// Waits until what was written has left the driver: its queue first, sleeping about the wire time
// of what it still holds, then the UART itself. Past the deadline the bytes count as sent (the
// port has taken them) and the wait ends. False on a device error.
bool CPosixSerialDevice::Drain(Deadline deadline) {
    const int fd = handle_.Get();
    while (true) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
            if (NotSupported(errno))
                break;
            return false;
        }
        if (queued <= 0)
            break;
        const int64_t remainingUs = MicrosecondsUntil(deadline);
        if (remainingUs <= 0)
            return true;
        SleepUs(
            std::min(std::max(SerialWireTimeUs(queued, baud_), kPartialWaitFirstUs), remainingUs));
    }
    if (RetryOnInterrupt([fd] { return ::tcdrain(fd); }) != 0)
        return NotSupported(errno);
    return true;
}

int CPosixSerialDevice::Read(uint8_t* buffer, int count) {
    const ssize_t got =
        RetryOnInterrupt([&] { return ::read(handle_.Get(), buffer, static_cast<size_t>(count)); });
    // Nothing: nothing waiting (EAGAIN), end of file after a hang-up, or an error.
    return got > 0 ? static_cast<int>(got) : 0;
}

int CPosixSerialDevice::BytesAvailable() {
    int waiting = 0;
    if (::ioctl(handle_.Get(), FIONREAD, &waiting) != 0)
        return 0;
    return std::max(waiting, 0);
}

bool CPosixSerialDevice::WaitForBytes(int count, Deadline deadline, int baud) {
    const int fd = handle_.Get();
    int64_t partialWaitUs = kPartialWaitFirstUs;
    int lastWaiting = -1;
    while (true) {
        int waiting = 0;
        const bool known = ::ioctl(fd, FIONREAD, &waiting) == 0;
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
        const int64_t wireUs = SerialWireTimeUs(count - waiting, baud);
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
        pollfd ready{fd, POLLIN, 0};
        const int polled = PollUntil(ready, deadline);
        const bool failed = polled < 0;
        const bool hungUp = polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        if (failed || hungUp)
            SleepUs(std::min(kHangUpStepUs, MicrosecondsUntil(deadline)));
    }
}

bool CPosixSerialDevice::ReadExactly(uint8_t* buffer, int count, Deadline deadline, int baud) {
    int got = 0;
    while (got < count) {
        // Waits for a piece at a time, so a long echo is taken while it still comes in.
        const int piece = std::min(count - got, kReadPieceBytes);
        if (!WaitForBytes(piece, deadline, baud))
            return false;
        int pieceGot = 0;
        while (pieceGot < piece) {
            const ssize_t n = RetryOnInterrupt([&] {
                return ::read(handle_.Get(), buffer + got + pieceGot,
                              static_cast<size_t>(piece - pieceGot));
            });
            if (n <= 0)
                return false;
            pieceGot += static_cast<int>(n);
        }
        got += piece;
    }
    return true;
}

}  // namespace

std::string SystemComPortName(int) {
    return std::string();  // COM numbers come from the port map here
}

bool IsSameSerialDevice(const std::string& first, const std::string& second) {
    if (first == second)
        return true;
    struct stat a {};
    struct stat b {};
    if (::stat(first.c_str(), &a) != 0 || ::stat(second.c_str(), &b) != 0)
        return false;
    // A device is its device number: a second node made for it (mknod, a container's /dev) is
    // another file of the same device.
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::unique_ptr<CSerialDevice> CreateSerialDevice() {
    return std::make_unique<CPosixSerialDevice>();
}

}  // namespace tamrix
