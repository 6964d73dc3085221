// tamrix-cli program-hex into a simulated Samsung S3F8 on every SAM row of the device table:
// program bytes up to 0xFFFF, EEPROM bytes from 0x10000 on, fuse bytes; the memories must equal
// the image and the EEPROM rows must go out with the addresses the bootloader knows them by.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "sim/SimVerify.h"
#include "tests/e2e_program/FirmwarePlans.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::HasStatusLine;
using test::SamPlan;
using test::SimBench;

struct SamCase {
    const char* chip;
    SimWiring wiring;
};

void PrintTo(const SamCase& c, std::ostream* out) {
    *out << c.chip << " on " << test::WiringName(c.wiring);
}

std::string CaseName(const testing::TestParamInfo<SamCase>& info) {
    return std::string(info.param.chip) + "_" + test::WiringName(info.param.wiring);
}

size_t SamFrameLength(uint8_t command) {
    switch (command) {
        case 0x03:
        case 0x05:
            return 3 + 128;
        case 0x07:
            return 1 + 4;
        case 0x08:
            return 1;
        default:
            return 0;
    }
}

class ProgramSamTest : public testing::TestWithParam<SamCase> {};

TEST_P(ProgramSamTest, MemoriesEqualTheImage) {
    const SamPlan plan = test::MakeSamPlan();
    SimOptions options;
    options.chip = GetParam().chip;
    options.wiring = GetParam().wiring;
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

    // Every byte of the file, compared one by one, and nothing else changed.
    const SimVerifyResult verify = VerifySimFlash(target, plan.firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
    EXPECT_EQ(verify.compared, static_cast<int>(plan.bytes.size()));

    const SimCounters counters = target.Counters();
    EXPECT_EQ(counters.rowFrames, plan.RowFrames());
    EXPECT_EQ(counters.rowsAcked, plan.RowFrames());
    EXPECT_EQ(counters.finishes, 1);
    EXPECT_EQ(counters.flashReads, 0);

    // On the wire: program rows ascending, then EEPROM rows with 16-bit addresses counted from
    // the start of the EEPROM (0x0000-0x3F80), then the fuse frame, then the finish byte.
    const auto frames = test::FramesAfterHandshake(bench.HostBytes(), SamFrameLength);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), std::vector<uint8_t>{0x08});
    std::vector<uint32_t> programRows;
    std::vector<uint32_t> eepromRows;
    std::vector<std::vector<uint8_t>> fuseFrames;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        const std::vector<uint8_t>& frame = frames[i];
        const uint32_t address = frame.size() >= 3 ? frame[1] | (frame[2] << 8) : 0;
        if (frame[0] == 0x03 && frame.size() == 131) {
            EXPECT_TRUE(eepromRows.empty() && fuseFrames.empty()) << "program row out of order";
            programRows.push_back(address);
        } else if (frame[0] == 0x05 && frame.size() == 131) {
            EXPECT_TRUE(fuseFrames.empty()) << "EEPROM row after the fuses";
            eepromRows.push_back(address);
        } else if (frame[0] == 0x07 && frame.size() == 5) {
            fuseFrames.push_back(frame);
        } else {
            ADD_FAILURE() << "unexpected frame " << i << " starting 0x" << std::hex << int(frame[0])
                          << ", " << std::dec << frame.size() << " bytes";
        }
    }
    EXPECT_EQ(programRows, plan.ProgramRows());
    std::vector<uint32_t> eepromOnTheWire;
    for (uint32_t base : plan.EepromRows())
        eepromOnTheWire.push_back(base - 0x10000);
    EXPECT_EQ(eepromRows, eepromOnTheWire);
    EXPECT_EQ(eepromRows, (std::vector<uint32_t>{0x0000, 0x3F80}));
    ASSERT_EQ(fuseFrames.size(), 1u);
    EXPECT_EQ(fuseFrames[0],
              (std::vector<uint8_t>{0x07, plan.bytes.at(0x20000), plan.bytes.at(0x20001),
                                    plan.bytes.at(0x20002), plan.bytes.at(0x20003)}));
}

INSTANTIATE_TEST_SUITE_P(Chips, ProgramSamTest,
                         testing::Values(SamCase{"S3F828B", SimWiring::TwoWire},
                                         SamCase{"S3F828B", SimWiring::OneWireEcho},
                                         SamCase{"S3F84ZB", SimWiring::TwoWire},
                                         SamCase{"S3F84ZB", SimWiring::OneWireEcho},
                                         SamCase{"S3F84YB", SimWiring::TwoWire},
                                         SamCase{"S3F84YB", SimWiring::OneWireEcho}),
                         CaseName);

}  // namespace
}  // namespace tamrix
