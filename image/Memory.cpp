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

int CMemory::AwaitAcknowledge(CCommChannel* channel, int64_t sentAtMs) {
    while (true) {
        if (channel->BytesAvailable() > 0) {
            uint8_t reply = 0;
            if (channel->Read(&reply, 1) == 1) {
                if (reply == COMMAND_ACK)
                    return 1;
                if (reply == COMMAND_NACK)
                    return 0;
                continue;  // line noise: keep listening
            }
        }
        const int64_t elapsed = clock.NowMs() - sentAtMs;
        if (elapsed > kAckWaitMs)
            return -1;
        channel->WaitForInput(1, static_cast<int>(kAckWaitMs - elapsed + 1));
    }
}

}  // namespace tamrix
