// tamrix-cli program-hex against a product that misbehaves in the middle of a download: refused
// rows, lost and garbled acknowledges, a product that vanishes; and a damaged HEX file, which must
// never reach the product.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/ExitCodes.h"
#include "common/Format.h"
#include "sim/PicFlash.h"
#include "sim/SimVerify.h"
#include "tests/e2e_program/FirmwarePlans.h"
#include "tests/e2e_program/SimBench.h"

namespace tamrix {
namespace {

using test::CliResult;
using test::DescribeResult;
using test::HasStatusLine;
using test::SimBench;

constexpr const char* kDone = "[Message] : Successfully Done !!";

std::string FailLine(uint32_t baseAddress) {
    return Format("[Error] : Address 0x%x Flash Programing Fail!!", baseAddress);
}

// How many frames the host sent for one program row of a PIC (24-bit address after 0x03).
int PicRowSends(const SimBench& bench, uint32_t baseAddress, int rowInstructions) {
    const size_t rowBytes = 3 * static_cast<size_t>(rowInstructions);
    const auto frames = test::FramesAfterHandshake(bench.HostBytes(), [&](uint8_t command) {
        switch (command) {
            case 0x02:
                return size_t{4};
            case 0x03:
                return 4 + rowBytes;
            case 0x05:
                return size_t{36};
            case 0x08:
                return size_t{1};
            default:
                return size_t{0};
        }
    });
    int sends = 0;
    for (const auto& frame : frames) {
        if (frame[0] != 0x03 || frame.size() != 4 + rowBytes)
            continue;
        const uint32_t address = frame[1] | (frame[2] << 8) | (frame[3] << 16);
        if (address == baseAddress)
            ++sends;
    }
    return sends;
}

// How many frames the host sent for one SAM row: `command` 0x03 (program) or 0x05 (EEPROM) with
// the 16-bit address the row goes out with.
int SamRowSends(const SimBench& bench, uint8_t command, uint16_t wireAddress) {
    const auto frames = test::FramesAfterHandshake(bench.HostBytes(), [](uint8_t c) {
        return c == 0x03 || c == 0x05 ? size_t{131} : c == 0x07 ? size_t{5} : size_t{1};
    });
    int sends = 0;
    for (const auto& frame : frames) {
        if (frame.size() == 131 && frame[0] == command &&
            (frame[1] | (frame[2] << 8)) == wireAddress) {
            ++sends;
        }
    }
    return sends;
}

SimOptions Options(const char* chip, SimWiring wiring) {
    SimOptions options;
    options.chip = chip;
    options.wiring = wiring;
    return options;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// A product with the plan's HEX file beside it, ready for program-hex.
template <typename Plan>
struct Run {
    Run(Plan firmwarePlan, const char* chip, SimWiring wiring)
        : plan(std::move(firmwarePlan)), bench(Options(chip, wiring)) {}

    bool Start(std::string* error) {
        hexPath = bench.Folder().File("firmware.hex");
        return bench.Start(error) && plan.firmware.WriteHex(hexPath);
    }

    Plan plan;
    SimBench bench;
    std::string hexPath;
};

using PicRun = Run<test::PicPlan>;
using SamRun = Run<test::SamPlan>;

PicRun SmallRows(SimWiring wiring) {
    return PicRun(test::MakePicPlan(32, 0x18000), "dsPIC30F6014A", wiring);
}
PicRun LargeRows(SimWiring wiring) {
    return PicRun(test::MakePicPlan(512, 0x180000), "dsPIC33FJ256GP710", wiring);
}
SamRun Sam(const char* chip, SimWiring wiring) {
    return SamRun(test::MakeSamPlan(), chip, wiring);
}

// ---- refused rows ------------------------------------------------------------------------------

TEST(ProgramNackTest, PicRowRefusedFourTimesIsWrittenOnTheFifth) {
    PicRun run = SmallRows(SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const auto before = run.bench.Target().HexImage();
    const std::vector<uint32_t> rows = run.plan.ProgramRows();
    ASSERT_EQ(rows.size(), 4u);
    SimFaults faults;
    faults.nackRows = 4;
    run.bench.SetFaultsAfterAckedRows(3, faults);  // the last program row

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, kDone));
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowsNacked, 4);
    EXPECT_EQ(counters.rowFrames, run.plan.RowFrames() + 4);
    EXPECT_EQ(counters.rowsAcked, run.plan.RowFrames());
    EXPECT_EQ(counters.finishes, 1);
    EXPECT_EQ(PicRowSends(run.bench, rows[3], 32), 5);
    EXPECT_EQ(run.bench.Target().ProgramWord(0x17FFE), run.plan.instructions.at(0x17FFE));
    const SimVerifyResult verify =
        VerifySimFlash(run.bench.Target(), run.plan.firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
}

TEST(ProgramNackTest, PicRowRefusedFiveTimesStopsBeforeTheFinish) {
    PicRun run = LargeRows(SimWiring::OneWireEcho);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const std::vector<uint32_t> rows = run.plan.ProgramRows();
    ASSERT_EQ(rows.size(), 4u);
    SimFaults faults;
    faults.nackRows = 5;
    run.bench.SetFaultsAfterAckedRows(3, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, rows[3]);
    EXPECT_EQ(test::CountStatusLines(result.output, FailLine(rows[3])), 1) << result.output;
    EXPECT_NE(run.bench.Log().find(FailLine(rows[3]) + "\r\n"), std::string::npos);

    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowFrames, 3 + 5);
    EXPECT_EQ(PicRowSends(run.bench, rows[3], 512), 5);
    // The rows before it are in; the refused row and everything after it are not.
    EXPECT_EQ(run.bench.Target().ProgramWord(rows[2]), run.plan.instructions.at(rows[2]));
    EXPECT_EQ(run.bench.Target().ProgramWord(0x17FFFE), CSimPicFlash::kErasedInstruction);
    EXPECT_EQ(run.bench.Target().EepromWord(0x7FF000), CSimPicFlash::kErasedWord);
}

TEST(ProgramNackTest, SamRowRefusedFourTimesIsWrittenOnTheFifth) {
    SamRun run = Sam("S3F84YB", SimWiring::OneWireEcho);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const uint32_t row = run.plan.ProgramRows()[1];
    SimFaults faults;
    faults.nackRows = 4;
    run.bench.SetFaultsAfterAckedRows(1, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, kDone));
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowsNacked, 4);
    EXPECT_EQ(counters.rowFrames, run.plan.RowFrames() + 4);
    EXPECT_EQ(counters.finishes, 1);
    EXPECT_EQ(SamRowSends(run.bench, 0x03, static_cast<uint16_t>(row)), 5);
    int checked = 0;
    for (auto it = run.plan.bytes.lower_bound(row); it != run.plan.bytes.lower_bound(row + 128);
         ++it, ++checked) {
        EXPECT_EQ(run.bench.Target().SamByte(it->first), it->second) << it->first;
    }
    EXPECT_GT(checked, 0);
}

