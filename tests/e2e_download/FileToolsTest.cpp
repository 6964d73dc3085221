// tamrix-cli's demonstration and its firmware file tools, run as a technician runs them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The demonstration needs nothing but the program: a simulated product at wire speed, a complete
// download and the check of the flash, on either wiring.
TEST(CliDemoTest, CompleteDownloadPassesItsCheckOnBothWirings) {
    for (const std::string interface : {"usb", "signal"}) {
        SCOPED_TRACE(interface);
        TempFolder folder;
        const CliResult run =
            RunCli({"demo", "--interface", interface, "--log", folder.File("ProcssLog.log")});
        ASSERT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
        EXPECT_TRUE(Contains(run.output, PrintedStatus("[Message] : Successfully Done !!\r\n")))
            << run.output;
        EXPECT_TRUE(Contains(run.output, "Check passed")) << run.output;
        const std::vector<std::string> log = LogTexts(ReadWholeFile(folder.File("ProcssLog.log")));
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[1], std::string("Download Info. Port : 0, BaudRate : 115200, SignalType : ") +
                              (interface == "signal" ? "1" : "0") + "  \r\n");
    }
}

class CliFileToolsTest : public ::testing::Test {
  protected:
    const FirmwareBuilder firmware_ = PicApplication(kProductCode, kNewerAppVersion);
    TempFolder folder_;
};

TEST_F(CliFileToolsTest, ConvertMakesTheFirmwareFileAndConvertingItAgainRestoresTheText) {
    const std::string hex = folder_.File("app.hex");
    ASSERT_TRUE(firmware_.WriteHex(hex));
    const std::string original = ReadWholeFile(hex);

    const CliResult toBin = RunCli({"convert", hex, folder_.File("app.bin")});
    ASSERT_EQ(toBin.exitCode, cli::kExitSuccess) << toBin.output;
    const std::string bin = ReadWholeFile(folder_.File("app.bin"));
    ASSERT_EQ(bin.size(), original.size());
    EXPECT_NE(bin, original);
    // It is the file the download process reads: unscrambled as a download unscrambles it.
    std::vector<uint8_t> buffer(kImageBufferSize, 0);
    int size = 0;
    ASSERT_EQ(ConvertBinFile(buffer.data(), nullptr, folder_.File("app.bin"), size), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size), original);

    const CliResult back = RunCli({"convert", folder_.File("app.bin"), folder_.File("back.hex")});
    ASSERT_EQ(back.exitCode, cli::kExitSuccess) << back.output;
    EXPECT_EQ(ReadWholeFile(folder_.File("back.hex")), original);
}

TEST_F(CliFileToolsTest, InfoShowsProductCodeVersionAndFlag) {
    ASSERT_TRUE(firmware_.WriteBin(folder_.File("app.bin"), kConversionSeed));
    const CliResult run = RunCli({"info", folder_.File("app.bin")});
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    EXPECT_TRUE(Contains(run.output, "Product code: 12345")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Application version: 1.1")) << run.output;
    EXPECT_TRUE(Contains(run.output, "version flag 1")) << run.output;

    // A file whose version word has a non-zero upper byte carries flag 0.
    const FirmwareBuilder flagZero = PicApplication(kProductCode, kNewerAppVersion, 0x01);
    ASSERT_TRUE(flagZero.WriteBin(folder_.File("flag0.bin"), kConversionSeed));
    const CliResult zero = RunCli({"info", folder_.File("flag0.bin")});
    EXPECT_TRUE(Contains(zero.output, "version flag 0")) << zero.output;
}

TEST_F(CliFileToolsTest, FileOfAnotherSeedIsReadOnlyWithThatSeed) {
    const std::string path = folder_.File("other.bin");
    ASSERT_TRUE(firmware_.WriteBin(path, 7));

    const CliResult withSeed = RunCli({"info", path, "--seed", "7"});
    EXPECT_EQ(withSeed.exitCode, cli::kExitSuccess) << withSeed.output;
    EXPECT_TRUE(Contains(withSeed.output, "Product code: 12345")) << withSeed.output;

    const CliResult withDefault = RunCli({"info", path});
    EXPECT_EQ(withDefault.exitCode, cli::kExitFile) << withDefault.output;
    EXPECT_FALSE(Contains(withDefault.output, "Product code:")) << withDefault.output;
    EXPECT_TRUE(Contains(withDefault.output, "seed")) << withDefault.output;

    // convert with the seed turns it into the same Intel HEX the builder wrote.
    const CliResult convert = RunCli({"convert", path, folder_.File("other.hex"), "--seed", "7"});
    ASSERT_EQ(convert.exitCode, cli::kExitSuccess) << convert.output;
    EXPECT_EQ(ReadWholeFile(folder_.File("other.hex")), firmware_.HexText());
}

}  // namespace
}  // namespace tamrix::test
