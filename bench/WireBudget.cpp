#include "bench/WireBudget.h"

#include "common/Format.h"
#include "download/WakeUp.h"
#include "image/MemorySAM.h"

namespace tamrix::bench {

namespace {

constexpr double kBitsPerByte = 10;
constexpr int kWakeUpRates[] = {19200, 9600};
constexpr double kWakeUpPausesMs = 100 + 100 + 100 + 300;
constexpr double kAfterAnswerMs = 100;
constexpr double kPerIdentifyMs = 50;
constexpr double kAfterFailedIdentifyMs = 100;
constexpr int kIdentifyReplyBytes = 8;
constexpr double kReadSettleMs = 100;
constexpr int kReadCommandBytes = 4;
constexpr int kPicRowHeaderBytes = 4;
constexpr int kSamRowHeaderBytes = 3;
constexpr int kAcknowledgeBytes = 1;
constexpr int kFinishBytes = 1;

}  // namespace

double ByteTimeMs(int baud) {
    return baud > 0 ? kBitsPerByte * 1000.0 / baud : 0;
}

WireBudget& WireBudget::Bytes(int64_t count, int baud) {
    bytes += count;
    bytesMs += static_cast<double>(count) * ByteTimeMs(baud);
    return *this;
}

WireBudget& WireBudget::Pause(double ms) {
    pausesMs += ms;
    return *this;
}

WireBudget& WireBudget::Measured(double ms) {
    measuredMs += ms;
    return *this;
}

WireBudget& WireBudget::operator+=(const WireBudget& other) {
    bytes += other.bytes;
    bytesMs += other.bytesMs;
    pausesMs += other.pausesMs;
    measuredMs += other.measuredMs;
    return *this;
}

std::string WireBudget::Describe() const {
    std::string text = Format("%lld bytes %.1f ms", static_cast<long long>(bytes), bytesMs);
    if (pausesMs > 0)
        text += Format(" + pauses %.0f ms", pausesMs);
    if (measuredMs > 0)
        text += Format(" + start-signal wait %.1f ms", measuredMs);
    return text;
}

WireBudget WakeUpBudget() {
    WireBudget budget;
    for (int baud : kWakeUpRates)
        budget.Bytes(sizeof kWakeUpMessage, baud);
    return budget.Pause(kWakeUpPausesMs);
}

WireBudget HandshakeBudget(int baud, int identifyAttempts) {
    WireBudget budget;
    budget.Bytes(1, baud).Pause(kAfterAnswerMs);
    budget.Bytes(identifyAttempts, baud).Pause(kPerIdentifyMs * identifyAttempts);
    budget.Pause(kAfterFailedIdentifyMs * (identifyAttempts - 1));
    return budget.Bytes(kIdentifyReplyBytes, baud);
}

WireBudget PicResetVectorBudget(int baud, int replyBytes) {
    WireBudget budget;
    return budget.Pause(kReadSettleMs).Bytes(kReadCommandBytes + replyBytes, baud);
}

WireBudget PicRowsBudget(int baud, int rows, int instructions) {
    const int64_t frame = kPicRowHeaderBytes + 3 * instructions + kAcknowledgeBytes;
    WireBudget budget;
    return budget.Bytes(rows * frame + kFinishBytes, baud);
}

WireBudget SamRowsBudget(int baud, int rows) {
    const int64_t frame = kSamRowHeaderBytes + kSamRowBytes + kAcknowledgeBytes;
    WireBudget budget;
    return budget.Bytes(rows * frame + kFinishBytes, baud);
}

}  // namespace tamrix::bench
