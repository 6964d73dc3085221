#include "sim/FaultPolicy.h"

namespace tamrix {

void CSimFaultPolicy::Set(const SimFaults& faults) {
    faults_ = faults;
    random_.seed(faults.seed);
}

bool CSimFaultPolicy::HangsUpAt(int rowFrame) const {
    return faults_.hangUpAfterRows >= 0 && rowFrame >= faults_.hangUpAfterRows;
}

bool CSimFaultPolicy::FallsSilentAt(int rowFrame) const {
    return faults_.silentAfterRows >= 0 && rowFrame >= faults_.silentAfterRows;
}

bool CSimFaultPolicy::Take(int& count) {
    if (count < 0)
        return true;
    if (count == 0)
        return false;
    --count;
    return true;
}

SimRowVerdict CSimFaultPolicy::NextRow() {
    if (Take(faults_.nackRows))
        return SimRowVerdict::Nack;
    if (faults_.nackShare > 0.0) {
        // mt19937's sequence is fixed by the standard, so a seed gives the same run everywhere.
        const double draw = static_cast<double>(random_()) / 4294967296.0;
        if (draw < faults_.nackShare)
            return SimRowVerdict::Nack;
    }
    if (Take(faults_.dropAcks))
        return SimRowVerdict::DropAck;
    if (Take(faults_.garbageAcks))
        return SimRowVerdict::Garbage;
    return SimRowVerdict::Ack;
}

}  // namespace tamrix
