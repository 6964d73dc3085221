#include "cli/Connect.h"

#include "cli/ExitCodes.h"
#include "common/Clock.h"
#include "download/ChannelOpener.h"
#include "download/DownloadStart.h"
#include "download/WakeUp.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix::cli {

TargetConnection ConnectToTarget(const LinkOptions& link, CTerminalWindow& window, CClock& clock) {
    TargetConnection connection;
    const ChannelOpener open = SerialPortOpener(link.Port(), CPortMap::Load(), &window);
    const int echo = link.InterfaceType();

    if (!TrialOpenPort(open, link.baud, echo, &window)) {
        std::fprintf(stderr, "tamrix-cli: cannot open %s (missing, busy or no permission)\n",
                     link.Port().Text().c_str());
        connection.exitCode = kExitPort;
        return connection;
    }

    SendWakeUpMessages(open, echo, clock);
    connection.channel = open(link.baud, echo, nullptr);
    connection.channel->FlushRx();
    CProgramerPIC detector(connection.channel.get(), clock, &window);
    if (!detector.DetectTarget(connection.entry))
        connection.exitCode = kExitHandshake;
    window.FinishProgress();
    return connection;
}

}  // namespace tamrix::cli
