#pragma once
// The start of every pass, and of tamrix-cli's detect and program-hex: wake the running product
// with the wake-up message at 19200 and 9600 baud, open the pass's channel at the chosen rate, and
// run the handshake that finds and identifies the bootloader.

#include <atomic>
#include <memory>

#include "comm/CommChannel.h"
#include "download/ChannelOpener.h"
#include "programmer/DeviceTable.h"

namespace tamrix {

class CClock;
class CReportWindow;

struct TargetReach {
    bool portOpened = false;                // false: the channel could not be opened at all
    std::unique_ptr<CCommChannel> channel;  // the pass's channel (also when not opened)
    DeviceTableEntry entry{};               // the identified row; null name when none
};

// `window` hears the handshake's status lines, progress and message boxes. When the channel cannot
// be opened nothing is tried on it (no handshake, nothing reported): the caller says so. When
// `stopRequest` turns true while the bootloader's start signal is awaited, the wait ends at once
// without a message and nothing is identified.
TargetReach ReachTarget(const ChannelOpener& openChannel, int baudRate, int echoMode,
                        CReportWindow* window, CClock& clock,
                        const std::atomic<bool>* stopRequest = nullptr);

}  // namespace tamrix
