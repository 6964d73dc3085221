// Line speeds and the wake-up detector.

#include <gtest/gtest.h>

#include "sim/LineSpeed.h"
#include "sim/WakeUpDetector.h"

namespace tamrix {
namespace {

TEST(SimLineSpeedTest, SpeedsConvertBothWays) {
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400}) {
        EXPECT_EQ(BaudFromSpeed(SpeedFromBaud(baud)), baud);
    }
    EXPECT_EQ(SpeedFromBaud(12345), B0);
    EXPECT_EQ(BaudFromSpeed(B0), 0);
    EXPECT_EQ(ByteTimeUs(9600), 1042) << "rounded up: never faster than the line";
    EXPECT_EQ(ByteTimeUs(115200), 87);
}

TEST(SimWakeUpDetectorTest, MatchesTheWholeMessageAtOneApplicationSpeed) {
    CWakeUpDetector detector;
    auto feed = [&detector](const std::vector<uint8_t>& bytes, int baud) {
        bool woke = false;
        for (uint8_t b : bytes)
            woke = detector.Feed(b, baud) || woke;
        return woke;
    };
    const std::vector<uint8_t> message(kSimWakeUpMessage.begin(), kSimWakeUpMessage.end());
    EXPECT_TRUE(feed(message, 19200));
    EXPECT_TRUE(feed(message, 9600));
    EXPECT_FALSE(feed(message, 38400));

    std::vector<uint8_t> noisy = {0x00, 0x0C, 0x0C};  // leading bytes do not spoil the match
    noisy.insert(noisy.end(), message.begin(), message.end());
    EXPECT_TRUE(feed(noisy, 19200));

    EXPECT_FALSE(feed(std::vector<uint8_t>(message.begin(), message.begin() + 4), 19200) ||
                 feed(std::vector<uint8_t>(message.begin() + 4, message.end()), 9600))
        << "a change of speed in the middle breaks the message";
    std::vector<uint8_t> wrong = message;
    wrong[9] = 0x0A;
    EXPECT_FALSE(feed(wrong, 19200));
}

}  // namespace
}  // namespace tamrix
