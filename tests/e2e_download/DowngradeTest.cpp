// A file older than the product's application needs the technician's Yes: tamrix-cli takes it
// from --yes or --no, and without either (and with no terminal to ask at) the answer is No.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

constexpr uint16_t kOlderAppVersion = 900;  // below the product's 1.0

const std::string kQuestion =
    "The firmware file to be updated is lower than the product version \r\n \r\nDo you want to "
    "download?";

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

class DownloadDowngradeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        target_ = StartProduct(ProductOptions(kPic30Chip));
        ASSERT_TRUE(target_);
        before_ = target_->HexImage();
        ASSERT_TRUE(firmware_.WriteBin(folder_.File("older.bin"), kConversionSeed));
    }

    CliResult Program(const std::vector<std::string>& extra) {
        CliResult run = RunProgram(*target_, SimWiring::TwoWire, folder_.File("older.bin"),
                                   folder_.File("log"), extra);
        EXPECT_FALSE(run.timedOut) << run.output;
        EXPECT_TRUE(Contains(run.output, PrintedBox("Product Code", "question", kQuestion)))
            << run.output;
        return run;
    }

    void ExpectRefused(const CliResult& run) {
        EXPECT_EQ(run.exitCode, cli::kExitCompatibility) << run.output;
        EXPECT_FALSE(Contains(run.output, "Application Firmware Download")) << run.output;
        ExpectNothingWritten(*target_, before_);
        EXPECT_EQ(target_->Versions().appVersion, kTargetAppVersion);
    }

    const FirmwareBuilder firmware_ = PicApplication(kProductCode, kOlderAppVersion);
    TempFolder folder_;
    std::unique_ptr<CSimTarget> target_;
    std::map<uint32_t, uint8_t> before_;
};

TEST_F(DownloadDowngradeTest, YesProgramsTheOlderFile) {
    const CliResult run = Program({"--yes"});
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    EXPECT_TRUE(Contains(run.output, "[Yes/No] Yes")) << run.output;
    EXPECT_TRUE(Contains(run.output, PrintedStatus("[Message] : Successfully Done !!\r\n")))
        << run.output;
    const SimVerifyResult check = VerifySimFlash(*target_, ImageOf(firmware_.HexText()), before_);
    EXPECT_TRUE(check.matches) << check.difference;
    EXPECT_EQ(target_->Versions().appVersion, kOlderAppVersion);
}

TEST_F(DownloadDowngradeTest, NoStopsWithoutAnotherMessage) {
    const CliResult run = Program({"--no"});
    EXPECT_TRUE(Contains(run.output, "[Yes/No] No")) << run.output;
    ExpectRefused(run);
    // The question is the last thing the download process says.
    const std::vector<std::string> log = LogTexts(ReadWholeFile(folder_.File("log")));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              "Version Check : Target Boot Version : 0x5dc, Registered Boot Version : "
              "0x0  \r\n");
}

TEST_F(DownloadDowngradeTest, WithoutAnswerAndWithoutTerminalTheAnswerIsNo) {
    const CliResult run = Program({});
    EXPECT_TRUE(Contains(run.output, "[Yes/No] No")) << run.output;
    ExpectRefused(run);
}

}  // namespace
}  // namespace tamrix::test
