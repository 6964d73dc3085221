#include "download/WakeUp.h"

#include "platform/Clock.h"

namespace tamrix {

namespace {

void WakeUpAt(const ChannelOpener& openChannel, int baudRate, Wiring wiring, CClock& clock) {
    // A port that did not open is used as an open one: its flushes tell the user.
    std::unique_ptr<CCommChannel> channel = openChannel(baudRate, wiring).channel;
    // Nothing answers the wake-up message, and a product already in its bootloader or listening
    // at the other rate never hears it: whether it went out here says nothing. The handshake
    // that follows tells whether the product came.
    static_cast<void>(channel->Write(kWakeUpMessage, sizeof kWakeUpMessage));
    clock.SleepMs(100);
    // The channel is closed next; a purge that fails has said so in its message box.
    static_cast<void>(channel->FlushRx());
    channel->FlushTx();
    channel->Close();
}

}  // namespace

void SendWakeUpMessages(const ChannelOpener& openChannel, Wiring wiring, CClock& clock) {
    WakeUpAt(openChannel, 19200, wiring, clock);
    clock.SleepMs(100);
    WakeUpAt(openChannel, 9600, wiring, clock);
    clock.SleepMs(300);
}

}  // namespace tamrix
