#pragma once
// Decides, row frame by row frame, how the simulated bootloader misbehaves, from the switches of
// SimFaults. Counts are used up as the frames come; the random shares are drawn from seeded
// generators, one per kind of fault, so that a run can be repeated exactly.

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "sim/SimTypes.h"

namespace tamrix {

enum class SimRowVerdict {
    Ack,      // write the row, answer ACK
    Nack,     // do not write the row, answer NACK
    DropAck,  // write the row, answer nothing
    Garbage,  // write the row, answer a byte that is neither ACK nor NACK
};

// Everything the faults decide about one well-formed row frame.
struct SimRowFate {
    SimRowVerdict verdict = SimRowVerdict::Ack;
    int extraDelayMs = 0;              // a slow write, on top of rowDelayMs
    std::vector<uint8_t> noiseBefore;  // sent before the answer (or where it would have been)
    std::vector<uint8_t> noiseAfter;   // sent after it
};

class CSimFaultPolicy {
  public:
    explicit CSimFaultPolicy(const SimFaults& faults = SimFaults()) { Set(faults); }

    // Replaces every switch and restarts the random sequences from the seed.
    void Set(const SimFaults& faults);
    // The switches with the counts that are left.
    const SimFaults& Current() const { return faults_; }

    // Row frames are numbered from 0 in the order they are complete.
    bool HangsUpAt(int rowFrame) const;
    bool FallsSilentAt(int rowFrame) const;
    // True when the product vanishes as byte `byteIndex` (0: the command) of row frame
    // `rowFrame`, which is `frameLength` bytes long, arrives.
    bool HangsUpInside(int rowFrame, size_t byteIndex, size_t frameLength) const;
    // The fate of the next well-formed row frame; uses up one count. Every random kind that is
    // switched on draws once per frame, whatever the others decide.
    SimRowFate NextRowFate();
    SimRowVerdict NextRow() { return NextRowFate().verdict; }
    // At the start of a row frame of `frameLength` bytes: the index of the byte whose echo is
    // lost, or -1 for none.
    int EchoLossAt(size_t frameLength);

    bool Silent() const { return faults_.silent; }
    void SetSilent(bool silent) { faults_.silent = silent; }
    int RowDelayMs() const { return faults_.rowDelayMs > 0 ? faults_.rowDelayMs : 0; }
    bool AnswersVersionInfo() const { return !faults_.noVersionInfo; }
    bool AnswersVersionAddresses() const { return !faults_.noVersionAddresses; }

  private:
    // True while `count` lasts (-1 lasts for ever); uses one up.
    static bool Take(int& count);
    // A number in [0, 1) and one in [0, n), the same on every platform for the same seed.
    static double Draw(std::mt19937& random);
    static uint32_t Below(std::mt19937& random, uint32_t n);
    std::vector<uint8_t> Noise(uint32_t count);

    SimFaults faults_;
    std::mt19937 random_;  // NACK share, seeded with the seed itself
    std::mt19937 dropRandom_;
    std::mt19937 garbageRandom_;
    std::mt19937 noiseRandom_;
    std::mt19937 slowRandom_;
    std::mt19937 echoRandom_;
};

}  // namespace tamrix
