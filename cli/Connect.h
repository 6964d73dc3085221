#pragma once
// Reaching the target from the command line (on the port --port names, or on the one where
// --port auto finds the product): the trial opening of the port, the wake-up message,
// the channel at the chosen rate and the handshake, exactly as a download pass begins.

#include <atomic>
#include <memory>

#include "cli/CommonOptions.h"
#include "comm/CommChannel.h"
#include "image/DeviceTable.h"

namespace tamrix {
class CClock;
}

namespace tamrix::cli {

struct TargetConnection {
    std::unique_ptr<CCommChannel> channel;  // open at the chosen rate after a handshake
    DeviceTableEntry entry{};               // the identified row (null name when none)
    int exitCode = 0;                       // non-zero: what went wrong
};

// `stopRequest` (may be null) ends the wait for the start signal early (see ReachTarget).
TargetConnection ConnectToTarget(const LinkOptions& link, CTerminalWindow& window, CClock& clock,
                                 const std::atomic<bool>* stopRequest = nullptr);

}  // namespace tamrix::cli
