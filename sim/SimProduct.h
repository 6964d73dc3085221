#pragma once
// The simulated product without a line of its own: the running application that listens for the
// wake-up message and the resident bootloader (PIC or SAM, with real flash), fed one host byte at
// a time with the speed it was sent at, answering with what the product sends back, and sending
// its start signal by the clock it is given. No thread, no I/O, no pacing: `tamrix-cli demo` on
// systems without pseudo-terminals carries it over an in-memory link. Faults are not played here
// (CSimTarget plays them on a real line).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "programmer/DeviceTable.h"
#include "sim/Bootloader.h"
#include "sim/SimTypes.h"
#include "sim/WakeUpDetector.h"

namespace tamrix {

// The device-table row `options` name (by chip name, or by identifier and PI); the end row, with
// the reason in `error`, for a chip name the table does not know.
DeviceTableEntry ResolveSimDevice(const SimOptions& options, std::string& error);

// The bootloader `device` runs: the Samsung one for identifier 0x0001, the PIC one for every other
// listed chip but the ATmega128 (0x0002), which like an unlisted chip only identifies itself.
std::unique_ptr<CSimBootloader> MakeSimBootloader(const DeviceTableEntry& device,
                                                  const SimOptions& options);

class CSimProduct {
  public:
    explicit CSimProduct(SimOptions options);

    // Loads the initial image. False with a reason when the options name no chip or the image
    // does not fit.
    bool Start(std::string* error = nullptr);

    // One byte the host sent at `hostBaud`, arriving at `nowUs`: what the product sends back, as a
    // host listening at `hostBaud` hears it (on the one-wire wiring the echo comes first).
    std::vector<uint8_t> Receive(uint8_t byte, int hostBaud, int64_t nowUs);
    // The bootloader's start signal, every 100 ms until it is answered: what is due by `nowUs`
    // (one signal at most: a host that was not listening has missed the others).
    std::vector<uint8_t> Due(int64_t nowUs, int hostBaud);
    // When Due has something next, -1 when nothing is pending.
    int64_t NextDueUs() const;

    SimState State() const { return state_; }
    bool IsPic() const;
    SimVersions Versions() const { return bootloader_->Versions(); }
    std::map<uint32_t, uint8_t> HexImage() const { return bootloader_->HexImage(); }

  private:
    uint8_t AsHostHearsIt(uint8_t byte, int hostBaud) const;

    SimOptions options_;
    std::string setupError_;
    DeviceTableEntry device_;
    std::unique_ptr<CSimBootloader> bootloader_;
    CSimFaultPolicy faults_;  // none are set: every row is answered
    SimCounters counters_;
    CWakeUpDetector wakeUp_;
    SimState state_ = SimState::Stopped;
    int64_t nextStartSignalUs_ = 0;
};

}  // namespace tamrix
