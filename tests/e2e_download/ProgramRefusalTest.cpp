// Downloads that must stop before anything reaches the product: wrong, damaged, missing, empty,
// oversize and unscrambled files, a product that never answers, and a chip this program cannot
// program. Each stops with its messages and an exit status a script can tell apart, and the
// product's flash is untouched.

#include <gtest/gtest.h>

#include <fstream>
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

// The product-code box, written out in full: the LF CR in the middle and the blank before
// " Equipment" belong to it.
std::string ProductCodeBox(const std::string& target, const std::string& file) {
    return "Product code error. \r\n \r\nProduct codes that are read are different from the "
           "inside firmware file. \n\rIf wrong firmware file is downloaded, it could cause "
           "severe damage. \r\n \r\n  Equipment product code : " +
           target + " \r\n  Firmware product code : " + file + " \r\n \r\nDownload Process Stop!!";
}

class DownloadRefusalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        target_ = StartProduct(ProductOptions(kPic30Chip));
        ASSERT_TRUE(target_);
        before_ = target_->HexImage();
    }

    std::string WriteBin(const FirmwareBuilder& firmware, const std::string& name) {
        const std::string path = folder_.File(name);
        EXPECT_TRUE(firmware.WriteBin(path, kConversionSeed));
        return path;
    }

    // Writes the application's firmware file with one byte changed: the one that carries the
    // first data digit of the record that starts with `recordStart`.
    std::string WriteCorruptedBin(const std::string& recordStart, const std::string& name) {
        const std::string text = PicApplication(kProductCode, kNewerAppVersion).HexText();
        const size_t record = text.find(recordStart);
        EXPECT_NE(record, std::string::npos) << recordStart << " is not in\n" << text;
        if (record == std::string::npos)
            return folder_.File(name);
        const size_t digit = record + 9;
        const char changed = text[digit] == '0' ? '1' : '0';
        std::vector<uint8_t> bytes = ScrambleBytes(std::vector<uint8_t>(text.begin(), text.end()));
        bytes[digit] ^= static_cast<uint8_t>(text[digit] ^ changed);
        const std::string path = folder_.File(name);
        EXPECT_TRUE(WriteWholeFile(path, std::string(bytes.begin(), bytes.end())));
        return path;
    }

    CliResult Program(const std::string& file, const std::vector<std::string>& extra = {}) {
        return RunProgram(*target_, SimWiring::TwoWire, file, folder_.File("log"), extra);
    }

    void ExpectStopped(const CliResult& run, int exitCode) {
        ASSERT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, exitCode) << run.output;
        EXPECT_FALSE(Contains(run.output, "Successfully Done")) << run.output;
        EXPECT_FALSE(Contains(run.output, "Start Firmware upgrade")) << run.output;
        ExpectNothingWritten(*target_, before_);
    }

    // Stopped in loading the file: the converter's line (when given), then the download
    // process's own line and box.
    void ExpectNotLoaded(const CliResult& run, const std::string& converterLine) {
        ExpectStopped(run, cli::kExitFile);
        const size_t loadingFail = run.output.find(
            PrintedStatus("[Message] : File Loading Fail. Download Process Stop! \r\n"));
        ASSERT_NE(loadingFail, std::string::npos) << run.output;
        if (!converterLine.empty()) {
            const size_t line = run.output.find(PrintedStatus(converterLine));
            ASSERT_NE(line, std::string::npos) << run.output;
            EXPECT_LT(line, loadingFail);
        }
        EXPECT_TRUE(
            Contains(run.output,
                     PrintedBox("Error", "error", "File Loading Fail \r\nDownload Process Stop!")))
            << run.output;
    }

    // Refused before the product was woken: the record's line (it starts with `recordLine`),
    // then "File Parse Fail" and its box.
    void ExpectRefusedUnwoken(const CliResult& run, const std::string& recordLine) {
        ExpectStopped(run, cli::kExitFile);
        const size_t line = run.output.find(")  " + recordLine);
        const size_t parseFail = run.output.find(
            PrintedStatus("[Message] : File Parse Fail. Download Process Stop! \r\n"));
        ASSERT_NE(line, std::string::npos) << run.output;
        ASSERT_NE(parseFail, std::string::npos) << run.output;
        EXPECT_LT(line, parseFail);
        EXPECT_TRUE(Contains(
            run.output,
            PrintedBox("Error", "error", "File Parse Fail. \r\nDownload Process Stop! \r\n")))
            << run.output;
        EXPECT_EQ(target_->Counters().wakeUps, 0);
        EXPECT_EQ(target_->State(), SimState::Application);
    }

    TempFolder folder_;
    std::unique_ptr<CSimTarget> target_;
    std::map<uint32_t, uint8_t> before_;
};