TEST(ProgramNackTest, SamEepromRowRefusedFiveTimesIsReportedAtItsFullAddress) {
    SamRun run = Sam("S3F828B", SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const int programRows = static_cast<int>(run.plan.ProgramRows().size());
    SimFaults faults;
    faults.nackRows = 5;
    run.bench.SetFaultsAfterAckedRows(programRows, faults);  // the first EEPROM row

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, 0x10000);
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowFrames, programRows + 5);
    EXPECT_EQ(SamRowSends(run.bench, 0x05, 0x0000), 5);
    EXPECT_EQ(run.bench.Target().SamByte(0xFFFF), run.plan.bytes.at(0xFFFF));
    EXPECT_EQ(run.bench.Target().SamByte(0x10000), 0xFF);
    EXPECT_EQ(run.bench.Target().SamByte(0x20000), 0xFF);
}

// ---- acknowledges that never come or make no sense -------------------------------------------

TEST(ProgramAckTest, PicLostAndGarbledAcknowledgesAreRetried) {
    PicRun run = SmallRows(SimWiring::OneWireEcho);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const auto before = run.bench.Target().HexImage();
    SimFaults faults;
    faults.dropAcks = 1;     // the row is written, nothing answers: the wait runs out
    faults.garbageAcks = 1;  // the row is written, the answer is neither ACK nor NACK
    run.bench.SetFaultsAfterAckedRows(1, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, kDone));
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowFrames, run.plan.RowFrames() + 2);
    EXPECT_EQ(counters.rowsAcked, run.plan.RowFrames());
    EXPECT_EQ(counters.finishes, 1);
    EXPECT_EQ(PicRowSends(run.bench, run.plan.ProgramRows()[1], 32), 3);
    const SimVerifyResult verify =
        VerifySimFlash(run.bench.Target(), run.plan.firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
}

