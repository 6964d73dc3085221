// The serial device on Win32: the communications calls on one synchronous handle.
//
// Opened exclusively by name ("COM4", "\\.\COM12"); both driver queues 4192 bytes; a read that
// returns at once with what has arrived; a write time-out of 38400 / baud ms per byte; 8N1 with
// both modem lines inactive and no XON/XOFF, every other setting of the device control block left
// as the driver had it. Waiting for input never spins: ReadFile with the time-out combination
// that returns at the first byte (ReadIntervalTimeout and ReadTotalTimeoutMultiplier MAXDWORD) is
// given the time left, and what it brings is kept here until the caller reads it.
//
// A synchronous handle, and a watchdog thread that ends the wait for the transmitter at its
// deadline with CancelSynchronousIo, rather than overlapped I/O as the portable serial libraries
// (libserialport, Qt's QSerialPort, pyserial) use it. They offer asynchronous reads and writes to
// many threads; this channel is used by one thread at a time and always waits, and the
// transmitter's wait (WaitCommEvent) is its only call without a time-out of its own. Overlapped,
// every read would have to be timed by the program itself on the platform the Windows programs
// are tested on: measured under Wine, an overlapped ReadFile on a COM port ignores the
// COMMTIMEOUTS (a read that must return at once stays pending, as does one that should end after
// its first byte or a time), and an overlapped WaitCommEvent ends at once as aborted. The
// watchdog's weak spot, a cancel that arrives while the thread is not in the wait (just before
// it, or in the ClearCommError after it), is closed by cancelling again until the wait is over
// and by the wait's loop ending by itself at the deadline.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "comm/PortLease.h"
#include "comm/SerialDevice.h"
#include "common/Format.h"

namespace tamrix {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr DWORD kQueueBytes = 4192;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// The transmitter gets at least this long to report itself empty after a write.
constexpr auto kTransmitterWait = std::chrono::milliseconds(1000);
constexpr int kReadPieceBytes = 4096;
// Under Wine a wait for input asks the driver for at most this long at a time. Windows ends such a
// read at the first byte; Wine's serial layer waits out the whole time and gathers what comes
// (measured: with a start signal every 100 ms, a one-second read came back after one second with
// ten of them), so short slices keep the reply latency short there.
constexpr DWORD kWineWaitSliceMs = 2;

// How long one read may wait for its first byte.
DWORD WaitSliceMs() {
    static const DWORD slice = [] {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        const bool wine =
            ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
        return wine ? kWineWaitSliceMs : MAXDWORD - 1;
    }();
    return slice;
}

DWORD MillisecondsUntil(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(std::min<int64_t>(left, 0x7FFFFFFF));
}

OpenError OpenErrorFrom(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // A COM port somebody else holds answers "access denied": ports are never shared.
            return OpenError::Busy;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
            return OpenError::NoDevice;
        default:
            return OpenError::NotUsable;
    }
}

// Cancels the blocking wait for the transmitter of one thread when it has not ended by its
// deadline: a synchronous handle has no time-out of its own for WaitCommEvent. Past the deadline
// it cancels again every few milliseconds until it is disarmed, so that a cancel that found the
// thread between two calls is not the last.
class CWaitWatchdog {
  public:
    ~CWaitWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    // Arms the watchdog for the calling thread until Disarm.
    void Arm(SteadyClock::time_point deadline) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread(&CWaitWatchdog::Run, this);
        target_ = ::OpenThread(THREAD_TERMINATE, FALSE, ::GetCurrentThreadId());
        deadline_ = deadline;
        armed_ = true;
        changed_.notify_all();
    }

    void Disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
        if (target_ != nullptr)
            ::CloseHandle(target_);
        target_ = nullptr;
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (!armed_) {
                changed_.wait(lock);
            } else if (SteadyClock::now() < deadline_) {
                changed_.wait_until(lock, deadline_);
            } else {
                ::CancelSynchronousIo(target_);
                changed_.wait_for(lock, kCancelAgain);
            }
        }
    }

    static constexpr auto kCancelAgain = std::chrono::milliseconds(2);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    HANDLE target_ = nullptr;
    SteadyClock::time_point deadline_;
    bool armed_ = false;
    bool quit_ = false;
};

class CWin32SerialDevice : public CSerialDevice {
  public:
    ~CWin32SerialDevice() override { Close(); }

