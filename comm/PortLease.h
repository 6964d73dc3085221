#pragma once
// A hold on one serial port for the whole of a download. The port is opened several times in a
// download (the trial opening, the two wake-up openings, the download's own), and between them
// another program started a moment later could take it: the lease keeps the port's advisory lock
// from its first opening to its end, so that a second program gets "Port Open Fail" at once
// instead of meeting a target that is busy with the first one.

#include <string>

#include "platform/UniqueFd.h"

namespace tamrix {

// One source per platform implements it (PortLeasePosix.cpp, PortLeaseWin32.cpp).
class CPortLease {
  public:
    CPortLease() = default;
    CPortLease(const CPortLease&) = delete;
    CPortLease& operator=(const CPortLease&) = delete;

    // Takes the port's advisory lock and keeps it until Release or destruction. False when the
    // device cannot be opened or somebody else holds the lock (another program, or another
    // lease in this one); nothing is held then.
    bool Acquire(const std::string& devicePath);
    void Release();
    bool IsHeld() const { return handle_.IsOpen(); }
    // True when `devicePath` names the device this lease holds (under any of its names).
    bool HoldsDevice(const std::string& devicePath) const;

  private:
    CUniqueFd handle_;  // an open descriptor of the device that carries the lock (Windows: a
                        // named object of this program's that stands for the port)
    std::string device_;  // the device it was taken for
};

}  // namespace tamrix
