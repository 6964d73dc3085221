// A product that an earlier try left in its bootloader (a detect, a declined downgrade) is
// programmed by the next try as it is: asked once for its identification at its own rate, it
// answers, and it is neither woken nor waited for. Its bootloader hears no byte at another rate.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::HasStatusLine;
using test::SimBench;

constexpr const char* kAlreadyThere =
    "[Message] : Product already in its bootloader: it answered the identification request, so "
    "it is not woken. ";

struct ReentryCase {
    const char* chip;
    SimWiring wiring;
    bool downgradeFirst;  // the first try declines an older file (PIC) instead of detecting
};

void PrintTo(const ReentryCase& c, std::ostream* out) {
    *out << c.chip << " on " << test::WiringName(c.wiring);
}

class ReentryTest : public testing::TestWithParam<ReentryCase> {};

TEST_P(ReentryTest, ALaterTryFindsTheProductInItsBootloader) {
    const ReentryCase& c = GetParam();
    const bool pic = std::string(c.chip) != "S3F84ZB";
    SimOptions options;
    options.chip = c.chip;
    options.wiring = c.wiring;
    options.appVersion = c.downgradeFirst ? 1200 : 1000;  // the file brings 1.1
    SimBench bench(options);
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;

    test::FirmwareBuilder firmware;
    if (pic) {
        for (uint32_t address = 0x0200; address < 0x0240; address += 2)
            firmware.Instruction(address, 0x0A0000 + address);
        firmware.Identity(options.productCode, 1100);
    } else {
        for (uint32_t address = 0; address < 0x180; ++address)
            firmware.Byte(address, static_cast<uint8_t>(address * 13 + 1));
    }
    const std::string file = bench.Folder().File("firmware.bin");
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    CSimTarget& target = bench.Target();
    const auto before = target.HexImage();

    const CliResult first =
        c.downgradeFirst ? bench.Run({"program", file, "--no"}, 115200) : bench.Detect();
    ASSERT_EQ(first.exitCode, c.downgradeFirst ? cli::kExitCompatibility : cli::kExitSuccess)
        << DescribeResult(first);
    EXPECT_FALSE(HasStatusLine(first.output, kAlreadyThere)) << first.output;
    ASSERT_EQ(target.State(), SimState::Bootloader);
    const SimCounters woken = target.Counters();
    EXPECT_EQ(woken.wakeUps, 1);

    const CliResult second = bench.Run({"program", file, "--yes"}, 115200);
    ASSERT_EQ(second.exitCode, cli::kExitSuccess) << DescribeResult(second);
    EXPECT_TRUE(HasStatusLine(second.output, kAlreadyThere)) << second.output;
    EXPECT_FALSE(HasStatusLine(second.output, "[Message] : Waiting for Hardware Reset.."));
    const SimCounters after = target.Counters();
    EXPECT_EQ(after.wakeUps, 1);
    EXPECT_EQ(after.noiseBytes, woken.noiseBytes) << "bytes at a rate the bootloader ignores";
    EXPECT_EQ(after.finishes, 1);
    const SimVerifyResult flash = VerifySimFlash(target, firmware.Image(), before);
    EXPECT_TRUE(flash.matches) << flash.difference;
}

INSTANTIATE_TEST_SUITE_P(Tries, ReentryTest,
                         testing::Values(ReentryCase{"dsPIC30F6014A", SimWiring::TwoWire, false},
                                         ReentryCase{"dsPIC30F6014A", SimWiring::TwoWire, true},
                                         ReentryCase{"S3F84ZB", SimWiring::OneWireEcho, false}));

}  // namespace
}  // namespace tamrix
