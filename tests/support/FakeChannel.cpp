#include "tests/support/FakeChannel.h"

#include <algorithm>
#include <cstdio>

namespace tamrix::test {

void FakeChannel::Deliver(const std::vector<uint8_t>& bytes, int delayMs) {
    int64_t at = clock_.NowMs() + delayMs;
    if (!queue_.empty())
        at = std::max(at, queue_.back().at);
    for (uint8_t b : bytes)
        queue_.push_back({at, b});
}

std::vector<uint8_t> FakeChannel::AllWritten() const {
    std::vector<uint8_t> all;
    for (const auto& w : writes)
        all.insert(all.end(), w.begin(), w.end());
    return all;
}

int FakeChannel::CountWrites(uint8_t firstByte) const {
    return static_cast<int>(std::count_if(writes.begin(), writes.end(), [&](const auto& w) {
        return !w.empty() && w[0] == firstByte;
    }));
}

int FakeChannel::Open(int, int, int) {
    isOpen = openResult == 1;
    return openResult;
}

bool FakeChannel::FlushRx() {
    events.push_back("FRX");
    ++flushRxCount;
    if (flushRxFails)
        return false;
    const int64_t now = clock_.NowMs();
    while (!queue_.empty() && queue_.front().at <= now)
        queue_.pop_front();
    return true;
}

int FakeChannel::WireTimeMs(int bytes) const {
    if (baudRate <= 0 || bytes <= 0)
        return 0;
    return static_cast<int>((int64_t{bytes} * 10 * 1000 + baudRate - 1) / baudRate);
}

int FakeChannel::Write(const uint8_t* buffer, int count) {
    lastWriteAccepted_ = 0;
    if (count > 0 && buffer[0] == failWritesStartingWith) {
        events.push_back("W:failed");
        return 0;
    }
    lastWriteAccepted_ = count;
    clock_.SleepMs(WireTimeMs(count));
    std::vector<uint8_t> frame(buffer, buffer + count);
    std::string text = "W:";
    for (int i = 0; i < count && i < 8; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", buffer[i]);
        text += hex;
    }
    if (count > 8)
        text += " ...";
    events.push_back(text);
    writes.push_back(frame);
    if (onWrite)
        onWrite(*this, frame);
    if (count > 0 && buffer[0] == lateEchoForWritesStartingWith)
        return 0;
    return count;
}

int FakeChannel::Read(uint8_t* buffer, int count) {
    clock_.SleepMs(msPerRead);
    const int64_t now = clock_.NowMs();
    int got = 0;
    while (got < count && !queue_.empty() && queue_.front().at <= now) {
        buffer[got++] = queue_.front().byte;
        queue_.pop_front();
    }
    return got;
}

int FakeChannel::BytesAvailable() {
    // The queue is in arrival order (Deliver never schedules before what is already queued), so
    // the bytes that have arrived are a prefix: found by bisection, not by counting, as a reader
    // that takes a long noisy reply one byte at a time asks after every byte.
    const int64_t now = clock_.NowMs();
    const auto arrived = std::partition_point(queue_.begin(), queue_.end(),
                                              [now](const Timed& t) { return t.at <= now; });
    return static_cast<int>(arrived - queue_.begin());
}

void FakeChannel::WaitForInput(int count, int timeoutMs) {
    const int64_t deadline = clock_.NowMs() + std::max(timeoutMs, 0);
    // The moment the count-th byte arrives, if it is scheduled at all.
    if (count >= 1 && static_cast<size_t>(count) <= queue_.size()) {
        const int64_t arrival = queue_[static_cast<size_t>(count) - 1].at;
        clock_.AdvanceTo(std::min(arrival, deadline));
        return;
    }
    clock_.AdvanceTo(deadline);
}

}  // namespace tamrix::test
