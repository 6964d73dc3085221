#pragma once
// Decides, row frame by row frame, how the simulated bootloader misbehaves, from the switches of
// SimFaults. Counts are used up as the frames come; the random share is drawn from a seeded
// generator so that a run can be repeated exactly.

#include <random>

#include "sim/SimTypes.h"

namespace tamrix {

enum class SimRowVerdict {
    Ack,      // write the row, answer ACK
    Nack,     // do not write the row, answer NACK
    DropAck,  // write the row, answer nothing
    Garbage,  // write the row, answer a byte that is neither ACK nor NACK
};

class CSimFaultPolicy {
  public:
    explicit CSimFaultPolicy(const SimFaults& faults = SimFaults()) { Set(faults); }

    // Replaces every switch and restarts the random sequence from the seed.
    void Set(const SimFaults& faults);
    // The switches with the counts that are left.
    const SimFaults& Current() const { return faults_; }

    // Row frames are numbered from 0 in the order they are complete.
    bool HangsUpAt(int rowFrame) const;
    bool FallsSilentAt(int rowFrame) const;
    // The fate of the next well-formed row frame; uses up one count.
    SimRowVerdict NextRow();

    bool Silent() const { return faults_.silent; }
    void SetSilent(bool silent) { faults_.silent = silent; }
    int RowDelayMs() const { return faults_.rowDelayMs > 0 ? faults_.rowDelayMs : 0; }
    bool AnswersVersionInfo() const { return !faults_.noVersionInfo; }
    bool AnswersVersionAddresses() const { return !faults_.noVersionAddresses; }

  private:
    // True while `count` lasts (-1 lasts for ever); uses one up.
    static bool Take(int& count);

    SimFaults faults_;
    std::mt19937 random_;
};

}  // namespace tamrix
