#include "sim/Bootloader.h"

namespace tamrix {

void CSimBootloader::Reset() {
    frame_.clear();
    frameLength_ = 0;
    rowFrame_ = false;
    echoLossAt_ = -1;
}

void CSimBootloader::Receive(uint8_t byte, SimFrameContext& context, SimActions& out) {
    if (frame_.empty()) {
        frameLength_ = FrameLength(byte);
        if (frameLength_ == 0)
            return;  // not a command: a bootloader skips it
        rowFrame_ = StartsRowFrame(byte);
        echoLossAt_ = rowFrame_ ? context.faults.EchoLossAt(frameLength_) : -1;
    }
    if (rowFrame_) {
        // This frame's number: the row frames completed before it.
        if (context.faults.HangsUpInside(context.counters.rowFrames, frame_.size(), frameLength_)) {
            out.hangUp = true;
            return;
        }
        if (static_cast<int>(frame_.size()) == echoLossAt_) {
            out.echoLost = true;
            ++context.counters.echoesLost;
        }
    }
    frame_.push_back(byte);
    if (frame_.size() < frameLength_)
        return;
    std::vector<uint8_t> frame;
    frame.swap(frame_);
    frameLength_ = 0;
    HandleFrame(frame, context, out);
}

size_t CSimBootloader::BytesWanted() const {
    return frame_.empty() ? 1 : frameLength_ - frame_.size();
}

std::vector<uint8_t> CSimBootloader::Identification() const {
    return {static_cast<uint8_t>(deviceId_ & 0xFF),
            static_cast<uint8_t>(deviceId_ >> 8),
            0x00,
            0x00,
            0x00,
            static_cast<uint8_t>(((pi_ & 0x0F) << 4) | 0x01),
            0x00,
            0x00};
}

bool CSimBootloader::LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error) {
    if (image.empty())
        return true;
    if (error)
        *error = "this device has no simulated flash to load an image into";
    return false;
}

size_t CSimBootloader::FrameLength(uint8_t command) {
    return command == kSimIdentify || command == kSimFinish ? 1 : 0;
}

bool CSimBootloader::StartsRowFrame(uint8_t) const {
    return false;
}

void CSimBootloader::HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                                 SimActions& out) {
    switch (frame[0]) {
        case kSimIdentify:
            ++context.counters.identifications;
            out.reply = Identification();
            break;
        case kSimFinish:
            ++context.counters.finishes;
            out.finished = true;
            break;
        default:
            break;
    }
}

bool CSimBootloader::BeginRow(bool wellFormed, SimFrameContext& context, SimActions& out) {
    const int number = context.counters.rowFrames++;
    CSimFaultPolicy& faults = context.faults;
    if (faults.HangsUpAt(number)) {
        out.hangUp = true;
        return false;
    }
    if (faults.FallsSilentAt(number))
        faults.SetSilent(true);
    if (faults.Silent())
        return false;  // a product that has stopped answering writes nothing
    out.replyDelayMs = faults.RowDelayMs();
    if (!wellFormed) {
        ++context.counters.rowsNacked;
        out.reply = {kSimNack};
        return false;
    }
    pendingFate_ = faults.NextRowFate();
    out.replyDelayMs += pendingFate_.extraDelayMs;
    if (pendingFate_.verdict == SimRowVerdict::Nack) {
        ++context.counters.rowsNacked;
        AnswerWithNoise(kSimNack, true, context, out);
        return false;
    }
    return true;
}

void CSimBootloader::FinishRow(SimFrameContext& context, SimActions& out) {
    ++context.counters.rowsWritten;
    switch (pendingFate_.verdict) {
        case SimRowVerdict::Ack:
            ++context.counters.rowsAcked;
            AnswerWithNoise(kSimAck, true, context, out);
            break;
        case SimRowVerdict::Garbage:
            AnswerWithNoise(kSimGarbageByte, true, context, out);
            break;
        case SimRowVerdict::DropAck:
            AnswerWithNoise(0, false, context, out);
            break;
        case SimRowVerdict::Nack:
            break;
    }
}

void CSimBootloader::AnswerWithNoise(uint8_t answer, bool answered, SimFrameContext& context,
                                     SimActions& out) {
    out.reply = pendingFate_.noiseBefore;
    if (answered)
        out.reply.push_back(answer);
    out.reply.insert(out.reply.end(), pendingFate_.noiseAfter.begin(),
                     pendingFate_.noiseAfter.end());
    context.counters.strayBytesSent +=
        static_cast<int>(pendingFate_.noiseBefore.size() + pendingFate_.noiseAfter.size());
}

}  // namespace tamrix
