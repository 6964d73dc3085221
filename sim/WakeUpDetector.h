#pragma once
// The running application's ear for the wake-up message: the ten bytes 0C "8F0000DE" 0D, all
// received at one of the two speeds the application listens at. A byte at another speed (line
// noise to the application's UART) or a change of speed starts the match again.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>

namespace tamrix {

inline constexpr std::array<uint8_t, 10> kSimWakeUpMessage = {0x0C, 0x38, 0x46, 0x30, 0x30,
                                                              0x30, 0x30, 0x44, 0x45, 0x0D};

class CWakeUpDetector {
  public:
    static bool ListensAt(int baud) { return baud == 19200 || baud == 9600; }

    // True when this byte completes the message.
    bool Feed(uint8_t byte, int baud) {
        if (!ListensAt(baud)) {
            Clear();
            return false;
        }
        if (baud != baud_) {
            Clear();
            baud_ = baud;
        }
        recent_.push_back(byte);
        if (recent_.size() > kSimWakeUpMessage.size())
            recent_.pop_front();
        if (recent_.size() == kSimWakeUpMessage.size() &&
            std::equal(recent_.begin(), recent_.end(), kSimWakeUpMessage.begin())) {
            Clear();
            return true;
        }
        return false;
    }

    void Clear() {
        recent_.clear();
        baud_ = 0;
    }

  private:
    std::deque<uint8_t> recent_;
    int baud_ = 0;
};

}  // namespace tamrix