    bool Open(const std::string& path, int baud, CPortLease* lease) override;
    OpenError LastOpenError() const override { return openError_; }
    void Close() override;
    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    bool PurgeInput() override;
    bool PurgeOutput() override { return ::PurgeComm(handle_, PURGE_TXCLEAR) != 0; }
    bool CanWatchTransmitter() override { return ::SetCommMask(handle_, EV_TXEMPTY) != 0; }
    Transmission Transmit(const uint8_t* buffer, int count, Deadline deadline) override;
    int Read(uint8_t* buffer, int count) override;
    int BytesAvailable() override;
    bool WaitForBytes(int count, Deadline deadline, int baud) override;
    bool ReadExactly(uint8_t* buffer, int count, Deadline deadline, int baud) override;

  private:
    // What the driver holds for reading; -1 when it cannot tell. A parity error counts as
    // nothing received: the bytes are not to be trusted.
    int DriverQueued();
    // Reads into `pending_` whatever the driver holds, waiting up to `waitMs` for a first byte
    // when it holds nothing. False on a device error.
    bool Fetch(DWORD waitMs);

    // Sets the device up once it is open: queues, time-outs, the device control block. False
    // when it refuses any of what the port's behaviour depends on.
    bool Configure(int baud);
    bool SetTimeouts(const COMMTIMEOUTS& timeouts) {
        COMMTIMEOUTS copy = timeouts;
        return ::SetCommTimeouts(handle_, &copy) != 0;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts_{};  // those of Open, put back after every wait
    std::deque<uint8_t> pending_;
    CPortLease ownLease_;  // the advisory hold while no lease of the caller's has the port
    CWaitWatchdog watchdog_;
    bool parityError_ = false;  // seen by the transmitter's wait, not yet reported
    OpenError openError_ = OpenError::None;
};

bool CWin32SerialDevice::Open(const std::string& path, int baud, CPortLease* lease) {
    Close();
    openError_ = OpenError::None;
    // The system keeps a port to one opener; the hold keeps other instances of this program off
    // it also between the openings of one download.
    const bool leased = lease != nullptr && lease->HoldsDevice(path);
    if (!leased) {
        CPortLease& hold = lease != nullptr && !lease->IsHeld() ? *lease : ownLease_;
        if (!hold.Acquire(path)) {
            openError_ = OpenError::Busy;
            return false;
        }
    }
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        openError_ = OpenErrorFrom(::GetLastError());
        ownLease_.Release();
        return false;
    }
    handle_ = handle;
    if (!Configure(baud)) {
        Close();
        openError_ = OpenError::NotUsable;
        return false;
    }
    return true;
}

bool CWin32SerialDevice::Configure(int baud) {
    // The queue sizes are only a recommendation: a driver that refuses it keeps queues of its own
    // size, and the port works the same (a write waits for room, a read takes what is there).
    static_cast<void>(::SetupComm(handle_, kQueueBytes, kQueueBytes));
    // What an earlier user left; should the purge fail, the handshake drops it like any stray
    // byte.
    ::PurgeComm(handle_, kPurgeAll);

    // A read returns at once with what has arrived; a write may take 38400 / baud ms a byte.
    // Without them a read could wait for bytes that never come: the port is not usable.
    timeouts_ = COMMTIMEOUTS{};
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    timeouts_.ReadTotalTimeoutMultiplier = 0;
    timeouts_.ReadTotalTimeoutConstant = 0;
    timeouts_.WriteTotalTimeoutMultiplier = static_cast<DWORD>(SerialWriteTimeoutPerByteMs(baud));
    timeouts_.WriteTotalTimeoutConstant = 0;
    if (!SetTimeouts(timeouts_))
        return false;

    // Only the fields below change; the rest stays as the driver reports it. A driver that
    // cannot report it would have the rest set to zeros, which no port runs with.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb))
        return false;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return ::SetCommState(handle_, &dcb) != 0;
}

void CWin32SerialDevice::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::PurgeComm(handle_, kPurgeAll);
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    pending_.clear();
    parityError_ = false;
    ownLease_.Release();
}

bool CWin32SerialDevice::PurgeInput() {
    pending_.clear();
    return ::PurgeComm(handle_, PURGE_RXCLEAR) != 0;
}

