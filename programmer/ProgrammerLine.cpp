// CProgramer: waiting on the line, and the exchanges every family has with its bootloader in the
// same way (settling the line, a one-byte request with a 12-byte reply).

#include <algorithm>

#include "comm/CommChannel.h"
#include "platform/Clock.h"
#include "programmer/Programmer.h"

namespace tamrix {

namespace {

constexpr int kSettleMs = 100;  // after the flush pair that opens or closes an exchange
constexpr int kRequestAttempts = 5;
constexpr int kRequestReplyWaitMs = 50;
constexpr int kRequestRetryPauseMs = 100;

}  // namespace

void CProgramer::FlushAndSettle(FlushOrder order) {
    // A purge that fails has said so in its message box. The exchange goes on as ever: its
    // request fails for want of a reply, or its reply is checked for its length.
    if (order == FlushOrder::ReceiveFirst) {
        static_cast<void>(channel->FlushRx());
        channel->FlushTx();
    } else {
        channel->FlushTx();
        static_cast<void>(channel->FlushRx());
    }
    clock.SleepMs(kSettleMs);
}

bool CProgramer::RequestTwelveBytes(uint8_t command, uint8_t reply[kRequestReplyBytes]) {
    if (channel == nullptr)
        return false;
    FlushAndSettle(FlushOrder::TransmitFirst);
    for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
        // A request whose one-wire echo came back late or changed may still have reached the
        // bootloader: whether the reply comes decides.
        static_cast<void>(channel->Write(&command, 1));
        // At slow rates the 12-byte reply alone takes longer than the pause (100 ms at 1200).
        clock.SleepMs(kRequestReplyWaitMs + channel->WireTimeMs(kRequestReplyBytes));
        if (channel->BytesAvailable() >= kRequestReplyBytes &&
            channel->Read(reply, kRequestReplyBytes) == kRequestReplyBytes) {
            FlushAndSettle(FlushOrder::TransmitFirst);
            return true;
        }
        clock.SleepMs(kRequestRetryPauseMs);
    }
    return false;
}

bool CProgramer::WaitForBytes(int count, int64_t startMs, int limitMs) {
    while (channel->BytesAvailable() < count) {
        const int64_t elapsed = clock.NowMs() - startMs;
        if (elapsed > limitMs)
            return false;
        channel->WaitForInput(count, static_cast<int>(limitMs - elapsed + 1));
    }
    return true;
}

void CProgramer::DiscardUntilQuiet(int quietMs, int limitMs) {
    const int64_t limit = clock.NowMs() + limitMs;
    int64_t quietUntil = clock.NowMs() + quietMs;
    uint8_t scratch[256];
    while (true) {
        bool arrived = false;
        while (channel->BytesAvailable() > 0 && channel->Read(scratch, sizeof scratch) > 0)
            arrived = true;
        const int64_t now = clock.NowMs();
        if (arrived)
            quietUntil = now + quietMs;
        const int64_t until = std::min(quietUntil, limit);
        if (now >= until)
            return;
        channel->WaitForInput(1, static_cast<int>(until - now));
    }
}

}  // namespace tamrix
