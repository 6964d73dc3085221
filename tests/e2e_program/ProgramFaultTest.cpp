// tamrix-cli program-hex against a product that misbehaves in the middle of a download: refused
// rows, lost and garbled acknowledges, a product that vanishes; and a damaged HEX file, which must
// never reach the product.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
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
using test::WriteWholeFile;

constexpr const char* kDone = "[Message] : Successfully Done !!";

std::string FailLine(uint32_t baseAddress) {
    return Format("[Error] : Address 0x%x Flash Programing Fail!!", baseAddress);
}

// How many frames the host sent for the row at `baseAddress`.
int RowSends(const SimBench& bench, const test::PicPlan& plan, uint32_t baseAddress) {
    const size_t rowBytes = 3 * static_cast<size_t>(plan.rowInstructions);
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
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const auto& frame) {
        return frame[0] == 0x03 && frame.size() == 4 + rowBytes &&
               (frame[1] | (frame[2] << 8) | (frame[3] << 16)) == static_cast<int>(baseAddress);
    }));
}

// A SAM row goes out with the low 16 bits of its address: 0x03 for program rows, 0x05 for EEPROM
// rows (from 0x10000 on).
int RowSends(const SimBench& bench, const test::SamPlan&, uint32_t baseAddress) {
    const uint8_t command = baseAddress >= 0x10000 ? 0x05 : 0x03;
    const auto frames = test::FramesAfterHandshake(bench.HostBytes(), [](uint8_t c) {
        return c == 0x03 || c == 0x05 ? size_t{131} : c == 0x07 ? size_t{5} : size_t{1};
    });
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const auto& frame) {
        return frame.size() == 131 && frame[0] == command &&
               (frame[1] | (frame[2] << 8)) == static_cast<int>(baseAddress & 0xFFFF);
    }));
}

SimOptions Options(const char* chip, SimWiring wiring) {
    SimOptions options;
    options.chip = chip;
    options.wiring = wiring;
    return options;
}

// A started product with the plan's HEX file beside it, ready for program-hex.
template <typename Plan>
struct Run {
    Run(Plan firmwarePlan, const char* chip, SimWiring wiring)
        : plan(std::move(firmwarePlan)), bench(Options(chip, wiring)) {
        hexPath = bench.Folder().File("firmware.hex");
        started = bench.Start(&error) && plan.firmware.WriteHex(hexPath);
    }

    int Sends(uint32_t baseAddress) const { return RowSends(bench, plan, baseAddress); }

    Plan plan;
    SimBench bench;
    std::string hexPath;
    std::string error;
    bool started = false;
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

// A run that goes through in spite of `extraFrames` unanswered or refused frames: every row in,
// the finish byte sent, the flash holding the file.
template <typename Plan>
void ExpectDoneDespite(Run<Plan>& run, const CliResult& result, int extraFrames,
                       const std::map<uint32_t, uint8_t>& before) {
    ASSERT_EQ(result.exitCode, cli::kExitSuccess) << DescribeResult(result);
    EXPECT_TRUE(HasStatusLine(result.output, kDone));
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowFrames, run.plan.RowFrames() + extraFrames);
    EXPECT_EQ(counters.rowsAcked, run.plan.RowFrames());
    EXPECT_EQ(counters.finishes, 1);
    const SimVerifyResult verify =
        VerifySimFlash(run.bench.Target(), run.plan.firmware.Image(), before);
    EXPECT_TRUE(verify.matches) << verify.difference;
}

// ---- refused rows ------------------------------------------------------------------------------

TEST(ProgramNackTest, ARowRefusedFourTimesIsWrittenOnTheFifth) {
    const auto check = [](auto&& run, size_t rowIndex) {
        ASSERT_TRUE(run.started) << run.error;
        const auto before = run.bench.Target().HexImage();
        const uint32_t row = run.plan.ProgramRows().at(rowIndex);
        SimFaults faults;
        faults.nackRows = 4;
        run.bench.SetFaultsAfterAckedRows(static_cast<int>(rowIndex), faults);

        const CliResult result = run.bench.ProgramHex(run.hexPath);
        ExpectDoneDespite(run, result, 4, before);
        EXPECT_EQ(run.bench.Target().Counters().rowsNacked, 4);
        EXPECT_EQ(run.Sends(row), 5);
    };
    {
        SCOPED_TRACE("PIC, the last of four program rows");
        PicRun pic = SmallRows(SimWiring::TwoWire);
        ASSERT_EQ(pic.plan.ProgramRows().size(), 4u);
        check(pic, 3);
    }
    {
        SCOPED_TRACE("SAM, one wire");
        check(Sam("S3F84YB", SimWiring::OneWireEcho), 1);
    }
}

TEST(ProgramNackTest, PicRowRefusedFiveTimesStopsBeforeTheFinish) {
    PicRun run = LargeRows(SimWiring::OneWireEcho);
    ASSERT_TRUE(run.started) << run.error;
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
    EXPECT_EQ(run.Sends(rows[3]), 5);
    // The rows before it are in; the refused row and everything after it are not.
    EXPECT_EQ(run.bench.Target().ProgramWord(rows[2]), run.plan.instructions.at(rows[2]));
    EXPECT_EQ(run.bench.Target().ProgramWord(0x17FFFE), CSimPicFlash::kErasedInstruction);
    EXPECT_EQ(run.bench.Target().EepromWord(0x7FF000), CSimPicFlash::kErasedWord);
}

