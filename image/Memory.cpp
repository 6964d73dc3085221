#include "image/Memory.h"

#include <algorithm>

#include "comm/CommChannel.h"
#include "image/RowAnswers.h"
#include "platform/Clock.h"

namespace tamrix {

CMemory::CMemory(CClock& clockRef, Family familyOfChip, RowKind rowKind, int index, int count,
                 int base, int packedSize)
    : family(FamilyCode(familyOfChip)),
      kind(static_cast<int>(rowKind)),
      packed(static_cast<size_t>(packedSize), 0xFF),
      rowIndex(index),
      wordCount(count),
      baseAddress(base),
      clock(clockRef) {
    std::fill(std::begin(words), std::end(words), kEmptySlot);
}

CMemory::RowAnswer CMemory::AwaitOwnAnswer(CCommChannel* channel, int lastDamaged) {
    CAnswerLedger& ledger = channel->Answers();
    const RowTag tag = Tag();
    const int window = RowAnswerWindowMs(*channel);
    bool written = false;
    const auto due = [&] {
        return ledger.Owes() ? ledger.DueFromMs(ledger.Latest()) + window : clock.NowMs() - 1;
    };
    TakeAnswers(*channel, clock, due,
                [&](const std::optional<CAnswerLedger::Frame>& frame, bool ack) {
                    written = ack && frame && frame->row == tag && !frame->damaged &&
                              frame->attempt > lastDamaged;
                    return written || !ledger.Owes();
                });
    if (written)
        return RowAnswer::Ack;
    return ledger.Owes() ? RowAnswer::None : RowAnswer::Nack;
}

bool CMemory::WriteAttempts(CCommChannel* channel, FILE* logFile, const AttemptTrace& trace,
                            const std::function<FrameSend()>& sendFrame) {
    CAnswerLedger& ledger = channel->Answers();
    int lastDamaged = 0;
    for (int attempt = 1;; ++attempt) {
        const FrameSend send = sendFrame();
        RowAnswer answer = RowAnswer::None;
        if (send != FrameSend::Nothing) {
            ledger.FrameSent(Tag(), attempt, send == FrameSend::Damaged, clock.NowMs());
            if (send == FrameSend::Damaged)
                lastDamaged = attempt;
            answer = AwaitOwnAnswer(channel, lastDamaged);
        }
        // What answered a damaged frame says nothing about the row.
        if (send != FrameSend::Whole && answer != RowAnswer::Ack)
            answer = RowAnswer::None;
        CountAttempt(channel, attempt, send == FrameSend::Whole, answer);
        if (answer == RowAnswer::Ack) {
            Trace(logFile, trace.ack);
            Trace(logFile, "\n\n");
            SettleOwedAnswers(*channel, clock);
            return true;
        }
        if (answer == RowAnswer::Nack) {
            Trace(logFile, trace.nack);
            Trace(logFile, "\n\n");
        }
        // The answer of a frame whose echo came back changed may have gone with the echo: it is
        // not waited for beyond its own window.
        if (send == FrameSend::Damaged)
            ledger.GiveUpAll(clock.NowMs());
        // Let the line settle and drop what came back before the whole frame is sent again; but
        // never an answer still owed, or the next one would be taken for the wrong frame.
        clock.SleepMs(kNackPauseMs);
        if (!ledger.Owes() && !FlushUnowedAnswers(*channel, clock)) {
            Trace(logFile, trace.flushFail);
            ledger.Forget();
            return false;
        }
        if (attempt == kRowWriteAttempts)
            break;
        Trace(logFile, trace.retry);
    }
    if (trace.retryAfterLast)
        Trace(logFile, trace.retry);
    Trace(logFile, "\n\n");
    ledger.Forget();
    return false;
}

CMemory::FrameSend CMemory::Send(CCommChannel* channel, const uint8_t* bytes, size_t count) {
    if (channel->Write(bytes, static_cast<int>(count)) == static_cast<int>(count))
        return FrameSend::Whole;
    return channel->LastWriteAccepted() > 0 ? FrameSend::Damaged : FrameSend::Nothing;
}

CMemory::FrameSend CMemory::Both(FrameSend first, FrameSend second) {
    if (first == FrameSend::Whole && second == FrameSend::Whole)
        return FrameSend::Whole;
    if (first == FrameSend::Nothing && second == FrameSend::Nothing)
        return FrameSend::Nothing;
    return FrameSend::Damaged;
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
