#include "image/RowAnswers.h"

#include <algorithm>

#include "comm/CommChannel.h"
#include "image/Memory.h"
#include "platform/Clock.h"

namespace tamrix {

int RowAnswerWindowMs(CCommChannel& channel) {
    const int plain = kAckWaitMs + kLateAnswerMs;
    int window =
        std::max(plain, std::min(kLongestAnswerWindowMs, 2 * channel.Answers().MaxLatencyMs()));
    if (channel.EchoesWrites())
        window = std::max(window, 2 * plain);
    return window + channel.WireTimeMs(1);
}

bool TakeAnswers(CCommChannel& channel, CClock& clock, const std::function<int64_t()>& until,
                 const AnswerHandler& onAnswer) {
    while (true) {
        uint8_t reply = 0;
        if (channel.BytesAvailable() > 0 && channel.Read(&reply, 1) == 1 &&
            (reply == COMMAND_ACK || reply == COMMAND_NACK)) {
            const std::optional<CAnswerLedger::Frame> frame =
                channel.Answers().Answer(clock.NowMs());
            if (onAnswer(frame, reply == COMMAND_ACK))
                return true;
        }
        const int64_t left = until() - clock.NowMs();
        if (left < 0)
            return false;
        if (channel.BytesAvailable() == 0)
            channel.WaitForInput(1, static_cast<int>(left + 1));
    }
}

bool FlushUnowedAnswers(CCommChannel& channel, CClock& clock) {
    uint8_t waiting[256];
    while (channel.BytesAvailable() > 0) {
        const int read = channel.Read(waiting, sizeof waiting);
        if (read <= 0)
            break;
        for (int i = 0; i < read; ++i) {
            if (waiting[i] == COMMAND_ACK || waiting[i] == COMMAND_NACK)
                channel.Answers().Answer(clock.NowMs());
        }
    }
    return channel.FlushRx();
}

void SettleOwedAnswers(CCommChannel& channel, CClock& clock) {
    CAnswerLedger& ledger = channel.Answers();
    const int window = RowAnswerWindowMs(channel);
    const auto due = [&] { return ledger.OldestDueFromMs() + window; };
    while (ledger.Owes()) {
        TakeAnswers(channel, clock, due, [&](const auto&, bool) { return !ledger.Owes(); });
        if (ledger.Owes() && clock.NowMs() > due())
            ledger.GiveUpOldest(clock.NowMs());
    }
}

void ListenForGivenUpAnswers(CCommChannel& channel, CClock& clock) {
    CAnswerLedger& ledger = channel.Answers();
    if (!ledger.AnswersGivenUp())
        return;
    const int64_t until = clock.NowMs() + RowAnswerWindowMs(channel);
    TakeAnswers(
        channel, clock, [until] { return until; },
        [&](const auto&, bool) { return !ledger.AnswersGivenUp(); });
}

}  // namespace tamrix