CSerialDevice::Transmission CWin32SerialDevice::Transmit(const uint8_t* buffer, int count,
                                                         Deadline deadline) {
    Transmission result;
    DWORD written = 0;
    // A write that fails is told by its result; why does not change what follows.
    if (!::WriteFile(handle_, buffer, static_cast<DWORD>(count), &written, nullptr))
        return result;
    result.accepted = static_cast<int>(written);
    if (written == 0)
        return result;
    // The event mask was set to EV_TXEMPTY before the write (CanWatchTransmitter), so an empty
    // transmitter is noted even when it came before this wait. Past the deadline the bytes count
    // as sent, as the port has taken them.
    const Deadline until = std::max(deadline, SteadyClock::now() + kTransmitterWait);
    watchdog_.Arm(until);
    bool drained = false;
    bool failed = false;
    while (!drained && !failed) {
        DWORD mask = 0;
        if (!::WaitCommEvent(handle_, &mask, nullptr)) {
            failed = ::GetLastError() != ERROR_OPERATION_ABORTED;
            break;  // cancelled at the deadline: the bytes count as sent
        }
        // A wait that ends without the event (Wine's serial layer ends it so on a terminal
        // without a UART status, with an empty mask) counts when the driver's queue is empty.
        DWORD errors = 0;
        COMSTAT status{};
        drained = (mask & EV_TXEMPTY) != 0 ||
                  (::ClearCommError(handle_, &errors, &status) && status.cbOutQue == 0);
        // Asking cleared the driver's error state: a parity error still counts at the next look.
        parityError_ = parityError_ || (errors & CE_RXPARITY) != 0;
        // Past the deadline the watchdog's cancel may have met the question rather than the
        // wait: the bytes count as sent.
        if (SteadyClock::now() >= until)
            break;
    }
    watchdog_.Disarm();
    result.ok = !failed;
    return result;
}

int CWin32SerialDevice::DriverQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle_, &errors, &status))
        return -1;
    if ((errors & CE_RXPARITY) != 0 || std::exchange(parityError_, false))
        return 0;
    return static_cast<int>(status.cbInQue);
}

bool CWin32SerialDevice::Fetch(DWORD waitMs) {
    uint8_t piece[kReadPieceBytes];
    DWORD got = 0;
    bool ok = true;
    if (waitMs > 0) {
        // Returns at once when bytes wait, else with the first byte or after waitMs. A device
        // that refuses these time-outs, or those of Open again afterwards, is broken: its reads
        // would no longer wait where they should, or would wait where they must not.
        COMMTIMEOUTS waiting = timeouts_;
        waiting.ReadIntervalTimeout = MAXDWORD;
        waiting.ReadTotalTimeoutMultiplier = MAXDWORD;
        waiting.ReadTotalTimeoutConstant = std::min<DWORD>(waitMs, MAXDWORD - 1);
        if (!SetTimeouts(waiting))
            return false;
        ok = ::ReadFile(handle_, piece, sizeof piece, &got, nullptr) != 0;
        ok = SetTimeouts(timeouts_) && ok;
    } else {
        ok = ::ReadFile(handle_, piece, sizeof piece, &got, nullptr) != 0;
    }
    pending_.insert(pending_.end(), piece, piece + got);
    return ok;
}

int CWin32SerialDevice::Read(uint8_t* buffer, int count) {
    int copied = 0;
    while (copied < count && !pending_.empty()) {
        buffer[copied++] = pending_.front();
        pending_.pop_front();
    }
    if (copied == count)
        return copied;
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer + copied, static_cast<DWORD>(count - copied), &got, nullptr))
        return copied;
    return copied + static_cast<int>(got);
}

int CWin32SerialDevice::BytesAvailable() {
    return static_cast<int>(pending_.size()) + std::max(DriverQueued(), 0);
}

bool CWin32SerialDevice::WaitForBytes(int count, Deadline deadline, int) {
    while (true) {
        const int queued = DriverQueued();
        if (static_cast<int>(pending_.size()) + std::max(queued, 0) >= count)
            return true;
        const DWORD left = MillisecondsUntil(deadline);
        if (left == 0)
            return false;
        if (queued < 0 || !Fetch(std::min(left, WaitSliceMs()))) {
            // The device no longer answers (unplugged): nothing will come.
            std::this_thread::sleep_until(deadline);
            return false;
        }
    }
}

bool CWin32SerialDevice::ReadExactly(uint8_t* buffer, int count, Deadline deadline, int baud) {
    if (!WaitForBytes(count, deadline, baud))
        return false;
    int got = 0;
    while (got < count) {
        const int n = Read(buffer + got, count - got);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

}  // namespace

std::string SystemComPortName(int portNumber) {
    if (portNumber <= 0)
        return std::string();
    // Ports above COM9 are reachable only under the device namespace; COM5 up take it too.
    return portNumber <= 4 ? Format("COM%d", portNumber) : Format("\\\\.\\COM%d", portNumber);
}

bool IsSameSerialDevice(const std::string& first, const std::string& second) {
    // The system names a port "COM5" or, in the device namespace, "\\.\COM5"; letters in
    // either case.
    const auto plain = [](const std::string& name) {
        std::string text = name.compare(0, 4, "\\\\.\\") == 0 ? name.substr(4) : name;
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
    };
    return plain(first) == plain(second);
}

std::unique_ptr<CSerialDevice> CreateSerialDevice() {
    return std::make_unique<CWin32SerialDevice>();
}

}  // namespace tamrix
