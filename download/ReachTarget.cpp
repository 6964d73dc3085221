#include "download/ReachTarget.h"

#include "download/WakeUp.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix {

namespace {

// True, with `reach` filled, when a bootloader answered the identification request. A port that
// cannot be opened is left to the usual opening, which says so.
bool AskWaitingBootloader(const ChannelOpener& openChannel, int baudRate, int echoMode,
                          CReportWindow* window, CClock& clock, TargetReach& reach) {
    int opened = 0;
    std::unique_ptr<CCommChannel> channel = openChannel(baudRate, echoMode, &opened);
    if (opened != 1)
        return false;
    // What a running product may have sent meanwhile is not an answer.
    static_cast<void>(channel->FlushRx());
    CProgramerPIC asker(channel.get(), clock, window);
    if (!asker.IdentifyWaitingBootloader(reach.entry)) {
        channel->Close();
        return false;
    }
    reach.channel = std::move(channel);
    reach.portOpened = true;
    reach.alreadyInBootloader = true;
    return true;
}

}  // namespace

TargetReach ReachTarget(const ChannelOpener& openChannel, int baudRate, int echoMode,
                        CReportWindow* window, CClock& clock,
                        const std::atomic<bool>* stopRequest) {
    TargetReach reach;
    if (AskWaitingBootloader(openChannel, baudRate, echoMode, window, clock, reach))
        return reach;
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