TEST(ProgramAckTest, PicGarbageInPlaceOfEveryAcknowledgeFailsTheRow) {
    PicRun run = LargeRows(SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const uint32_t row = run.plan.ProgramRows()[1];
    SimFaults faults;
    faults.garbageAcks = 5;
    run.bench.SetFaultsAfterAckedRows(1, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, row);
    EXPECT_EQ(run.bench.Target().Counters().rowFrames, 1 + 5);
    EXPECT_EQ(PicRowSends(run.bench, row, 512), 5);
}

TEST(ProgramAckTest, SamSilenceAfterEveryAttemptFailsTheRow) {
    SamRun run = Sam("S3F84ZB", SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const uint32_t row = run.plan.ProgramRows()[2];
    SimFaults faults;
    faults.dropAcks = 5;
    run.bench.SetFaultsAfterAckedRows(2, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, row);
    EXPECT_EQ(SamRowSends(run.bench, 0x03, static_cast<uint16_t>(row)), 5);
}

// ---- a product that vanishes -------------------------------------------------------------------

TEST(ProgramHangUpTest, PicUnpluggedMidDownloadIsAFailure) {
    PicRun run = SmallRows(SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    SimFaults faults;
    faults.hangUpAfterRows = 2;
    run.bench.Target().SetFaults(faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, run.plan.ProgramRows()[2]);
    EXPECT_EQ(run.bench.Target().State(), SimState::HungUp);
}

TEST(ProgramHangUpTest, SamUnpluggedMidDownloadIsAFailure) {
    SamRun run = Sam("S3F828B", SimWiring::OneWireEcho);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    SimFaults faults;
    faults.hangUpAfterRows = 3;
    run.bench.Target().SetFaults(faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, run.plan.ProgramRows()[3]);
}

// ---- a damaged file ----------------------------------------------------------------------------

// Changes one data digit of the last data record, so that only its checksum gives it away.
std::string CorruptLastDataRecord(std::string text) {
    const size_t end = text.rfind(":00000001FF");
    const size_t start = text.rfind("\n:", end - 2) + 1;
    const size_t digit = start + 9;
    text[digit] = text[digit] == '0' ? '1' : '0';
    return text;
}

// Cuts the second record short in the middle of its data, as an interrupted copy leaves it.
std::string TruncateSecondRecord(std::string text) {
    const size_t second = text.find("\n:", text.find("\n:") + 1) + 1;
    const size_t cut = second + 20;
    text.erase(cut, text.find('\r', second) - cut);
    return text;
}

TEST(ProgramDamagedFileTest, PicFileWithABadChecksumIsRefusedBeforeAnyRow) {
    PicRun run = SmallRows(SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const std::string damaged = CorruptLastDataRecord(run.plan.firmware.HexText());
    ASSERT_NE(damaged, run.plan.firmware.HexText());
    ASSERT_TRUE(WriteText(run.hexPath, damaged));
    const auto before = run.bench.Target().HexImage();

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    EXPECT_EQ(result.exitCode, cli::kExitFile) << DescribeResult(result);
    EXPECT_EQ(result.output.find("Successfully Done"), std::string::npos);
    EXPECT_EQ(result.output.find("Start Firmware upgrade"), std::string::npos) << result.output;
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.identifications, 1);  // the product was reached ...
    EXPECT_EQ(counters.rowFrames, 0);        // ... and nothing was written to it
    EXPECT_EQ(counters.flashReads, 0);
    EXPECT_EQ(counters.finishes, 0);
    EXPECT_EQ(run.bench.Target().HexImage(), before);
}

TEST(ProgramDamagedFileTest, SamFileWithACutRecordIsRefusedBeforeAnyRow) {
    SamRun run = Sam("S3F84ZB", SimWiring::OneWireEcho);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    ASSERT_TRUE(WriteText(run.hexPath, TruncateSecondRecord(run.plan.firmware.HexText())));

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    EXPECT_EQ(result.exitCode, cli::kExitFile) << DescribeResult(result);
    EXPECT_EQ(result.output.find("Start Firmware upgrade"), std::string::npos) << result.output;
    EXPECT_EQ(run.bench.Target().Counters().identifications, 1);
    EXPECT_EQ(run.bench.Target().Counters().rowFrames, 0);
    EXPECT_EQ(run.bench.Target().Counters().finishes, 0);
    EXPECT_TRUE(run.bench.Target().HexImage().empty());
}

TEST(ProgramDamagedFileTest, AnImageForALargerChipIsRefusedBeforeAnyRow) {
    // Program words up to 0x17FFFE, for a chip with 512-instruction rows, given to a dsPIC30F
    // whose program memory ends at 0x17FFF: nothing of it may be written.
    PicRun run(test::MakePicPlan(512, 0x180000), "dsPIC30F6014A", SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const auto before = run.bench.Target().HexImage();

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    EXPECT_EQ(result.exitCode, cli::kExitFile) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, "[Notice] : Hex file 0x17fc00Address out of range"))
        << result.output;
    EXPECT_EQ(result.output.find("Start Firmware upgrade"), std::string::npos) << result.output;
    EXPECT_EQ(run.bench.Target().Counters().rowFrames, 0);
    EXPECT_EQ(run.bench.Target().Counters().finishes, 0);
    EXPECT_EQ(run.bench.Target().HexImage(), before);
}

TEST(ProgramDamagedFileTest, UnusableFilesAreRefusedBeforeTheProductIsWoken) {
    SamRun run = Sam("S3F84ZB", SimWiring::TwoWire);
    std::string error;
    ASSERT_TRUE(run.Start(&error)) << error;
    const std::string empty = run.bench.Folder().File("empty.hex");
    ASSERT_TRUE(WriteText(empty, ""));
    // More HEX text than a firmware file can hold (1 MiB), well formed line by line.
    const std::string huge = run.bench.Folder().File("huge.hex");
    std::string text;
    while (text.size() <= 1048576)
        text += run.plan.firmware.HexText();
    ASSERT_TRUE(WriteText(huge, text));

    for (const std::string& path : {run.bench.Folder().File("missing.hex"), empty, huge}) {
        const CliResult result = run.bench.ProgramHex(path);
        EXPECT_EQ(result.exitCode, cli::kExitFile) << path << "\n" << DescribeResult(result);
        EXPECT_EQ(result.output.find("Waiting for Hardware Reset"), std::string::npos);
    }
    EXPECT_EQ(run.bench.Target().Counters().wakeUps, 0);
    EXPECT_TRUE(run.bench.HostBytes().empty());
}

// ---- a chip this program cannot program -------------------------------------------------------

TEST(ProgramRefusedChipTest, AnAtmega128IsIdentifiedButNeverWritten) {
    SimBench bench(Options("ATmega128", SimWiring::OneWireEcho));
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;
    const std::string hexPath = bench.Folder().File("firmware.hex");
    ASSERT_TRUE(test::MakePicPlan(32, 0x18000).firmware.WriteHex(hexPath));

    const CliResult result = bench.ProgramHex(hexPath);
    EXPECT_EQ(result.exitCode, cli::kExitHandshake) << DescribeResult(result);
    EXPECT_TRUE(
        HasStatusLine(result.output, "[Message] : Found MicroProcessor (ID:0x0002, PI:0x01)"))
        << result.output;
    EXPECT_NE(result.output.find("ATmega128 cannot be programmed"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Start Firmware upgrade"), std::string::npos) << result.output;
    // Not one byte after the identification request.
    std::vector<uint8_t> handshake = test::WakeUpBytes();
    handshake.push_back(0x0A);
    handshake.insert(handshake.end(),
                     static_cast<size_t>(bench.Target().Counters().identifications), 0x09);
    EXPECT_EQ(bench.HostBytes(), handshake);
}

}  // namespace
}  // namespace tamrix
