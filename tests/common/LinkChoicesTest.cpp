// The wirings and baud rates the front ends offer: the labels the technician knows, the values the
// download process takes, and what a damaged settings index falls back to.

#include <gtest/gtest.h>

#include <string>

#include "common/LinkChoices.h"

namespace tamrix {
namespace {

TEST(LinkChoicesTest, TwoWiringsWithTheirLabelsNamesAndInterfaceTypes) {
    const struct {
        Wiring wiring;
        const char* label;
        const char* shortName;
        int interfaceType;
        bool echo;
    } expected[] = {{Wiring::TwoWire, "1:Tx 2:Rx 3:Gnd (Built-in USB)", "usb", 0, false},
                    {Wiring::OneWireEcho, "1:Signal 2:Vcc 3:Gnd", "signal", 1, true}};
    ASSERT_EQ(WiringCount(), 2);
    for (int index = 0; index < WiringCount(); ++index) {
        const WiringChoice& choice = WiringAt(index);
        const auto& want = expected[index];
        EXPECT_EQ(choice.wiring, want.wiring);
        EXPECT_STREQ(choice.label, want.label);
        EXPECT_STREQ(choice.shortName, want.shortName);
        EXPECT_EQ(choice.interfaceType, want.interfaceType);
        EXPECT_EQ(choice.echo, want.echo);
    }
    const WiringChoice& usb = WiringAt(0);
    const WiringChoice& signal = WiringAt(1);
    EXPECT_EQ(&WiringChoiceFor(Wiring::OneWireEcho), &signal);
    EXPECT_EQ(&WiringAt(2), &usb);
    EXPECT_EQ(&WiringAt(-1), &usb);
    EXPECT_EQ(WiringNames(), (std::vector<std::string>{"usb", "signal"}));

    Wiring wiring = Wiring::TwoWire;
    EXPECT_TRUE(WiringFromName("signal", wiring));
    EXPECT_EQ(wiring, Wiring::OneWireEcho);
    EXPECT_FALSE(WiringFromName("Signal", wiring));
    EXPECT_FALSE(WiringFromName("", wiring));
    EXPECT_EQ(wiring, Wiring::OneWireEcho);
}

TEST(LinkChoicesTest, EightBaudRatesByIndexBothWaysAndTheDefaultOutsideTheList) {
    const std::vector<int> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    ASSERT_EQ(BaudRateCount(), 8);
    EXPECT_EQ(BaudRates(), rates);
    for (int index = 0; index < BaudRateCount(); ++index) {
        EXPECT_EQ(BaudRateFromIndex(index), rates[static_cast<size_t>(index)]);
        EXPECT_EQ(BaudIndexFromRate(rates[static_cast<size_t>(index)]), index);
    }
    for (int index : {-1, 8, 1000})
        EXPECT_EQ(BaudRateFromIndex(index), 115200) << index;
    for (int rate : {0, 300, 230400})
        EXPECT_EQ(BaudIndexFromRate(rate), -1) << rate;
}

}  // namespace
}  // namespace tamrix
