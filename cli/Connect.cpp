#include "cli/Connect.h"

#include "cli/ExitCodes.h"
#include "cli/PortSearch.h"
#include "comm/OpenFailure.h"
#include "comm/PortLease.h"
#include "common/Format.h"
#include "download/ChannelOpener.h"
#include "download/DownloadStart.h"
#include "download/ReachTarget.h"
#include "platform/Clock.h"

namespace tamrix::cli {

TargetConnection ConnectToTarget(const LinkOptions& link, CTerminalWindow& window, CClock& clock,
                                 const std::atomic<bool>* stopRequest) {
    TargetConnection connection;
    PortName port = link.Port();
    CPortMap portMap = link.portMap;
    std::shared_ptr<CPortLease> lease;
    if (link.IsAuto()) {
        // The product found waits in its bootloader, and the handshake below finds it there.
        PortSearch search = SearchForProduct(link, window, clock, stopRequest);
        if (!search.found) {
            connection.exitCode = search.exitCode;
            return connection;
        }
        port = search.found->port;
        portMap = std::move(search.found->map);
        lease = std::move(search.found->lease);
    }
    const ChannelOpener open = SerialPortOpener(port, std::move(portMap), &window, lease);
    const Wiring wiring = link.WiringChosen();

    if (const PortTrial trial = TrialOpenPort(open, link.baud, wiring, &window); !trial) {
        const std::string reason = OpenFailureReason(trial.failure);
        std::fprintf(stderr, "tamrix-cli: cannot open %s%s%s\n",
                     EscapeControls(port.Text()).c_str(), reason.empty() ? "" : ": ",
                     reason.c_str());
        connection.exitCode = kExitPort;
        return connection;
    }

    TargetReach reach = ReachTarget(open, link.baud, wiring, &window, clock, stopRequest);
    connection.channel = std::move(reach.channel);
    connection.entry = reach.entry;
    if (!reach.portOpened) {
        std::fprintf(stderr, "tamrix-cli: cannot open %s after the wake-up\n",
                     EscapeControls(port.Text()).c_str());
        connection.exitCode = kExitPort;
    } else if (reach.entry.name == nullptr) {
        connection.exitCode = kExitHandshake;
    }
    window.FinishProgress();
    return connection;
}

}  // namespace tamrix::cli
