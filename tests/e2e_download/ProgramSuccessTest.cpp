// Whole downloads through `tamrix-cli program` against simulated PIC and SAM products on both
// wirings: the run ends with "Successfully Done" and the product's flash holds exactly what the
// firmware file describes.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

struct ProductCase {
    const char* name;
    const char* chip;
    SimWiring wiring;
};

// Names the case in test listings (the struct itself has padding bytes).
void PrintTo(const ProductCase& product, std::ostream* out) {
    *out << product.name;
}

int CountOf(const std::vector<std::string>& texts, const std::string& text) {
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

class DownloadSuccessTest : public ::testing::TestWithParam<ProductCase> {};

TEST_P(DownloadSuccessTest, FlashHoldsTheFileAfterSuccessfullyDone) {
    const ProductCase& product = GetParam();
    const bool sam = std::string(product.chip) == kSamChip;
    auto target = StartProduct(ProductOptions(product.chip, product.wiring));
    ASSERT_TRUE(target);
    const auto before = target->HexImage();

    TempFolder folder;
    const FirmwareBuilder firmware = sam ? SamApplication()
                                         : PicApplication(kProductCode, kNewerAppVersion, 0,
                                                          std::string(product.chip) == kPic30Chip);
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));

    const CliResult run = RunProgram(*target, product.wiring, file, folder.File("ProcssLog.log"));
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    EXPECT_TRUE(Contains(run.output, PrintedStatus("[Message] : Successfully Done !!\r\n")))
        << run.output;

    // The finish byte hands the product back to its application.
    EXPECT_TRUE(target->WaitFor([&] { return target->State() == SimState::Application; }, 2000));
    const SimCounters counters = target->Counters();
    EXPECT_EQ(counters.finishes, 1);
    EXPECT_EQ(counters.rowsNacked, 0);
    const SimVerifyResult check = VerifySimFlash(*target, ImageOf(firmware.HexText()), before);
    EXPECT_TRUE(check.matches) << check.difference;
    EXPECT_GT(check.compared, 0);

    const std::vector<std::string> log = LogTexts(ReadWholeFile(folder.File("ProcssLog.log")));
    EXPECT_EQ(CountOf(log, "[Message] : Successfully Done !!\r\n"), 1);
    EXPECT_EQ(CountOf(log, "Flash Program Success! \r\n"), 1);
    if (sam) {
        // No version reading and no checks: the SAM bootloader has no version to compare.
        EXPECT_EQ(counters.versionRequests, 0);
        EXPECT_EQ(counters.addressRequests, 0);
        EXPECT_EQ(counters.flashReads, 0);
        EXPECT_EQ(CountOf(log, "[Message] : Application Firmware Download \r\n"), 0);
    } else {
        EXPECT_EQ(CountOf(log, "[Message] : Application Firmware Download \r\n"), 1);
        EXPECT_EQ(CountOf(log,
                          "[Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot "
                          "Ver:1.5)\r\n"),
                  1);
        EXPECT_EQ(CountOf(log,
                          "[Message] : File Info Read From Hex File (P Code:12345, APP "
                          "Version : 1.1, Version Flag : 1)  \r\n"),
                  1);
        // The product now runs the new version; its configuration was never sent.
        EXPECT_EQ(target->Versions().appVersion, kNewerAppVersion);
        EXPECT_EQ(target->ConfigWord(0), 0xFFFF);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Products, DownloadSuccessTest,
    ::testing::Values(ProductCase{"Pic30TwoWire", kPic30Chip, SimWiring::TwoWire},
                      ProductCase{"Pic30OneWire", kPic30Chip, SimWiring::OneWireEcho},
                      ProductCase{"Pic33TwoWire", kPic33Chip, SimWiring::TwoWire},
                      ProductCase{"Pic33OneWire", kPic33Chip, SimWiring::OneWireEcho},
                      ProductCase{"SamTwoWire", kSamChip, SimWiring::TwoWire},
                      ProductCase{"SamOneWire", kSamChip, SimWiring::OneWireEcho}),
    [](const ::testing::TestParamInfo<ProductCase>& info) { return std::string(info.param.name); });

// A file made by a producer with another keystream seed is programmed when that seed is given.
TEST(DownloadSeedTest, FileOfAnotherProducerIsProgrammedWithItsSeed) {
    auto target = StartProduct(ProductOptions(kPic30Chip));
    ASSERT_TRUE(target);
    const auto before = target->HexImage();
    TempFolder folder;
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    const std::string file = folder.File("other-producer.bin");
    ASSERT_TRUE(firmware.WriteBin(file, 20240601u));

    const CliResult run =
        RunProgram(*target, SimWiring::TwoWire, file, folder.File("log"), {"--seed", "20240601"});
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    const SimVerifyResult check = VerifySimFlash(*target, ImageOf(firmware.HexText()), before);
    EXPECT_TRUE(check.matches) << check.difference;
}

}  // namespace
}  // namespace tamrix::test
