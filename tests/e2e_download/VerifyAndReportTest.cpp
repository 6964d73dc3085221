// Read-back verification and run reports, through tamrix-cli against simulated products: a product
// that stores a word wrong while acknowledging it is caught before the finish byte, a good one
// passes, a SAM product is refused before anything is written, and the JSON report of a good and
// of a failed download holds what the products themselves counted and names the bytes programmed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

using nlohmann::json;

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The report's lines, each parsed (a line that is not JSON fails the test).
std::vector<json> ReportLines(const std::string& path) {
    std::vector<json> lines;
    const std::string text = ReadWholeFile(path);
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the report ends in the middle of a line";
            break;
        }
        lines.push_back(json::parse(text.substr(at, end - at), nullptr, false));
        EXPECT_FALSE(lines.back().is_discarded()) << text.substr(at, end - at);
        at = end + 1;
    }
    return lines;
}

// sha256sum's opinion of a file: a second implementation, not the program's.
std::string Sha256Sum(const std::string& path) {
    std::string digest;
    if (FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r")) {
        char text[65] = {};
        if (std::fread(text, 1, 64, pipe) == 64)
            digest = text;
        ::pclose(pipe);
    }
    return digest;
}

// The instruction the file gives a device address (low, middle, upper byte at 2 x address).
uint32_t FileInstruction(const std::map<uint32_t, uint8_t>& image, uint32_t address) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        const auto byte = image.find(2 * address + i);
        value |= static_cast<uint32_t>(byte == image.end() ? 0xFF : byte->second) << (8 * i);
    }
    return value;
}

TEST(VerifyTest, AWordStoredWrongIsCaughtBeforeTheFinishByteAndAGoodProductPasses) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    const auto fileImage = ImageOf(firmware.HexText());
    const std::string log = folder.File("ProcssLog.log");

    SimOptions faulty = PacedProductOptions(kPic30Chip);
    faulty.faults.corruptProgramRow = 2;
    {
        // Without verification the fault goes unnoticed: that is what verification is for.
        auto product = StartProduct(faulty);
        ASSERT_TRUE(product);
        const CliResult plain = RunProgram(*product, SimWiring::TwoWire, file, log, {"--yes"});
        EXPECT_EQ(plain.exitCode, cli::kExitSuccess) << plain.output;
        ASSERT_TRUE(product->WaitUntilIdle(10000));
        EXPECT_FALSE(VerifySimFlash(*product, fileImage, {}).matches);
    }

    auto product = StartProduct(faulty);
    ASSERT_TRUE(product);
    const auto before = product->HexImage();
    const CliResult caught =
        RunProgram(*product, SimWiring::TwoWire, file, log, {"--yes", "--verify"});
    EXPECT_EQ(caught.exitCode, cli::kExitProgramming) << caught.output;
    EXPECT_FALSE(Contains(caught.output, "Successfully Done"));
    EXPECT_TRUE(Contains(caught.output, "Download stopped: verify failed\n"));
    const std::regex line(
        R"(\[Error\] : Address 0x([0-9a-f]+) Verify Fail!! Written 0x([0-9a-f]{6}), read back 0x([0-9a-f]{6}))");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(caught.output, match, line)) << caught.output;
    ASSERT_TRUE(product->WaitUntilIdle(10000));
    // The address named is where the flash differs from the file, with both values as they are.
    const uint32_t address = std::stoul(match[1], nullptr, 16);
    EXPECT_EQ(std::stoul(match[2], nullptr, 16), FileInstruction(fileImage, address));
    EXPECT_EQ(std::stoul(match[3], nullptr, 16), product->ProgramWord(address));
    EXPECT_NE(product->ProgramWord(address), FileInstruction(fileImage, address));
    const SimCounters counters = product->Counters();
    EXPECT_EQ(counters.finishes, 0) << "the product must not start firmware it holds wrongly";
    EXPECT_EQ(product->State(), SimState::Bootloader);
    EXPECT_EQ(counters.rowsWritten, 3) << "nothing is written after the row read back wrong";
    EXPECT_NE(before, product->HexImage());

    auto good = StartProduct(PacedProductOptions(kPic30Chip));
    ASSERT_TRUE(good);
    const auto goodBefore = good->HexImage();
    const CliResult passed =
        RunProgram(*good, SimWiring::TwoWire, file, log, {"--yes", "--verify"});
    EXPECT_EQ(passed.exitCode, cli::kExitSuccess) << passed.output;
    ASSERT_TRUE(good->WaitUntilIdle(10000));
    EXPECT_TRUE(VerifySimFlash(*good, fileImage, goodBefore).matches);
    // One read for the reset vector, then one per program row written; the EEPROM row is not
    // read back.
    const SimCounters goodCounters = good->Counters();
    const int programRows = goodCounters.flashReads - 1;
    EXPECT_GT(programRows, 0);
    EXPECT_LT(programRows, goodCounters.rowsWritten);
    EXPECT_TRUE(Contains(passed.output,
                         PrintedStatus("[Message] : Verify Done: " + std::to_string(programRows) +
                                       " program rows read back, all equal to the "
                                       "file \r\n")))
        << passed.output;
}

TEST(VerifyTest, ASamProductIsRefusedBeforeAnythingIsWritten) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(SamApplication().WriteBin(file, kConversionSeed));
    auto product = StartProduct(ProductOptions(kSamChip));
    ASSERT_TRUE(product);
    const auto before = product->HexImage();
    const CliResult refused =
        RunProgram(*product, SimWiring::TwoWire, file, folder.File("ProcssLog.log"), {"--verify"});
    EXPECT_EQ(refused.exitCode, cli::kExitUsage) << refused.output;
    EXPECT_TRUE(Contains(refused.output,
                         "S3F84ZB cannot be verified: its bootloader has no command to read the "
                         "flash back. Nothing was written"))
        << refused.output;
    ASSERT_TRUE(product->WaitUntilIdle(10000));
    ExpectNothingWritten(*product, before);
}

