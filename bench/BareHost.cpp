#include "bench/BareHost.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace tamrix::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kStartSignal = 0x0A;
constexpr uint8_t kWriteProgramRow = 0x03;
constexpr uint8_t kFinish = 0x08;
constexpr uint8_t kAck = 0x01;
constexpr int kSamRowBytes = 128;
constexpr int kStartSignalWaitMs = 2000;
constexpr int kAckWaitMs = 500;
constexpr uint8_t kFiller = 0x5A;
constexpr std::pair<int, speed_t> kSpeeds[] = {
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

// Owns the descriptor.
class CRawPort {
  public:
    ~CRawPort() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Open(const std::string& device, int baud) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        termios settings{};
        if (::tcgetattr(fd_, &settings) != 0)
            return false;
        ::cfmakeraw(&settings);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        speed_t speed = B0;
        for (const auto& [rate, constant] : kSpeeds) {
            if (rate == baud)
                speed = constant;
        }
        return speed != B0 && ::cfsetispeed(&settings, speed) == 0 &&
               ::cfsetospeed(&settings, speed) == 0 && ::tcsetattr(fd_, TCSANOW, &settings) == 0;
    }
    bool WriteAll(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd ready{fd_, POLLOUT, 0};
                ::poll(&ready, 1, kAckWaitMs);
            } else {
                return false;
            }
        }
        return true;
    }
    // The next byte within `timeoutMs`; -1 when none came.
    int ReadByte(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            uint8_t byte = 0;
            if (::read(fd_, &byte, 1) == 1)
                return byte;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return -1;
            pollfd ready{fd_, POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(left.count()) + 1);
        }
    }

  private:
    int fd_ = -1;
};

}  // namespace

std::vector<BareFrame> SamRowFrames(int rows) {
    std::vector<BareFrame> frames;
    for (int n = 0; n < rows; ++n) {
        const int base = n * kSamRowBytes;
        frames.push_back({{kWriteProgramRow, static_cast<uint8_t>(base & 0xFF),
                           static_cast<uint8_t>((base >> 8) & 0xFF)},
                          std::vector<uint8_t>(kSamRowBytes, kFiller)});
    }
    return frames;
}

std::vector<BareFrame> PicRowFrames(int rows, int instructions) {
    std::vector<BareFrame> frames;
    for (int n = 0; n < rows; ++n) {
        const int base = n * instructions * 2;
        std::vector<uint8_t> frame{kWriteProgramRow, static_cast<uint8_t>(base & 0xFF),
                                   static_cast<uint8_t>((base >> 8) & 0xFF),
                                   static_cast<uint8_t>((base >> 16) & 0xFF)};
        frame.resize(frame.size() + 3 * static_cast<size_t>(instructions), kFiller);
        frames.push_back({frame});
    }
    return frames;
}

bool RunBareRows(const std::string& device, int baud, const std::vector<BareFrame>& frames,
                 double& rowsMs, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    CRawPort port;
    if (!port.Open(device, baud))
        return fail("cannot open " + device);
    const auto startWait = Clock::now() + std::chrono::milliseconds(kStartSignalWaitMs);
    int byte = -1;
    while (byte != kStartSignal && Clock::now() < startWait)
        byte = port.ReadByte(kStartSignalWaitMs);
    if (byte != kStartSignal || !port.WriteAll({kStartSignal}))
        return fail("no start signal from the bootloader");

    const auto start = Clock::now();
    for (size_t row = 0; row < frames.size(); ++row) {
        for (const std::vector<uint8_t>& piece : frames[row]) {
            if (!port.WriteAll(piece))
                return fail("write failed");
        }
        if (port.ReadByte(kAckWaitMs) != kAck)
            return fail("row " + std::to_string(row) + " not acknowledged");
    }
    if (!port.WriteAll({kFinish}))
        return fail("write failed");
    rowsMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return true;
}

}  // namespace tamrix::bench