TEST(ProgramNackTest, SamEepromRowRefusedFiveTimesIsReportedAtItsFullAddress) {
    SamRun run = Sam("S3F828B", SimWiring::TwoWire);
    ASSERT_TRUE(run.started) << run.error;
    const int programRows = static_cast<int>(run.plan.ProgramRows().size());
    SimFaults faults;
    faults.nackRows = 5;
    run.bench.SetFaultsAfterAckedRows(programRows, faults);  // the first EEPROM row

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectStoppedAtRow(result, run.bench, 0x10000);
    const SimCounters counters = run.bench.Target().Counters();
    EXPECT_EQ(counters.rowFrames, programRows + 5);
    EXPECT_EQ(run.Sends(0x10000), 5);
    EXPECT_EQ(run.bench.Target().SamByte(0xFFFF), run.plan.bytes.at(0xFFFF));
    EXPECT_EQ(run.bench.Target().SamByte(0x10000), 0xFF);
    EXPECT_EQ(run.bench.Target().SamByte(0x20000), 0xFF);
}

// ---- acknowledges that never come or make no sense -------------------------------------------

TEST(ProgramAckTest, PicLostAndGarbledAcknowledgesAreRetried) {
    PicRun run = SmallRows(SimWiring::OneWireEcho);
    ASSERT_TRUE(run.started) << run.error;
    const auto before = run.bench.Target().HexImage();
    SimFaults faults;
    faults.dropAcks = 1;     // the row is written, nothing answers: the wait runs out
    faults.garbageAcks = 1;  // the row is written, the answer is neither ACK nor NACK
    run.bench.SetFaultsAfterAckedRows(1, faults);

    const CliResult result = run.bench.ProgramHex(run.hexPath);
    ExpectDoneDespite(run, result, 2, before);
    EXPECT_EQ(run.Sends(run.plan.ProgramRows()[1]), 3);
}

// Five attempts without an acknowledge, garbage in its place (PIC) or silence (SAM): the row fails.
TEST(ProgramAckTest, NoAcknowledgeInFiveAttemptsFailsTheRow) {
    const auto check = [](auto&& run, size_t rowIndex, const SimFaults& faults) {
        ASSERT_TRUE(run.started) << run.error;
        const uint32_t row = run.plan.ProgramRows().at(rowIndex);
        run.bench.SetFaultsAfterAckedRows(static_cast<int>(rowIndex), faults);
        const CliResult result = run.bench.ProgramHex(run.hexPath);
        ExpectStoppedAtRow(result, run.bench, row);
        EXPECT_EQ(run.bench.Target().Counters().rowFrames, static_cast<int>(rowIndex) + 5);
        EXPECT_EQ(run.Sends(row), 5);
    };
    SimFaults garbage;
    garbage.garbageAcks = 5;
    SimFaults silence;
    silence.dropAcks = 5;
    {
        SCOPED_TRACE("PIC, garbage");
        check(LargeRows(SimWiring::TwoWire), 1, garbage);
    }
    {
        SCOPED_TRACE("SAM, silence");
        check(Sam("S3F84ZB", SimWiring::TwoWire), 2, silence);
    }
}

// ---- a product that vanishes -------------------------------------------------------------------

TEST(ProgramHangUpTest, AProductUnpluggedMidDownloadIsAFailure) {
    const auto check = [](auto&& run, int hangUpAfterRows) {
        ASSERT_TRUE(run.started) << run.error;
        SimFaults faults;
        faults.hangUpAfterRows = hangUpAfterRows;
        run.bench.Target().SetFaults(faults);
        const CliResult result = run.bench.ProgramHex(run.hexPath);
        ExpectStoppedAtRow(result, run.bench,
                           run.plan.ProgramRows().at(static_cast<size_t>(hangUpAfterRows)));
        EXPECT_EQ(run.bench.Target().State(), SimState::HungUp);
    };
    {
        SCOPED_TRACE("PIC, two wires");
        check(SmallRows(SimWiring::TwoWire), 2);
    }
    {
        SCOPED_TRACE("SAM, one wire");
        check(Sam("S3F828B", SimWiring::OneWireEcho), 3);
    }
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

// A damaged record anywhere in the file: the product is reached, and nothing is written to it.
TEST(ProgramDamagedFileTest, AFileWithADamagedRecordIsRefusedBeforeAnyRow) {
    const auto check = [](auto&& run, const std::string& damaged) {
        ASSERT_TRUE(run.started) << run.error;
        ASSERT_NE(damaged, run.plan.firmware.HexText());
        ASSERT_TRUE(WriteWholeFile(run.hexPath, damaged));
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
    };
    {
        SCOPED_TRACE("PIC, a bad checksum in the last data record");
        PicRun pic = SmallRows(SimWiring::TwoWire);
        check(pic, CorruptLastDataRecord(pic.plan.firmware.HexText()));
    }
    {
        SCOPED_TRACE("SAM, one wire, the second record cut short");
        SamRun sam = Sam("S3F84ZB", SimWiring::OneWireEcho);
        check(sam, TruncateSecondRecord(sam.plan.firmware.HexText()));
        EXPECT_TRUE(sam.bench.Target().HexImage().empty());
    }
}

TEST(ProgramDamagedFileTest, AnImageForALargerChipIsRefusedBeforeAnyRow) {
    // Program words up to 0x17FFFE, for a chip with 512-instruction rows, given to a dsPIC30F
    // whose program memory ends at 0x17FFF: nothing of it may be written.
    PicRun run(test::MakePicPlan(512, 0x180000), "dsPIC30F6014A", SimWiring::TwoWire);
    ASSERT_TRUE(run.started) << run.error;
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
    ASSERT_TRUE(run.started) << run.error;
    const std::string empty = run.bench.Folder().File("empty.hex");
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    // More HEX text than a firmware file can hold (1 MiB), well formed line by line.
    const std::string huge = run.bench.Folder().File("huge.hex");
    std::string text;
    while (text.size() <= 1048576)
        text += run.plan.firmware.HexText();
    ASSERT_TRUE(WriteWholeFile(huge, text));

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
