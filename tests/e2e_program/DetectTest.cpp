// tamrix-cli detect against the simulated product: waking it, the handshake on both wirings, and
// the ways a technician meets no target at once (unknown chip, no port). A product that stays
// unheard for the ten seconds, silent or at another speed, is run in virtual time with the
// download process; tamrix-cli program waits the ten seconds out once, end to end.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "common/Format.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::HasStatusLine;
using test::SimBench;
using test::StatusLinePosition;

struct DetectCase {
    const char* chip;
    uint16_t deviceId;
    uint16_t pi;
    int family;
    const char* servedBy;  // how tamrix-cli names the programmer that serves the chip
    SimWiring wiring;
};

std::string CaseName(const testing::TestParamInfo<DetectCase>& info) {
    return std::string(info.param.chip) + "_" + test::WiringName(info.param.wiring);
}

void PrintTo(const DetectCase& c, std::ostream* out) {
    *out << c.chip << " on " << test::WiringName(c.wiring);
}

class DetectTest : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectTest, NamesTheChipAfterTheHandshake) {
    const DetectCase& c = GetParam();
    SimOptions options;
    options.chip = c.chip;
    options.wiring = c.wiring;
    SimBench bench(options);
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;

    const CliResult result = bench.Detect();
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);

    const std::string received =
        Format("[Message] : Received Device Info (ID:0x%04x, PI:0x%02x)", c.deviceId, c.pi);
    const std::string found =
        Format("[Message] : Found MicroProcessor (ID:0x%04x, PI:0x%02x)", c.deviceId, c.pi);
    const std::vector<std::string> handshake = {
        "[Message] : Waiting for Hardware Reset..",
        "[Message] : Start Command Checked. Start Command Send. ",
        "[Message] : Found target device...",
        received,
        found,
    };
    size_t previous = 0;
    for (const std::string& line : handshake) {
        const size_t at = StatusLinePosition(result.output, line);
        ASSERT_NE(at, std::string::npos) << "missing \"" << line << "\"\n" << result.output;
        EXPECT_GE(at, previous) << "\"" << line << "\" out of order\n" << result.output;
        previous = at;
    }
    const std::string identified = Format("Identified: %s (ID 0x%04x, PI %d, family %d, %s)\n",
                                          c.chip, c.deviceId, c.pi, c.family, c.servedBy);
    EXPECT_NE(result.output.find(identified), std::string::npos) << result.output;

    // The process log holds the same lines with their own line ends.
    const std::string log = bench.Log();
    EXPECT_NE(log.find(found + "\r\n"), std::string::npos) << log;

    // On the wire: the identification request asked first at the boot rate, which the running
    // product hears as noise; the wake-up message woke the product at 19200 baud (the 9600 copy
    // reached a bootloader that listens at its own speed only), then exactly one answer to the
    // start signal and the identification request (again only after a retry line, should the
    // product have been slow to answer on a busy machine).
    const SimCounters counters = bench.Target().Counters();
    ASSERT_GE(counters.identifications, 1);
    std::vector<uint8_t> expected = test::WakeUpBytes();
    expected.push_back(0x0A);
    expected.insert(expected.end(), static_cast<size_t>(counters.identifications), 0x09);
    EXPECT_EQ(bench.HostBytes(), expected);
    EXPECT_EQ(
        test::CountStatusLines(result.output, "[Message] : Device ID Receive Fail. Retry ..."),
        counters.identifications - 1);
    EXPECT_EQ(counters.wakeUps, 1);
    EXPECT_EQ(counters.noiseBytes, 1 + 10);
    EXPECT_EQ(counters.rowFrames, 0);
}

constexpr const char* kPic = "PIC bootloader";
constexpr const char* kSam = "SAM bootloader";
constexpr const char* kNone = "no programmer in this program";

INSTANTIATE_TEST_SUITE_P(
    Chips, DetectTest,
    testing::Values(DetectCase{"dsPIC30F6014A", 0x02C3, 1, 1, kPic, SimWiring::TwoWire},
                    DetectCase{"dsPIC30F6014A", 0x02C3, 1, 1, kPic, SimWiring::OneWireEcho},
                    DetectCase{"dsPIC33FJ256GP710", 0x00FF, 3, 2, kPic, SimWiring::TwoWire},
                    DetectCase{"dsPIC33FJ256GP710", 0x00FF, 3, 2, kPic, SimWiring::OneWireEcho},
                    DetectCase{"PIC24FJ128GA010", 0x040D, 3, 4, kPic, SimWiring::TwoWire},
                    DetectCase{"PIC24FJ128GA010", 0x040D, 3, 4, kPic, SimWiring::OneWireEcho},
                    DetectCase{"S3F84ZB", 0x0001, 2, 102, kSam, SimWiring::TwoWire},
                    DetectCase{"S3F84ZB", 0x0001, 2, 102, kSam, SimWiring::OneWireEcho},
                    DetectCase{"ATmega128", 0x0002, 1, 201, kNone, SimWiring::TwoWire},
                    DetectCase{"ATmega128", 0x0002, 1, 201, kNone, SimWiring::OneWireEcho}),
    CaseName);

TEST(DetectNoTargetTest, AnUnlistedChipIsNamedAndRefused) {
    SimOptions options;
    options.deviceId = 0x0ABC;
    options.pi = 5;
    SimBench bench(options);
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;

    const CliResult result = bench.Detect();
    EXPECT_EQ(result.exitCode, cli::kExitHandshake) << DescribeResult(result);
    EXPECT_TRUE(
        HasStatusLine(result.output, "[Message] : Received Device Info (ID:0x0abc, PI:0x05)"))
        << result.output;
    EXPECT_TRUE(HasStatusLine(result.output, "[Error] : Device ID not Found!!")) << result.output;
    EXPECT_NE(result.output.find("=== Error (error) ===\nDevice ID not Found!!\n"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Identified:"), std::string::npos);
}

TEST(DetectNoTargetTest, AMissingPortFailsAtOnce) {
    test::TempFolder folder;
    const std::string log = folder.File("process.log");
    const CliResult result =
        test::RunCli({"detect", "--port", folder.File("ttyGone0"), "--log", log}, 30);
    EXPECT_EQ(result.exitCode, cli::kExitPort) << DescribeResult(result);
    EXPECT_NE(result.output.find("=== Channel (error) ===\nPort Open Fail\n"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Waiting for Hardware Reset"), std::string::npos);
    EXPECT_NE(test::ReadWholeFile(log).find(" >> Port Open Fail  \r\n"), std::string::npos);
}

}  // namespace
}  // namespace tamrix
