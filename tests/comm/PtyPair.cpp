#include "tests/comm/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tamrix::test {

PtyPair::PtyPair() {
    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsOpen() || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0)
        return;
    char name[128] = {};
    if (::ptsname_r(master.Get(), name, sizeof name) != 0)
        return;
    CUniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave.IsOpen())
        return;
    // Raw from the start, so nothing the test writes is echoed back before the port is open.
    termios settings{};
    if (::tcgetattr(slave.Get(), &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    if (::tcsetattr(slave.Get(), TCSANOW, &settings) != 0)
        return;
    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = name;
}

bool PtyPair::WriteMaster(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<uint8_t> PtyPair::ReadMaster(size_t count, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<uint8_t> got;
    while (got.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd ready{master_.Get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left)) <= 0)
            continue;
        uint8_t chunk[4096];
        const size_t want = std::min(count - got.size(), sizeof chunk);
        const ssize_t n = ::read(master_.Get(), chunk, want);
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    return got;
}

}  // namespace tamrix::test
