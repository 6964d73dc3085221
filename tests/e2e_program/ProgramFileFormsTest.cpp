// tamrix-cli program-hex with HEX files that are valid but not shaped like a compiler's usual
// output: other line ends, long records, a missing last line end, images with nothing above
// address 0 in program memory. Each must program exactly what it describes.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "cli/ExitCodes.h"
#include "sim/SimVerify.h"
#include "tests/e2e_program/FirmwarePlans.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::FirmwareBuilder;
using test::HasStatusLine;
using test::SimBench;
using test::WriteWholeFile;

std::string WithLineEnd(const std::string& text, const std::string& lineEnd) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        out += text.substr(at, end - at) + lineEnd;
        at = end + 2;
    }
    return out;
}

// Programs `text` (the HEX form of `firmware`) into a product playing `chip` and checks the flash.
void ProgramText(const char* chip, const FirmwareBuilder& firmware, const std::string& text) {
    SimOptions options;
    options.chip = chip;
    SimBench bench(options);
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;
    const std::string hexPath = bench.Folder().File("firmware.hex");
    ASSERT_TRUE(WriteWholeFile(hexPath, text));
    const auto before = bench.Target().HexImage();

    const CliResult result = bench.ProgramHex(hexPath);
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, "[Message] : Successfully Done !!")) << result.output;
    EXPECT_NE(result.output.find("Programing Successfully...100%"), std::string::npos);
    EXPECT_EQ(bench.Target().Counters().finishes, 1);
    const SimVerifyResult verify = VerifySimFlash(bench.Target(), firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
    EXPECT_GT(verify.compared, 0);
}

TEST(ProgramFileFormsTest, LineFeedOnlyLineEnds) {
    const test::PicPlan plan = test::MakePicPlan(32, 0x18000);
    ProgramText("dsPIC30F6014A", plan.firmware, WithLineEnd(plan.firmware.HexText(), "\n"));
}

TEST(ProgramFileFormsTest, NoLineEndAfterTheLastRecord) {
    const test::SamPlan plan = test::MakeSamPlan();
    std::string text = plan.firmware.HexText();
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
    text.resize(text.size() - 2);
    ProgramText("S3F84ZB", plan.firmware, text);
}

TEST(ProgramFileFormsTest, RecordsLongerThanACompilerWrites) {
    // 255 data bytes a record: lines of 521 characters.
    const test::PicPlan pic = test::MakePicPlan(512, 0x180000);
    ProgramText("dsPIC33FJ256GP710", pic.firmware, pic.firmware.HexText(255));
    const test::SamPlan sam = test::MakeSamPlan();
    ProgramText("S3F828B", sam.firmware, sam.firmware.HexText(255));
}

TEST(ProgramFileFormsTest, NothingAboveAddressZeroInProgramMemory) {
    // The progress of a download is measured against the highest program address, which is 0
    // for these images.
    FirmwareBuilder picEepromOnly;
    picEepromOnly.Word(0x7FF000, 0x1234).Word(0x7FF002, 0x5678);
    ProgramText("PIC24FJ128GA010", picEepromOnly, picEepromOnly.HexText());

    FirmwareBuilder samFirstByteOnly;
    samFirstByteOnly.Byte(0x0000, 0x42).Byte(0x10000, 0x24);
    ProgramText("S3F84YB", samFirstByteOnly, samFirstByteOnly.HexText());
}

}  // namespace
}  // namespace tamrix
