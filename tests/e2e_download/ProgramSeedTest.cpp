// A firmware file of another producer, through `tamrix-cli program` with that producer's seed.
// (Downloads that succeed on every product and wiring are checked with the fault runs, in
// SuccessMeansFlashTest.)

#include <gtest/gtest.h>

#include <string>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

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
