#pragma once
// The simulated product without a line of its own: the running application that listens for the
// wake-up message and the resident bootloader (PIC or SAM, with real flash), fed one host byte at
// a time with the speed it was sent at, and sending its start signal by the clock it is given.
// No thread, no I/O, no pacing. CSimTarget carries it over a pseudo-terminal at wire speed with
// its faults; `tamrix-cli demo` on systems without pseudo-terminals carries it over an in-memory
// link (Receive and Due).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/DeviceTable.h"
#include "sim/Bootloader.h"
#include "sim/SimTypes.h"
#include "sim/WakeUpDetector.h"

namespace tamrix {

class CSimPicBootloader;
class CSimSamBootloader;

// The device-table row `options` name (by chip name, or by identifier and PI); the end row, with
// the reason in `error`, for a chip name the table does not know.
DeviceTableEntry ResolveSimDevice(const SimOptions& options, std::string& error);

// The bootloader `device` runs: the Samsung one for identifier 0x0001, the PIC one for every other
// listed chip but the ATmega128 (0x0002), which like an unlisted chip only identifies itself.
std::unique_ptr<CSimBootloader> MakeSimBootloader(const DeviceTableEntry& device,
                                                  const SimOptions& options);

// What the product made of one byte from the host.
struct SimTaken {
    bool echo = false;   // one wire: the line brings the byte back (the echo-loss fault aside)
    bool noise = false;  // sent at a speed the product does not listen at: only noise to it
    SimActions actions;  // the bootloader's reply, delay, finish or hang-up
};

class CSimProduct {
  public:
    explicit CSimProduct(SimOptions options);

    // Loads the initial image and starts the application (or, with startInBootloader, the
    // bootloader). False with a reason when the options name no chip or the image does not fit.
    bool Start(std::string* error = nullptr);
    // Back to the running application, as after switching the power off and on.
    void PowerCycle();
    // Stopped, or vanished from the port; what it holds stays inspectable.
    void Halt() {
        if (state_ != SimState::HungUp)
            state_ = SimState::Stopped;
    }
    void HangUp() { state_ = SimState::HungUp; }

    // One byte the host sent at `hostBaud`, whose last bit arrived at `atUs`. A finish command
    // hands over to the application (unless the product vanished with it).
    SimTaken Take(uint8_t byte, int hostBaud, int64_t atUs);
    // When the bootloader waits for its start signal to be answered it sends one every 100 ms:
    // the moment the one due by `nowUs` was due, -1 for none. `canSend` false (the line is busy,
    // or the product is silent) lets the signal go by unsent. Either way the next one is planned.
    int64_t TakeStartSignal(int64_t nowUs, bool canSend);
    // When the next start signal is due, -1 when none is pending.
    int64_t NextDueUs() const;

    // The in-memory link's view: Take, then what the product sends back as a host listening at
    // `hostBaud` hears it (on the one-wire wiring the echo first); and the start signal due.
    std::vector<uint8_t> Receive(uint8_t byte, int hostBaud, int64_t nowUs);
    std::vector<uint8_t> Due(int64_t nowUs, int hostBaud);

    // A byte the product sends, as a host listening at `hostBaud` hears it: at another speed a
    // short pulse or a long low stretch.
    uint8_t AsHostHearsIt(uint8_t byte, int hostBaud) const;

    SimState State() const { return state_; }
    // The device-table row the product identifies as (the end row for an unlisted pair).
    const DeviceTableEntry& Device() const { return device_; }
    const SimCounters& Counters() const { return counters_; }
    CSimFaultPolicy& Faults() { return faults_; }
    const CSimFaultPolicy& Faults() const { return faults_; }
    // Bytes still missing from the bootloader's frame in progress (1 between frames).
    size_t BytesWanted() const { return bootloader_->BytesWanted(); }

    bool IsPic() const { return pic_ != nullptr; }
    bool IsSam() const { return sam_ != nullptr; }
    const CSimPicBootloader* Pic() const { return pic_; }
    const CSimSamBootloader* Sam() const { return sam_; }
    SimVersions Versions() const { return bootloader_->Versions(); }
    std::map<uint32_t, uint8_t> HexImage() const { return bootloader_->HexImage(); }

  private:
    void EnterBootloader(int64_t atUs);

    SimOptions options_;
    std::string setupError_;  // before device_: resolving the device fills it
    DeviceTableEntry device_;
    std::unique_ptr<CSimBootloader> bootloader_;
    CSimPicBootloader* pic_ = nullptr;  // the same object as bootloader_, when it is a PIC
    CSimSamBootloader* sam_ = nullptr;  // ... when it is a SAM
    CSimFaultPolicy faults_;
    SimCounters counters_;
    CWakeUpDetector wakeUp_;
    SimState state_ = SimState::Stopped;
    int64_t nextStartSignalUs_ = 0;
};

}  // namespace tamrix
