#pragma once
// The start of every pass, and of tamrix-cli's detect and program-hex: wake the running product
// with the wake-up message at 19200 and 9600 baud, open the pass's channel at the chosen rate, and
// run the handshake that finds and identifies the bootloader.

#include <atomic>
#include <memory>

#include "comm/CommChannel.h"
#include "download/ChannelOpener.h"
#include "image/DeviceTable.h"

namespace tamrix {

class CClock;
class CReportWindow;

struct TargetReach {
    bool portOpened = false;                // false: the channel could not be opened at all
    std::unique_ptr<CCommChannel> channel;  // the pass's channel (also when not opened)
    DeviceTableEntry entry{};               // the identified row; null name when none
    bool alreadyInBootloader = false;       // found there without a wake-up
    // A bootloader answered: its start signal came, or it was found waiting. Also when its chip
    // could then not be identified.
    bool bootloaderAnswered = false;
};

// A product that an earlier try left in its bootloader is asked first, with one identification
// request at the chosen rate and wiring: when a known chip answers, it is not woken (the wake-up
// message would reach its bootloader as garbage at the wrong rates) and no start signal is
// awaited. Otherwise the wake-up and the handshake follow as ever.
//
// `window` hears the handshake's status lines, progress and message boxes. When the channel cannot
// be opened nothing is tried on it (no handshake, nothing reported): the caller says so. When
// `stopRequest` turns true while the bootloader's start signal is awaited, the wait ends at once
// without a message and nothing is identified.
TargetReach ReachTarget(const ChannelOpener& openChannel, int baudRate, Wiring wiring,
                        CReportWindow* window, CClock& clock,
                        const std::atomic<bool>* stopRequest = nullptr);

}  // namespace tamrix