TEST(RunReportTest, AGoodAndAFailedDownloadAreRecordedWithTheProductsOwnFigures) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));
    const std::string report = folder.File("runs.jsonl");
    const std::string log = folder.File("ProcssLog.log");

    // A link that needs retries: two rows refused, one acknowledge lost.
    SimOptions shaky = PacedProductOptions(kPic33Chip);
    shaky.faults.nackRows = 2;
    shaky.faults.dropAcks = 1;
    auto good = StartProduct(shaky);
    ASSERT_TRUE(good);
    const CliResult first =
        RunProgram(*good, SimWiring::TwoWire, file, log, {"--yes", "--report", report});
    EXPECT_EQ(first.exitCode, cli::kExitSuccess) << first.output;
    EXPECT_TRUE(Contains(first.output,
                         "check the cable and its contacts, or choose a lower baud "
                         "rate (57600 baud)."))
        << first.output;

    SimOptions refusing = PacedProductOptions(kPic33Chip);
    refusing.faults.nackRows = -1;
    auto bad = StartProduct(refusing);
    ASSERT_TRUE(bad);
    const CliResult second =
        RunProgram(*bad, SimWiring::TwoWire, file, log, {"--yes", "--report", report});
    EXPECT_EQ(second.exitCode, cli::kExitProgramming) << second.output;
    ASSERT_TRUE(good->WaitUntilIdle(10000));
    ASSERT_TRUE(bad->WaitUntilIdle(10000));

    const std::vector<json> lines = ReportLines(report);
    ASSERT_EQ(lines.size(), 2u);
    const json& ok = lines[0];
    const SimCounters okCounters = good->Counters();
    EXPECT_EQ(ok["outcome"], "success");
    EXPECT_EQ(ok["success"], true);
    EXPECT_EQ(ok["exitStatus"], 0);
    EXPECT_EQ(ok["port"], good->DevicePath());
    EXPECT_EQ(ok["baud"], 115200);
    EXPECT_EQ(ok["wiring"], "usb");
    EXPECT_EQ(ok["chip"]["name"], kPic33Chip);
    EXPECT_EQ(ok["before"], (json{{"productCode", kProductCode},
                                  {"appVersion", kTargetAppVersion},
                                  {"bootVersion", kTargetBootVersion}}));
    EXPECT_EQ(ok["after"], (json{{"productCode", kProductCode}, {"appVersion", kNewerAppVersion}}));
    EXPECT_EQ(ok["file"]["name"], "update.bin");
    EXPECT_EQ(ok["file"]["sha256"], Sha256Sum(file));
    EXPECT_EQ(ok["rowsWritten"], okCounters.rowsAcked);
    EXPECT_EQ(ok["nacks"], okCounters.rowsNacked);
    EXPECT_EQ(ok["nacks"], 2);
    EXPECT_EQ(ok["timeouts"], 1);
    EXPECT_EQ(ok["retries"], 3);
    EXPECT_GT(ok["bytesSent"].get<int64_t>(), ok["bytesReceived"].get<int64_t>());
    EXPECT_EQ(ok["lastStatusLine"], "[Message] : Successfully Done !!");
    EXPECT_LE(ok["started"].get<std::string>(), ok["ended"].get<std::string>());

    const json& failed = lines[1];
    EXPECT_EQ(failed["outcome"], "programming failed");
    EXPECT_EQ(failed["success"], false);
    EXPECT_EQ(failed["exitStatus"], cli::kExitProgramming);
    EXPECT_EQ(failed["after"], nullptr);
    EXPECT_EQ(failed["rowsWritten"], 0);
    EXPECT_EQ(failed["nacks"], bad->Counters().rowsNacked);
    EXPECT_EQ(failed["nacks"], 5);
    EXPECT_EQ(failed["retries"], 4);
    EXPECT_EQ(failed["lastStatusLine"], "[Error] : Address 0x0 Flash Programing Fail!!");

    // A port that cannot be opened: the report says why, as the terminal did.
    const CliResult third = RunCli(
        {"program", file, "--port", folder.File("no-such-port"), "--yes", "--report", report});
    EXPECT_EQ(third.exitCode, cli::kExitPort) << third.output;
    const std::vector<json> all = ReportLines(report);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2]["outcome"], "port not opened");
    EXPECT_NE(all[2]["lastStatusLine"].get<std::string>().find("no-such-port"), std::string::npos)
        << all[2].dump();
}

TEST(RunReportTest, TheReportNamesTheBytesProgrammedNotAFileThatReplacedThemMeanwhile) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const std::string next = folder.File("next.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion + 1).WriteBin(next, kConversionSeed));
    const std::string programmed = Sha256Sum(file);
    SimOptions slow = PacedProductOptions(kPic30Chip);
    slow.bootBaud = 9600;
    auto product = StartProduct(slow);
    ASSERT_TRUE(product);
    // Replaced once the first row is in: long after the file was read, before the end.
    std::thread replace([&] {
        for (int ms = 0; ms < 60000 && product->Counters().rowsAcked == 0; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::rename(next.c_str(), file.c_str());
    });
    const std::string report = folder.File("runs.jsonl");
    const CliResult run = RunProgram(*product, SimWiring::TwoWire, file, folder.File("log"),
                                     {"--yes", "--report", report}, 9600);
    replace.join();
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    ASSERT_NE(Sha256Sum(file), programmed);
    EXPECT_EQ(ReportLines(report).at(0)["file"]["sha256"], programmed);
}

}  // namespace
}  // namespace tamrix::test