TEST_F(DownloadRefusalTest, FileOfAnotherProductStopsAtTheFirstProductCodeTest) {
    const CliResult run = Program(WriteBin(PicApplication(54321, kNewerAppVersion), "other.bin"));
    ExpectStopped(run, cli::kExitCompatibility);
    EXPECT_TRUE(Contains(run.output,
                         PrintedBox("Product Code", "warning", ProductCodeBox("12345", "54321"))))
        << run.output;
    // That test stops without a status line of its own.
    EXPECT_FALSE(Contains(run.output, "Product Code Mismatch")) << run.output;
    EXPECT_FALSE(Contains(run.output, "Application Firmware Download")) << run.output;
}

TEST_F(DownloadRefusalTest, BootloaderProductCodeWithoutBootloaderPassStopsAtTheConfirmation) {
    // 14901 is let through by the first test so that it can reach a bootloader pass; with none
    // registered the confirmation refuses it: the box first, then the status line.
    const CliResult run = Program(WriteBin(PicApplication(14901, kNewerAppVersion), "boot.bin"));
    ExpectStopped(run, cli::kExitCompatibility);
    const size_t box =
        run.output.find(PrintedBox("Product Code", "warning", ProductCodeBox("12345", "14901")));
    const size_t line = run.output.find(
        PrintedStatus("[Message] : Product Code Mismatch. Download Process Stop! \r\n"));
    ASSERT_NE(box, std::string::npos) << run.output;
    ASSERT_NE(line, std::string::npos) << run.output;
    EXPECT_LT(box, line);
}

TEST_F(DownloadRefusalTest, FileWithVersionFlagZeroIsAWrongFile) {
    const CliResult run =
        Program(WriteBin(PicApplication(kProductCode, kNewerAppVersion, 0x01), "flag0.bin"));
    ExpectStopped(run, cli::kExitCompatibility);
    EXPECT_TRUE(Contains(
        run.output, PrintedBox("File Version", "information",
                               "Wrong firmware file! \r\nPlease download the latest version.")))
        << run.output;
    // That test stops without a status line of its own: the last one is the file information.
    const std::vector<std::string> log = LogTexts(ReadWholeFile(folder_.File("log")));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              "[Message] : File Info Read From Hex File (P Code:12345, APP Version : "
              "1.1, Version Flag : 0)  \r\n");
}

// A file that cannot be loaded: missing, empty, or larger than the text buffer (a good firmware
// text padded with blank lines to one byte more). The converter says why, then the download
// process stops with its own line and box.
TEST_F(DownloadRefusalTest, FilesThatCannotBeLoadedAreNotLoaded) {
    const std::string empty = folder_.File("empty.bin");
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    std::string text = PicApplication(kProductCode, kNewerAppVersion).HexText();
    while (text.size() < static_cast<size_t>(kImageBufferSize) - 1)
        text += "\r\n";
    text.resize(static_cast<size_t>(kImageBufferSize) + 1, '\n');
    const std::string oversize = folder_.File("oversize.bin");
    std::string error;
    ASSERT_TRUE(WriteFirmwareFile(oversize, std::vector<uint8_t>(text.begin(), text.end()),
                                  kConversionSeed, error))
        << error;

    const struct {
        std::string file;
        std::string converterLine;
    } cases[] = {{folder_.File("no-such-file.bin"), "[Error] : Bin File Open Fail - Convert\r\n"},
                 {empty, "[Error] : Bin File Read Fail - Convert \r\n"},
                 {oversize, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const CliResult run = Program(c.file);
        ExpectNotLoaded(run, c.converterLine);
        if (c.converterLine.empty()) {
            EXPECT_TRUE(Contains(run.output, ")  [Error] : Bin File Too Large")) << run.output;
        }
    }
}

// A text that is not sound Intel HEX throughout is refused before the product is woken, with the
// record's own line, then "File Parse Fail": the product keeps running its firmware.
TEST_F(DownloadRefusalTest, UnscrambledHexFileCannotBeRead) {
    const std::string path = folder_.File("plain.hex");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteHex(path));
    ExpectRefusedUnwoken(Program(path), "[Error] : Hex file line 1 : not an Intel HEX record!!\n");
}

