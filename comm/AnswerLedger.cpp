#include "comm/AnswerLedger.h"

#include <algorithm>

namespace tamrix {

void CAnswerLedger::FrameSent(RowTag row, int attempt, bool damaged, int64_t nowMs) {
    Frame frame;
    frame.row = row;
    frame.attempt = attempt;
    frame.damaged = damaged;
    frame.sentMs = nowMs;
    frame.serial = nextSerial_++;
    owed_.push_back(frame);
    sent_.push_back(frame);
}

std::optional<CAnswerLedger::Frame> CAnswerLedger::Answer(int64_t nowMs) {
    if (!owed_.empty()) {
        const Frame frame = owed_.front();
        owed_.pop_front();
        lastAnswerMs_ = nowMs;
        maxLatencyMs_ = std::max(maxLatencyMs_, static_cast<int>(nowMs - frame.sentMs));
        return frame;
    }
    // More answers than frames: the oldest given-up answer has come after all, and every frame
    // sent after it may have taken its predecessor's answer. With none given up the answer cannot
    // be explained at all, and no row written so far can be trusted.
    if (givenUp_.empty()) {
        MarkSentAfter(-1);
        return std::nullopt;
    }
    const Frame late = givenUp_.front();
    givenUp_.pop_front();
    maxLatencyMs_ = std::max(maxLatencyMs_, static_cast<int>(nowMs - late.sentMs));
    MarkSentAfter(late.serial);
    return std::nullopt;
}

void CAnswerLedger::GiveUpOldest(int64_t nowMs) {
    if (owed_.empty())
        return;
    givenUp_.push_back(owed_.front());
    owed_.pop_front();
    lastAnswerMs_ = nowMs;
}

void CAnswerLedger::GiveUpAll(int64_t nowMs) {
    while (!owed_.empty())
        GiveUpOldest(nowMs);
}

int64_t CAnswerLedger::OldestDueFromMs() const {
    return owed_.empty() ? lastAnswerMs_ : DueFromMs(owed_.front());
}

int64_t CAnswerLedger::DueFromMs(const Frame& frame) const {
    return std::max(frame.sentMs, lastAnswerMs_);
}

std::vector<RowTag> CAnswerLedger::TakeUncertainRows() {
    std::vector<RowTag> taken;
    taken.swap(uncertain_);
    return taken;
}

void CAnswerLedger::MarkUncertain(RowTag row) {
    if (std::find(uncertain_.begin(), uncertain_.end(), row) == uncertain_.end())
        uncertain_.push_back(row);
    if (std::find(everUncertain_.begin(), everUncertain_.end(), row) == everUncertain_.end()) {
        everUncertain_.push_back(row);
        ++uncertainTotal_;
    }
}

void CAnswerLedger::MarkSentAfter(int64_t serial) {
    for (const Frame& frame : sent_) {
        if (frame.serial > serial)
            MarkUncertain(frame.row);
    }
}

}  // namespace tamrix
