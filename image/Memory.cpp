#include "image/Memory.h"

#include <algorithm>

#include "comm/CommChannel.h"
#include "common/Clock.h"

namespace tamrix {

CMemory::CMemory(CClock& clockRef, int familyCode, int rowKind, int index, int count, int base,
                 int packedSize)
    : family(familyCode),
      kind(rowKind),
      packed(static_cast<size_t>(packedSize), 0xFF),
      rowIndex(index),
      wordCount(count),
      baseAddress(base),
      clock(clockRef) {
    std::fill(std::begin(words), std::end(words), kEmptySlot);
}

CMemory::RowAnswer CMemory::AwaitAnswer(CCommChannel* channel) {
    const int64_t deadline = clock.NowMs() + kAckWaitMs + kLateAnswerMs + channel->WireTimeMs(1);
    while (true) {
        uint8_t reply = 0;
        if (channel->BytesAvailable() > 0 && channel->Read(&reply, 1) == 1) {
            if (reply == COMMAND_ACK)
                return RowAnswer::Ack;
            if (reply == COMMAND_NACK)
                return RowAnswer::Nack;
            // Line noise: ignored, and the deadline below still counts.
        }
        const int64_t left = deadline - clock.NowMs();
        if (left < 0)
            return RowAnswer::None;
        if (channel->BytesAvailable() == 0)
            channel->WaitForInput(1, static_cast<int>(left + 1));
    }
}

void CMemory::DropOutstandingAnswers(CCommChannel* channel, int outstanding, int64_t lastSentMs) {
    // The last attempt's answer is the latest that can still come.
    const int64_t deadline =
        lastSentMs + kAckWaitMs + kLateAnswerMs + channel->WireTimeMs(outstanding);
    while (outstanding > 0) {
        uint8_t reply = 0;
        if (channel->BytesAvailable() > 0 && channel->Read(&reply, 1) == 1 &&
            (reply == COMMAND_ACK || reply == COMMAND_NACK)) {
            --outstanding;
            continue;
        }
        const int64_t left = deadline - clock.NowMs();
        if (left < 0)
            return;
        if (channel->BytesAvailable() == 0)
            channel->WaitForInput(1, static_cast<int>(left + 1));
    }
}

}  // namespace tamrix
