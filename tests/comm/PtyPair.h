#pragma once
// A pseudo-terminal for the serial port tests: the port under test opens the slave by its path,
// the test plays the far end on the master. The pair also keeps a slave descriptor of its own,
// so the terminal stays alive while the port is closed and reopened, and so a test can stop the
// slave's output the way a stalled line would.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace tamrix::test {

class PtyPair {
  public:
    PtyPair();

    // False when the system gave no pseudo-terminal; the other members are then unusable.
    bool Ok() const { return master_.IsOpen() && slave_.IsOpen(); }
    const std::string& SlavePath() const { return slavePath_; }
    int SlaveFd() const { return slave_.Get(); }

    // Writes everything to the master: the bytes arrive at the port under test.
    bool WriteMaster(const std::vector<uint8_t>& bytes);
    // Reads from the master what the port under test sent, until `count` bytes or `timeoutMs`.
    std::vector<uint8_t> ReadMaster(size_t count, int timeoutMs);
    // The far end goes away (cable pulled): the slave side hangs up.
    void CloseMaster() { master_.Reset(); }

  private:
    CUniqueFd master_;
    CUniqueFd slave_;
    std::string slavePath_;
};

}  // namespace tamrix::test
