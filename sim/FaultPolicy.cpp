#include "sim/FaultPolicy.h"

#include <algorithm>

namespace tamrix {

namespace {

// Every kind of random fault has a generator of its own, seeded from the seed and its kind.
void SeedKind(std::mt19937& random, uint32_t seed, uint32_t kind) {
    std::seed_seq sequence{seed, kind};
    random.seed(sequence);
}

}  // namespace

void CSimFaultPolicy::Set(const SimFaults& faults) {
    faults_ = faults;
    random_.seed(faults.seed);
    SeedKind(dropRandom_, faults.seed, 1);
    SeedKind(garbageRandom_, faults.seed, 2);
    SeedKind(noiseRandom_, faults.seed, 3);
    SeedKind(slowRandom_, faults.seed, 4);
    SeedKind(echoRandom_, faults.seed, 5);
}

bool CSimFaultPolicy::HangsUpAt(int rowFrame) const {
    return faults_.hangUpAfterRows >= 0 && rowFrame >= faults_.hangUpAfterRows;
}

bool CSimFaultPolicy::FallsSilentAt(int rowFrame) const {
    return faults_.silentAfterRows >= 0 && rowFrame >= faults_.silentAfterRows;
}

bool CSimFaultPolicy::HangsUpInside(int rowFrame, size_t byteIndex, size_t frameLength) const {
    if (faults_.hangUpInRow < 0 || rowFrame != faults_.hangUpInRow || frameLength == 0)
        return false;
    const size_t at =
        std::min(static_cast<size_t>(std::max(faults_.hangUpAtByte, 0)), frameLength - 1);
    return byteIndex == at;
}

bool CSimFaultPolicy::Take(int& count) {
    if (count < 0)
        return true;
    if (count == 0)
        return false;
    --count;
    return true;
}

double CSimFaultPolicy::Draw(std::mt19937& random) {
    // mt19937's sequence is fixed by the standard, so a seed gives the same run everywhere.
    return static_cast<double>(random()) / 4294967296.0;
}

uint32_t CSimFaultPolicy::Below(std::mt19937& random, uint32_t n) {
    return static_cast<uint32_t>((static_cast<uint64_t>(random()) * n) >> 32);
}

std::vector<uint8_t> CSimFaultPolicy::Noise(uint32_t count) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < count; ++i) {
        // 0x02..0xFF: never an acknowledge or a refusal.
        bytes.push_back(static_cast<uint8_t>(2 + Below(noiseRandom_, 254)));
    }
    return bytes;
}

SimRowFate CSimFaultPolicy::NextRowFate() {
    // Each random kind draws once per frame, so its sequence does not depend on the others.
    const bool nackDrawn = faults_.nackShare > 0.0 && Draw(random_) < faults_.nackShare;
    const bool dropDrawn = faults_.dropAckShare > 0.0 && Draw(dropRandom_) < faults_.dropAckShare;
    const bool garbageDrawn =
        faults_.garbageAckShare > 0.0 && Draw(garbageRandom_) < faults_.garbageAckShare;

    SimRowFate fate;
    if (faults_.noiseShare > 0.0 && Draw(noiseRandom_) < faults_.noiseShare) {
        const uint32_t count = 1 + Below(noiseRandom_, 3);
        const uint32_t before = Below(noiseRandom_, count + 1);
        fate.noiseBefore = Noise(before);
        fate.noiseAfter = Noise(count - before);
    }
    if (faults_.slowRowShare > 0.0 && Draw(slowRandom_) < faults_.slowRowShare &&
        faults_.slowRowMaxMs > 0) {
        fate.extraDelayMs =
            1 + static_cast<int>(Below(slowRandom_, static_cast<uint32_t>(faults_.slowRowMaxMs)));
    }

    if (Take(faults_.nackRows) || nackDrawn)
        fate.verdict = SimRowVerdict::Nack;
    else if (Take(faults_.dropAcks) || dropDrawn)
        fate.verdict = SimRowVerdict::DropAck;
    else if (Take(faults_.garbageAcks) || garbageDrawn)
        fate.verdict = SimRowVerdict::Garbage;
    return fate;
}

int CSimFaultPolicy::EchoLossAt(size_t frameLength) {
    if (faults_.echoLossShare <= 0.0 || frameLength == 0)
        return -1;
    if (Draw(echoRandom_) >= faults_.echoLossShare)
        return -1;
    return static_cast<int>(Below(echoRandom_, static_cast<uint32_t>(frameLength)));
}

}  // namespace tamrix
