// tamrix-cli program-hex into a simulated PIC: small (dsPIC30F) and large (dsPIC33F, PIC24)
// program rows, EEPROM and configuration words, both wirings; the flash must end up as the file
// describes, with the product's own reset vector kept and no configuration written.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "common/Format.h"
#include "sim/PicBootloader.h"
#include "sim/SimVerify.h"
#include "tests/e2e_program/FirmwarePlans.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::HasStatusLine;
using test::PicPlan;
using test::SimBench;

struct PicCase {
    const char* chip;
    int rowInstructions;
    uint32_t programEnd;  // first device address past program memory
    SimWiring wiring;
};

void PrintTo(const PicCase& c, std::ostream* out) {
    *out << c.chip << " on " << test::WiringName(c.wiring);
}

std::string CaseName(const testing::TestParamInfo<PicCase>& info) {
    return std::string(info.param.chip) + "_" + test::WiringName(info.param.wiring);
}

uint32_t FrameAddress(const std::vector<uint8_t>& frame) {
    return frame[1] | (frame[2] << 8) | (static_cast<uint32_t>(frame[3]) << 16);
}

// Runs program-hex with the plan's HEX file and checks everything a successful download leaves.
void ProgramAndCheck(const PicCase& c, bool pace) {
    const PicPlan plan = test::MakePicPlan(c.rowInstructions, c.programEnd);
    SimOptions options;
    options.chip = c.chip;
    options.wiring = c.wiring;
    options.pace = pace;
    SimBench bench(options);
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;
    const std::string hexPath = bench.Folder().File("firmware.hex");
    ASSERT_TRUE(plan.firmware.WriteHex(hexPath));
    CSimTarget& target = bench.Target();
    const auto before = target.HexImage();

    const CliResult result = bench.ProgramHex(hexPath);
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, "[Message] : Successfully Done !!")) << result.output;
    EXPECT_NE(result.output.find("Programing Successfully...100%"), std::string::npos);
    EXPECT_NE(bench.Log().find("[Message] : Successfully Done !!\r\n"), std::string::npos);

    // The flash holds the file, word for word.
    const SimVerifyResult verify = VerifySimFlash(target, plan.firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
    EXPECT_GT(verify.compared, 0);
    const uint32_t last = c.programEnd - 2;
    EXPECT_EQ(target.ProgramWord(last), plan.instructions.at(last));
    EXPECT_EQ(target.ProgramWord(4), plan.instructions.at(4));
    EXPECT_EQ(target.EepromWord(0x7FFFFE), plan.eeprom.at(0x7FFFFE));
    EXPECT_EQ(target.EepromWord(0x7FF000), plan.eeprom.at(0x7FF000));
    // The product kept its own reset vector, whatever the file had at 0..3, and no configuration
    // word was touched.
    EXPECT_EQ(target.ProgramWord(0), kSimResetVector0);
    EXPECT_EQ(target.ProgramWord(2), kSimResetVector1);
    for (int i = 0; i < CSimPicFlash::kConfigWords; ++i) {
        EXPECT_EQ(target.ConfigWord(i), CSimPicFlash::kErasedWord) << "configuration word " << i;
    }

    const SimCounters counters = target.Counters();
    EXPECT_EQ(counters.flashReads, 1);
    EXPECT_EQ(counters.rowFrames, plan.RowFrames());
    EXPECT_EQ(counters.rowsAcked, plan.RowFrames());
    EXPECT_EQ(counters.rowsNacked, 0);
    EXPECT_EQ(counters.finishes, 1);

    // What went over the wire: the reset-vector read, the program rows in ascending order (row 0
    // carrying the product's reset vector, low byte first), the EEPROM rows, the finish byte.
    const size_t rowBytes = 3 * static_cast<size_t>(c.rowInstructions);
    const auto frames = test::FramesAfterHandshake(bench.HostBytes(), [&](uint8_t command) {
        switch (command) {
            case 0x02:
            case 0x07:
                return size_t{4};
            case 0x03:
                return 4 + rowBytes;
            case 0x05:
                return size_t{4 + 32};
            case 0x08:
                return size_t{1};
            default:
                return size_t{0};
        }
    });
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.front(), (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(frames.back(), std::vector<uint8_t>{0x08});
    std::vector<uint32_t> programRows;
    std::vector<uint32_t> eepromRows;
    for (size_t i = 1; i + 1 < frames.size(); ++i) {
        const std::vector<uint8_t>& frame = frames[i];
        if (frame[0] == 0x03 && frame.size() == 4 + rowBytes) {
            EXPECT_TRUE(eepromRows.empty()) << "program row after an EEPROM row";
            programRows.push_back(FrameAddress(frame));
        } else if (frame[0] == 0x05 && frame.size() == 36) {
            eepromRows.push_back(FrameAddress(frame));
        } else {
            ADD_FAILURE() << "unexpected frame " << i << " starting 0x" << std::hex << int(frame[0])
                          << ", " << std::dec << frame.size() << " bytes";
        }
    }
    EXPECT_EQ(programRows, plan.ProgramRows());
    EXPECT_EQ(eepromRows, plan.EepromRows());
    ASSERT_GT(frames.size(), 2u);
    const std::vector<uint8_t> row0Start(frames[1].begin(), frames[1].begin() + 10);
    EXPECT_EQ(row0Start, (std::vector<uint8_t>{0x03, 0x00, 0x00, 0x00,  //
                                               0x04, 0x0C, 0x04, 0x00, 0x00, 0x00}));
}

class ProgramPicTest : public testing::TestWithParam<PicCase> {};

TEST_P(ProgramPicTest, FlashHoldsTheFileWordForWord) {
    ProgramAndCheck(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(
    Chips, ProgramPicTest,
    testing::Values(PicCase{"dsPIC30F6014A", 32, 0x18000, SimWiring::TwoWire},
                    PicCase{"dsPIC30F6014A", 32, 0x18000, SimWiring::OneWireEcho},
                    PicCase{"dsPIC33FJ256GP710", 512, 0x180000, SimWiring::TwoWire},
                    PicCase{"dsPIC33FJ256GP710", 512, 0x180000, SimWiring::OneWireEcho}),
    CaseName);

// Every byte takes its wire time in both directions, on the echoing wire: the largest frames
// (1540 bytes) and the 1536-byte reset-vector read still fit their waits at 115200 baud.
TEST(ProgramPicPacedTest, APacedOneWireDownloadSucceeds) {
    ProgramAndCheck(PicCase{"PIC24FJ128GA010", 512, 0x180000, SimWiring::OneWireEcho}, true);
}

}  // namespace
}  // namespace tamrix
