#include "download/ReachTarget.h"

#include "download/WakeUp.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix {

TargetReach ReachTarget(const ChannelOpener& openChannel, int baudRate, int echoMode,
                        CReportWindow* window, CClock& clock,
                        const std::atomic<bool>* stopRequest) {
    TargetReach reach;
    // The running product answers the wake-up message by resetting into its bootloader.
    SendWakeUpMessages(openChannel, echoMode, clock);

    int opened = 0;
    reach.channel = openChannel(baudRate, echoMode, &opened);
    reach.portOpened = opened == 1;
    if (!reach.portOpened)
        return reach;
    reach.channel->FlushRx();
    // Any family's programmer can run the handshake; the one that serves the chip comes after.
    CProgramerPIC detector(reach.channel.get(), clock, window);
    detector.SetStopRequest(stopRequest);
    detector.DetectTarget(reach.entry);
    return reach;
}

}  // namespace tamrix