TEST_F(DownloadRefusalTest, CorruptedByteBeforeTheProductCodeStopsBeforeWriting) {
    // Code at device 0x200 is HEX address 0x400, ahead of the identity at HEX 0x1800.
    ExpectRefusedUnwoken(Program(WriteCorruptedBin(":10040000", "early.bin")),
                         "[Error] : Hex file line ");
}

TEST_F(DownloadRefusalTest, CorruptedByteAfterTheProductCodeStopsBeforeWriting) {
    // Code at device 0x1000 (HEX 0x2000) follows the identity.
    ExpectRefusedUnwoken(Program(WriteCorruptedBin(":10200000", "late.bin")),
                         "[Error] : Hex file line ");
}

// The one real ten-second wait of the suite: a bootloader that never sends its start signal is
// given the full ten seconds, then the handshake gives up with its message and tamrix-cli with its
// exit status. The other ways of staying unheard are run in virtual time with the download process.
TEST(DownloadSilentTargetTest, HandshakeGivesUpAfterTenSeconds) {
    SimOptions options = ProductOptions(kPic33Chip);
    options.silentBootloader = true;
    auto target = StartProduct(options);
    ASSERT_TRUE(target);
    const auto before = target->HexImage();
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(
        PicApplication(kProductCode, kNewerAppVersion, 0, false).WriteBin(file, kConversionSeed));

    const CliResult run = RunProgram(*target, SimWiring::TwoWire, file, folder.File("log"));
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, cli::kExitHandshake) << run.output;
    EXPECT_TRUE(Contains(run.output, PrintedStatus("[Error] : Found not target device !!\r\n")))
        << run.output;
    EXPECT_TRUE(Contains(run.output, PrintedBox("Error", "error", "Found not target device !!")))
        << run.output;
    // The waiting was shown climbing to its last step.
    EXPECT_TRUE(Contains(run.output, "Waiting for Hardware...90%")) << run.output;
    // The product heard the wake-up message; nothing else happened.
    EXPECT_GE(target->Counters().wakeUps, 1);
    EXPECT_EQ(target->Counters().identifications, 0);
    ExpectNothingWritten(*target, before);
}

// The ATmega128 row names a chip this program has no programmer for: it is identified and then
// left alone.
TEST(DownloadAtmegaTest, StopsAfterTheHandshakeWithItsMessage) {
    auto target = StartProduct(ProductOptions("ATmega128"));
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));

    const CliResult run = RunProgram(*target, SimWiring::TwoWire, file, folder.File("log"));
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, cli::kExitHandshake) << run.output;
    EXPECT_TRUE(Contains(
        run.output, PrintedStatus("[Message] : Found MicroProcessor (ID:0x0002, PI:0x01)\r\n")))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "ATmega128")) << run.output;
    EXPECT_TRUE(Contains(run.output, "=== Error (error) ===\n")) << run.output;
    EXPECT_FALSE(Contains(run.output, "File Loading")) << run.output;

    // Nothing was sent after the identification request that was answered (the bytes themselves
    // are checked in virtual time with the download process).
    const SimCounters counters = target->Counters();
    EXPECT_EQ(counters.identifications, 1);
    EXPECT_EQ(counters.versionRequests + counters.addressRequests + counters.flashReads +
                  counters.rowFrames + counters.finishes,
              0);
}

}  // namespace
}  // namespace tamrix::test
