// The simulated product without a line (the demo's in-memory link): woken at the application's
// speed, its start signal by the clock it is given and as a host at another speed hears it, the
// one-wire echo before every answer.

#include <gtest/gtest.h>

#include <vector>

#include "sim/SimProduct.h"

namespace tamrix {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimProductTest, WakesSignalsAndAnswersWithTheEchoFirst) {
    SimOptions options;
    options.chip = "dsPIC30F6014A";
    options.bootBaud = 115200;
    options.wiring = SimWiring::OneWireEcho;
    CSimProduct product(options);
    ASSERT_TRUE(product.Start());
    EXPECT_EQ(product.State(), SimState::Application);
    EXPECT_TRUE(product.Due(0, 115200).empty());

    for (uint8_t byte : kSimWakeUpMessage)
        EXPECT_EQ(product.Receive(byte, 9600, 1000), Bytes{byte});  // only the echo
    ASSERT_EQ(product.State(), SimState::WaitingForAnswer);
    EXPECT_EQ(product.Due(1000, 115200), Bytes{0x0A});
    EXPECT_TRUE(product.Due(50000, 115200).empty());
    EXPECT_EQ(product.NextDueUs(), 101000);
    EXPECT_EQ(product.Due(101000, 9600), Bytes{0xFF});  // a slower host hears a short pulse

    product.Receive(0x0A, 19200, 102000);  // at another speed: noise
    EXPECT_EQ(product.State(), SimState::WaitingForAnswer);
    product.Receive(0x0A, 115200, 102000);
    ASSERT_EQ(product.State(), SimState::Bootloader);
    EXPECT_EQ(product.NextDueUs(), -1);

    const Bytes identification = product.Receive(0x09, 115200, 103000);
    ASSERT_EQ(identification.size(), 9u);
    EXPECT_EQ(identification[0], 0x09);                             // the echo
    EXPECT_EQ(identification[1] | identification[2] << 8, 0x02C3);  // dsPIC30F6014A
}

}  // namespace
}  // namespace tamrix
