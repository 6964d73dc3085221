#pragma once
// The running product listens for a fixed wake-up message at 19200 or 9600 baud and answers it by
// resetting into its bootloader. It is sent at both rates, each on a short-lived channel.

#include <cstdint>

#include "download/ChannelOpener.h"

namespace tamrix {

class CClock;

// form feed, "8F0000DE", carriage return
inline constexpr uint8_t kWakeUpMessage[10] = {0x0C, 0x38, 0x46, 0x30, 0x30,
                                               0x30, 0x30, 0x44, 0x45, 0x0D};

// Sends the wake-up message at 19200 and then at 9600 baud, with the pauses the product needs
// (100 ms after each write, 100 ms and 300 ms after each channel is released).
void SendWakeUpMessages(const ChannelOpener& openChannel, Wiring wiring, CClock& clock);

}  // namespace tamrix
