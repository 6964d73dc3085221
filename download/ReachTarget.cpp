#include "download/ReachTarget.h"

#include "download/WakeUp.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix {

namespace {

// True, with `reach` filled, when a bootloader answered the identification request. A port that
// cannot be opened is left to the usual opening, which says so.
bool AskWaitingBootloader(const ChannelOpener& openChannel, int baudRate, Wiring wiring,
                          CReportWindow* window, CClock& clock, TargetReach& reach) {
    OpenedChannel opening = openChannel(baudRate, wiring);
    if (!opening.opened)
        return false;
    std::unique_ptr<CCommChannel> channel = std::move(opening.channel);
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
    reach.bootloaderAnswered = true;
    return true;
}

}  // namespace

TargetReach ReachTarget(const ChannelOpener& openChannel, int baudRate, Wiring wiring,
                        CReportWindow* window, CClock& clock,
                        const std::atomic<bool>* stopRequest) {
    TargetReach reach;
    if (AskWaitingBootloader(openChannel, baudRate, wiring, window, clock, reach))
        return reach;
    // The running product answers the wake-up message by resetting into its bootloader.
    SendWakeUpMessages(openChannel, wiring, clock);

    OpenedChannel opening = openChannel(baudRate, wiring);
    reach.channel = std::move(opening.channel);
    reach.portOpened = opening.opened;
    if (!reach.portOpened)
        return reach;
    // A purge that fails has said so in its message box; what it left on the line cannot pass
    // for the start signal, as the handshake drops every other byte.
    static_cast<void>(reach.channel->FlushRx());
    // Any family's programmer can run the handshake; the one that serves the chip comes after.
    CProgramerPIC detector(reach.channel.get(), clock, window);
    detector.SetStopRequest(stopRequest);
    // A target that was not found leaves the entry without a name: that is what the caller
    // goes by.
    static_cast<void>(detector.DetectTarget(reach.entry));
    reach.bootloaderAnswered = detector.StartSignalSeen();
    return reach;
}

}  // namespace tamrix
