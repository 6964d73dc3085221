#pragma once
// CSimTarget: one simulated product on a pseudo-terminal. The host opens DevicePath() like a
// serial port and meets the product's running application (which answers the wake-up message)
// and its resident bootloader (PIC or SAM, with real flash), with the line's behaviour: the
// product listens only at its own baud rate, one-wire wiring echoes, and bytes can take their
// wire time. Faults can be switched on before and during a run.
//
// One thread per target runs an event loop on the pseudo-terminal; every public call is safe
// from any thread while it runs.
//
// Line speeds: the application listens at 19200 and 9600 baud, the bootloader at its own rate.
// A host byte sent at another speed is noise and ignored. A byte the product sends while the
// host listens at another speed reaches the host garbled: as 0xFF when the host is slower (it
// sees a short start pulse and then an idle line), as 0x00 when the host is faster (it sees a
// long low stretch).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/DeviceTable.h"
#include "platform/UniqueFd.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimProduct.h"
#include "sim/SimTypes.h"

namespace tamrix {

class CSimTarget {
  public:
    explicit CSimTarget(SimOptions options);
    ~CSimTarget();
    CSimTarget(const CSimTarget&) = delete;
    CSimTarget& operator=(const CSimTarget&) = delete;

    // Creates the pseudo-terminal and starts the product. False with a reason when the options
    // name no chip, the initial image does not fit, or the terminal cannot be made.
    bool Start(std::string* error = nullptr);
    // Ends the thread and removes the terminal. The state stays inspectable.
    void Stop();

    // The device the host opens (a /dev/pts path), and the link to it when one was asked for.
    std::string DevicePath() const;
    std::string LinkPath() const;

    // The device-table row the product identifies as (the end row for an unlisted pair).
    const DeviceTableEntry& Device() const { return product_.Device(); }
    bool IsPic() const { return product_.IsPic(); }
    bool IsSam() const { return product_.IsSam(); }

    SimState State() const;
    SimCounters Counters() const;
    // Product code and versions as the product reports them right now.
    SimVersions Versions() const;

    // Power off and on: back to the running application; the flash is kept.
    void PowerCycle();

    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;  // with the counts that are left

    // PIC flash: the instruction at a device address (0xFFFFFF erased), an EEPROM word at its
    // device address, configuration word 0..7. 0 when the product is no PIC.
    uint32_t ProgramWord(uint32_t address) const;
    uint16_t EepromWord(uint32_t address) const;
    uint16_t ConfigWord(int index) const;
    // SAM flash in HEX addressing (program 0-0xFFFF, EEPROM from 0x10000, fuses from 0x20000).
    uint8_t SamByte(uint32_t address) const;
    // Everything that is not erased, in the byte addressing of an Intel HEX file.
    std::map<uint32_t, uint8_t> HexImage() const;

    std::vector<SimTraceEntry> Trace() const;  // only with options.keepTrace
    void ClearTrace();

    // True when the product has taken every byte the host sent and has sent everything it had to
    // say: nothing on the line either way. A host may end its run while its last bytes are still
    // on their way, so the flash is compared only once the product is idle.
    bool IsIdle() const;
    bool WaitUntilIdle(int timeoutMs) const;

    // Waits until `condition` (which may call this object's getters) holds or `timeoutMs` has
    // passed; re-checked after every step of the product. True when it holds.
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs) const;

  private:
    struct InboundByte {
        int64_t atUs;  // when its last bit has arrived
        uint8_t byte;
        int baud;  // the host's speed when it sent it
    };
    struct OutboundByte {
        int64_t atUs;  // not before
        uint8_t byte;
    };

    int64_t NowUs() const;
    void Run();
    void WaitForEvents(int64_t wakeAtUs, bool wantRead, bool wantWrite);
    void Wake();

    // The steps of the loop; all run with mutex_ held.
    void ReadFromHost(int64_t now);
    void TakeFromLine(int64_t now);
    int WaitingInTerminal() const;
    void Advance(int64_t now);
    void Process(const InboundByte& in);
    void SendStartSignal(int64_t now);
    void Queue(const std::vector<uint8_t>& bytes, int64_t readyUs);
    void WriteDue(int64_t now);
    void WriteEcho(const InboundByte& in);
    int64_t NextWakeUs(int64_t now) const;
    void AddTrace(int64_t atUs, SimTraceDirection direction, uint8_t byte);

    // The product itself: its state, bootloader, flash, faults and counters. The line, the
    // pacing and the trace are this object's.
    CSimProduct product_;
    SimOptions options_;  // the line's settings (the initial image is the product's)

    CPseudoTerminal terminal_;
    CUniqueFd wakeFd_;  // eventfd: Stop and changes from other threads end the loop's wait
    std::thread thread_;
    int64_t originNs_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    uint64_t generation_ = 0;
    bool stopping_ = false;
    bool hangUpPending_ = false;
    std::vector<SimTraceEntry> trace_;
    std::vector<SimTraceEntry> traceToDeliver_;

    std::deque<InboundByte> inbound_;
    int64_t inboundLineFreeUs_ = 0;
    // Paced: the host's bytes wait in the terminal until their wire time is over, as they would
    // on a real line. While one is on its way, these say when it arrives, at which rate the line
    // runs, and when the bytes known to be waiting behind it will all have arrived.
    bool lineBusy_ = false;
    int64_t nextByteDueUs_ = 0;
    int64_t lineByteUs_ = 0;
    int64_t backlogEndUs_ = 0;
    int lineBaud_ = 0;
    std::deque<OutboundByte> outbound_;
    int64_t outboundLineFreeUs_ = 0;
    bool outputBlocked_ = false;
};

}  // namespace tamrix
