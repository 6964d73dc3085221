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

namespace {

// The answer to a row frame, read one byte at a time until `deadline`: ACK or NACK, or None when
// neither came; other bytes are ignored and never stretch the wait.
enum class Answer { Ack, Nack, None };

Answer AwaitAnswer(CCommChannel* channel, CClock& clock, int64_t deadline) {
    while (true) {
        uint8_t reply = 0;
        if (channel->BytesAvailable() > 0 && channel->Read(&reply, 1) == 1) {
            if (reply == COMMAND_ACK)
                return Answer::Ack;
            if (reply == COMMAND_NACK)
                return Answer::Nack;
        }
        const int64_t left = deadline - clock.NowMs();
        if (left < 0)
            return Answer::None;
        if (channel->BytesAvailable() == 0)
            channel->WaitForInput(1, static_cast<int>(left + 1));
    }
}

}  // namespace

CMemory::RowAnswer CMemory::AwaitAttemptAnswer(CCommChannel* channel, int attempt, int& answered) {
    const int64_t sentAt = clock.NowMs();
    const auto window = [&](int answers) {
        return sentAt + kAckWaitMs + kLateAnswerMs + channel->WireTimeMs(answers);
    };
    const Answer answer = AwaitAnswer(channel, clock, window(1));
    if (answer == Answer::None)
        return RowAnswer::None;
    ++answered;
    if (answer == Answer::Nack)
        return RowAnswer::Nack;
    int outstanding = attempt - answered;
    const int64_t lastChance = window(outstanding);
    while (outstanding > 0 && AwaitAnswer(channel, clock, lastChance) != Answer::None)
        --outstanding;
    return RowAnswer::Ack;
}

bool CMemory::Sent(CCommChannel* channel, const uint8_t* bytes, size_t count) {
    return channel->Write(bytes, static_cast<int>(count)) == static_cast<int>(count);
}

void CMemory::CountAttempt(CCommChannel* channel, int attempt, bool sent, RowAnswer answer) {
    LinkStatistics& statistics = channel->Statistics();
    if (attempt > 1)
        ++statistics.retries;
    if (!sent) {
        ++statistics.damagedFrames;
        return;
    }
    switch (answer) {
        case RowAnswer::Ack:
            ++statistics.rowsWritten;
            break;
        case RowAnswer::Nack:
            ++statistics.nacks;
            break;
        case RowAnswer::None:
            ++statistics.timeouts;
            break;
    }
}

void CMemory::Trace(FILE* logFile, const std::string& text) {
    if (logFile == nullptr)
        return;
    std::fputs(text.c_str(), logFile);
    std::fflush(logFile);
}

std::string CMemory::HexDump(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2 + count / 16 + 1);
    for (size_t i = 0; i < count; ++i) {
        if (i % 16 == 0)
            text += '\n';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace tamrix
