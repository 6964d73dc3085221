#pragma once
// The host's end of a simulated product for tests: the slave device opened with plain termios
// calls, raw 8N1, non-blocking, with reads that wait by poll() up to a deadline.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "sim/SimTarget.h"

namespace tamrix::test {

class SimPort {
  public:
    bool Open(const std::string& path, int baud);
    void Close() { fd_.Reset(); }
    void SetBaud(int baud);
    void Write(const std::vector<uint8_t>& bytes);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    std::vector<uint8_t> Read(size_t count, int timeoutMs);
    // Everything that comes within `ms`.
    std::vector<uint8_t> ReadFor(int ms);
    // Waits for one byte equal to `wanted`, dropping others; false after `timeoutMs`.
    bool WaitForByte(uint8_t wanted, int timeoutMs);
    void DiscardInput();
    int Fd() const { return fd_.Get(); }

  private:
    CUniqueFd fd_;
};

// The wake-up message the running application answers.
std::vector<uint8_t> WakeUpMessage();

// Opens the port, wakes the product at 19200 baud, answers its start signal at `bootBaud` and
// returns with the bootloader taking commands. False when any step fails.
bool ConnectToBootloader(CSimTarget& target, SimPort& port, int bootBaud = 115200);

// Options for a product that starts in its bootloader, for tests that are not about waking it.
SimOptions BootloaderOptions(const std::string& chip);

// Starts the target and opens the port at its bootloader rate, with the start signal answered.
bool StartInBootloader(CSimTarget& target, SimPort& port, int bootBaud = 115200);

}  // namespace tamrix::test
