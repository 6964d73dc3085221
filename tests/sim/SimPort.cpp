#include "tests/sim/SimPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "sim/LineSpeed.h"
#include "sim/WakeUpDetector.h"

namespace tamrix::test {

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool SimPort::Open(const std::string& path, int baud) {
    fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.IsOpen())
        return false;
    termios settings{};
    if (tcgetattr(fd_.Get(), &settings) != 0)
        return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&settings, SpeedFromBaud(baud));
    return tcsetattr(fd_.Get(), TCSANOW, &settings) == 0;
}

void SimPort::SetBaud(int baud) {
    termios settings{};
    tcgetattr(fd_.Get(), &settings);
    cfsetspeed(&settings, SpeedFromBaud(baud));
    tcsetattr(fd_.Get(), TCSANOW, &settings);
}

void SimPort::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        pollfd p{fd_.Get(), POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return;
    }
}

std::vector<uint8_t> SimPort::Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> bytes;
    const int64_t deadline = NowMs() + timeoutMs;
    while (bytes.size() < count) {
        uint8_t buffer[4096];
        const ssize_t n = ::read(fd_.Get(), buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
            continue;
        }
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            break;
        pollfd p{fd_.Get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) < 0)
            break;
        if (p.revents & (POLLHUP | POLLERR))
            break;
    }
    return bytes;
}

std::vector<uint8_t> SimPort::ReadFor(int ms) {
    return Read(SIZE_MAX, ms);
}

bool SimPort::WaitForByte(uint8_t wanted, int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return false;
        const std::vector<uint8_t> got = Read(1, static_cast<int>(left));
        if (!got.empty() && got[0] == wanted)
            return true;
    }
}

void SimPort::DiscardInput() {
    tcflush(fd_.Get(), TCIFLUSH);
}

std::vector<uint8_t> WakeUpMessage() {
    return {kSimWakeUpMessage.begin(), kSimWakeUpMessage.end()};
}

bool ConnectToBootloader(CSimTarget& target, SimPort& port, int bootBaud) {
    if (!port.Open(target.DevicePath(), 19200))
        return false;
    port.Write(WakeUpMessage());
    if (!target.WaitFor([&] { return target.State() == SimState::WaitingForAnswer; }, 2000)) {
        return false;
    }
    port.SetBaud(bootBaud);
    if (!port.WaitForByte(kSimStartSignal, 2000))
        return false;
    port.Write({kSimStartSignal});
    return target.WaitFor([&] { return target.State() == SimState::Bootloader; }, 2000);
}

SimOptions BootloaderOptions(const std::string& chip) {
    SimOptions options;
    options.chip = chip;
    options.startInBootloader = true;
    return options;
}

bool StartInBootloader(CSimTarget& target, SimPort& port, int bootBaud) {
    if (!target.Start())
        return false;
    if (!port.Open(target.DevicePath(), bootBaud))
        return false;
    if (!port.WaitForByte(kSimStartSignal, 2000))
        return false;
    port.Write({kSimStartSignal});
    return target.WaitFor([&] { return target.State() == SimState::Bootloader; }, 2000);
}

}  // namespace tamrix::test
