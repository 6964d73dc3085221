#include "download/WakeUp.h"

#include "common/Clock.h"

namespace tamrix {

namespace {

void WakeUpAt(const ChannelOpener& openChannel, int baudRate, int interfaceType, CClock& clock) {
    std::unique_ptr<CCommChannel> channel = openChannel(baudRate, interfaceType, nullptr);
    channel->Write(kWakeUpMessage, sizeof kWakeUpMessage);
    clock.SleepMs(100);
    channel->FlushRx();
    channel->FlushTx();
    channel->Close();
}

}  // namespace

void SendWakeUpMessages(const ChannelOpener& openChannel, int interfaceType, CClock& clock) {
    WakeUpAt(openChannel, 19200, interfaceType, clock);
    clock.SleepMs(100);
    WakeUpAt(openChannel, 9600, interfaceType, clock);
    clock.SleepMs(300);
}

}  // namespace tamrix
