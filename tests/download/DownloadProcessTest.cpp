// Whole download processes in virtual time against a scripted product: the PIC and SAM success
// paths, the version fallback, the checks that refuse a file, a chip without a programmer and the
// ten-second handshake time-out. The product plays its side of the protocol on its own terms, so
// what it received is the evidence of what the host sent.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "download/DownloadProcess.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "tests/download/TempDir.h"
#include "tests/support/HandshakeLines.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/ScriptedBootloader.h"

namespace tamrix {
namespace {

using test::BootloaderKind;
using test::HandshakeLines;
using test::RecordingWindow;
using test::ScriptedBootloader;
using test::TempDir;
using test::WindowEvent;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using Lines = std::vector<std::string>;

constexpr uint16_t kProductCode = 12345;
constexpr uint16_t kTargetAppVersion = 1000;  // 1.0
constexpr uint16_t kBootVersion = 1500;
constexpr uint16_t kFileAppVersion = 1100;  // 1.1
// The target's own reset vector, which replaces the file's in the first row.
constexpr uint32_t kTargetResetGoto = 0x04ABCD;
constexpr uint32_t kTargetResetSecond = 0x000012;

Lines Concat(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const Lines kProgramming = {
    "[Message] : Reading HexFile \r\n", "[Message] : Reading Target Data..\r\n",
    "[Message] : Start Firmware upgrade...\r\n", "[Message] : Successfully Done !!\r\n"};

// A firmware image in the byte addressing of its HEX text.
struct Image {
    std::map<uint32_t, uint8_t> bytes;

    // PIC: an instruction at an even device address: L, M, U and the phantom byte 0.
    Image& Instruction(uint32_t device, uint32_t value) {
        bytes[2 * device] = static_cast<uint8_t>(value);
        bytes[2 * device + 1] = static_cast<uint8_t>(value >> 8);
        bytes[2 * device + 2] = static_cast<uint8_t>(value >> 16);
        bytes[2 * device + 3] = 0x00;
        return *this;
    }
    Image& Identity(uint16_t productCode, uint16_t appVersion, uint8_t upper = 0,
                    uint32_t at = 0x0C00) {
        Instruction(at, productCode);
        return Instruction(at + 2, appVersion | (uint32_t{upper} << 16));
    }
};

// A PIC application: a reset vector of its own, code, its identity and one EEPROM word.
Image PicApplication(uint16_t productCode, uint16_t appVersion, uint8_t upper = 0) {
    Image image;
    image.Instruction(0x0000, 0x040200).Instruction(0x0002, 0x000000);
    for (uint32_t address = 0x0200; address < 0x0210; address += 2)
        image.Instruction(address, 0x0A0000 + address);
    image.Identity(productCode, appVersion, upper);
    image.bytes[2 * 0x7FF000] = 0x34;
    image.bytes[2 * 0x7FF000 + 1] = 0x12;
    return image;
}

// The instruction a program row frame carries for a device address (L, M, U in the frame);
// -1 when no row frame holds it.
int64_t SentInstruction(const ScriptedBootloader& product, uint32_t device) {
    int64_t value = -1;
    for (const auto& row : product.rows) {
        const uint32_t instructions = static_cast<uint32_t>(row.data.size() / 3);
        if (row.command != 0x03 || device < row.address || device >= row.address + 2 * instructions)
            continue;
        const size_t at = 3 * ((device - row.address) / 2);
        value = row.data[at] | (row.data[at + 1] << 8) | (row.data[at + 2] << 16);
    }
    return value;
}

// Every instruction the program row frames carry that is not erased.
std::map<uint32_t, uint32_t> SentInstructions(const ScriptedBootloader& product) {
    std::map<uint32_t, uint32_t> sent;
    for (const auto& row : product.rows) {
        for (size_t i = 0; row.command == 0x03 && 3 * i + 2 < row.data.size(); ++i) {
            const uint32_t value =
                row.data[3 * i] | (row.data[3 * i + 1] << 8) | (row.data[3 * i + 2] << 16);
            if (value != 0xFFFFFF)
                sent[row.address + 2 * static_cast<uint32_t>(i)] = value;
        }
    }
    return sent;
}

class DownloadProcessTest : public ::testing::Test {
  protected:
    // A PIC product running version 1.0 of product 12345 under boot version 1.5, answering every
    // request.
    void MakePic(ScriptedBootloader& product, int rowInstructions) {
        product.picRowInstructions = rowInstructions;
        product.versionReply =
            ScriptedBootloader::PicVersionReply(kProductCode, kTargetAppVersion, 0, kBootVersion);
        product.addressReply = ScriptedBootloader::AddressReply(0x0C00, 0x0C02, 0x0BFE);
        product.instructions = {{0x0000, kTargetResetGoto},
                                {0x0002, kTargetResetSecond},
                                {0x0C00, kProductCode},
                                {0x0C02, kTargetAppVersion}};
    }

    std::string WriteFile(const Image& image) {
        const std::string text = FormatIntelHex(image.bytes);
        const std::string path = folder.Path("update.bin");
        std::string error;
        EXPECT_TRUE(WriteFirmwareFile(path, std::vector<uint8_t>(text.begin(), text.end()),
                                      kConversionSeed, error))
            << error;
        return path;
    }

    // A download of `file` from `product` on COM7 that reports to `window`; `adjust` changes
    // its settings.
    std::unique_ptr<CDownloadProcess> MakeProcess(
        ScriptedBootloader& product, const std::string& file, CClock& processClock,
        int interfaceType = 0, const std::function<void(DownloadSettings&)>& adjust = {}) {
        DownloadParams params;
        params.port = PortName::Com(7);
        params.filePath = file;
        params.wiring = WiringFromInterfaceType(interfaceType);
        params.window = &window;
        DownloadSettings settings;
        settings.clock = &processClock;
        settings.openChannel = product.Opener();
        if (adjust)
            adjust(settings);
        return std::make_unique<CDownloadProcess>(params, settings);
    }

    DownloadOutcome Run(ScriptedBootloader& product, const std::string& file,
                        int interfaceType = 0) {
        return MakeProcess(product, file, clock, interfaceType)->Run();
    }

    // The run programmed nothing: no row frame and no finish byte reached the product.
    static void ExpectNothingProgrammed(const ScriptedBootloader& product) {
        EXPECT_TRUE(product.rows.empty()) << testing::PrintToString(product.commands);
        EXPECT_EQ(product.Count("finish"), 0);
        EXPECT_EQ(product.Count("read 000000"), 0);
    }

    // The last progress report is 100 under the label of a finished run.
    void ExpectProgressEndsDone() const {
        const WindowEvent* last = nullptr;
        for (const auto& event : window.events) {
            if (event.kind == WindowEvent::Progress)
                last = &event;
        }
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->value, 100);
        EXPECT_EQ(last->text, kProgressDone);
    }

    CVirtualClock clock;
    RecordingWindow window;
    TempDir folder;
};

// ---- success paths ---------------------------------------------------------------------------

struct PicChip {
    const char* name;
    uint16_t deviceId;
    uint8_t pi;
    int rowInstructions;
    std::vector<std::string> programRows;  // the program row frames the application needs
};

void PrintTo(const PicChip& chip, std::ostream* out) {
    *out << chip.name;
}

class DownloadPicSuccessTest : public DownloadProcessTest,
                               public ::testing::WithParamInterface<PicChip> {};

TEST_P(DownloadPicSuccessTest, ReadsChecksAndProgramsTheApplication) {
    const PicChip& chip = GetParam();
    ScriptedBootloader product(clock, BootloaderKind::Pic, chip.deviceId, chip.pi);
    MakePic(product, chip.rowInstructions);
    const Image firmware = PicApplication(kProductCode, kFileAppVersion);

    EXPECT_EQ(Run(product, WriteFile(firmware)), DownloadOutcome::Success);

    EXPECT_EQ(window.StatusLines(),
              Concat(Concat(HandshakeLines(chip.deviceId, chip.pi),
                            {"[Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot "
                             "Ver:1.5)\r\n",
                             "[Message] : File Info Read From Hex File (P Code:12345, APP "
                             "Version : 1.1, Version Flag : 1)  \r\n",
                             "[Message] : Application Firmware Download \r\n"}),
                     kProgramming));
    EXPECT_EQ(window.LogLines(),
              (Lines{"Target Version Info Read Success  \r\n",
                     "Version Check : Target Boot Version : 0x5dc, Registered Boot Version : "
                     "0x0  \r\n",
                     "Hex File Parse Success \r\n", "Flash Read Success. Flash Program Start! \r\n",
                     "Flash Program Success! \r\n"}));
    EXPECT_TRUE(window.MessageBoxes().empty());

    // Asked once at the chosen rate whether its bootloader already listens (the running product
    // does not answer), woken once at 19200 (the copy at 9600 reaches a bootloader that no longer
    // listens there), then one channel at the chosen rate for the whole conversation.
    ASSERT_EQ(product.openings.size(), 4u);
    EXPECT_EQ(product.openings[0].baudRate, 115200);
    EXPECT_EQ(product.openings[0].written, std::vector<uint8_t>{0x09});
    EXPECT_EQ(product.openings[1].baudRate, 19200);
    EXPECT_EQ(product.openings[2].baudRate, 9600);
    EXPECT_EQ(product.openings[3].baudRate, 115200);
    EXPECT_EQ(product.wakeUps, 1);

    // The conversation, in order: the version reading, the reset vector read at the chip's block
    // size, the rows the file fills (no configuration rows), and the finish byte last.
    Lines expected = {"start", "identify", "version", "addresses", "read 000000"};
    expected.insert(expected.end(), chip.programRows.begin(), chip.programRows.end());
    expected.push_back("eeprom 7ff000");
    expected.push_back("finish");
    EXPECT_EQ(product.commands, expected);
    EXPECT_FALSE(product.InBootloader());

    // The rows carry the file, except that the first two instructions are the target's own.
    std::map<uint32_t, uint32_t> wanted;
    for (uint32_t address = 0x0200; address < 0x0210; address += 2)
        wanted[address] = 0x0A0000 + address;
    wanted[0x0000] = kTargetResetGoto;
    wanted[0x0002] = kTargetResetSecond;
    wanted[0x0C00] = kProductCode;
    wanted[0x0C02] = kFileAppVersion;
    EXPECT_EQ(SentInstructions(product), wanted);
    const auto& eeprom = product.rows.back();
    ASSERT_EQ(eeprom.data.size(), 32u);
    EXPECT_EQ(eeprom.data[0], 0x34);
    EXPECT_EQ(eeprom.data[1], 0x12);
    EXPECT_EQ(eeprom.data[2], 0xFF);

    ExpectProgressEndsDone();
}

INSTANTIATE_TEST_SUITE_P(
    Chips, DownloadPicSuccessTest,
    ::testing::Values(
        PicChip{
            "dsPIC30F2010", 0x0040, 1, 32, {"program 000000", "program 000200", "program 000c00"}},
        PicChip{"dsPIC33FJ256GP710", 0x00FF, 3, 512, {"program 000000", "program 000c00"}}),
    [](const ::testing::TestParamInfo<PicChip>& info) { return std::string(info.param.name); });

// With verification, each program row is read back right after its acknowledge (EEPROM rows are
// not), and the record says what the download did.
TEST_F(DownloadProcessTest, VerifyReadsEachProgramRowBackAndTheRecordSaysWhatWasDone) {
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
    MakePic(product, 32);
    const auto process =
        MakeProcess(product, WriteFile(PicApplication(kProductCode, kFileAppVersion)), clock, 0,
                    [](DownloadSettings& settings) { settings.verify = true; });

    EXPECT_EQ(process->Run(), DownloadOutcome::Success);
    EXPECT_EQ(product.commands,
              (Lines{"start", "identify", "version", "addresses", "read 000000", "program 000000",
                     "read 000000", "program 000200", "read 000200", "program 000c00",
                     "read 000c00", "eeprom 7ff000", "finish"}));
    const DownloadRecord& record = process->Record();
    EXPECT_EQ(record.chip, "dsPIC30F2010");
    EXPECT_TRUE(record.verifyAsked);
    EXPECT_EQ(record.link.rowsWritten, 4);
    EXPECT_EQ(record.link.rowsVerified, 3);
    EXPECT_EQ(record.link.retries, 0);
    EXPECT_TRUE(record.targetVersionRead);
    EXPECT_EQ(record.before.appVersion, kTargetAppVersion);
    EXPECT_EQ(record.fileAppVersion, kFileAppVersion);
    EXPECT_EQ(record.passes, 1);
    EXPECT_EQ(record.lastStatusLine, "[Message] : Successfully Done !!");
    EXPECT_TRUE(
        window.HasStatus("[Message] : Verify Done: 3 program rows read back, all equal to the "
                         "file \r\n"));
}

// Line noise in front of a read-back reply shifts it: the row is read again once the line is
// quiet, and only a difference the second read shows too fails verification.
TEST_F(DownloadProcessTest, VerifyReadsADifferenceAgainBeforeFailing) {
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
    MakePic(product, 32);
    product.strayBeforeRead = 2;  // the read-back of the row at 0x0200
    const auto process =
        MakeProcess(product, WriteFile(PicApplication(kProductCode, kFileAppVersion)), clock, 0,
                    [](DownloadSettings& settings) { settings.verify = true; });

    EXPECT_EQ(process->Run(), DownloadOutcome::Success);
    EXPECT_EQ(product.Count("read 000200"), 2);
    EXPECT_EQ(process->Record().link.rowsVerified, 3);
}

// A SAM product gets no version request and no check: rows and the finish byte only. The one-wire
// wiring reaches every channel as its echo mode.
TEST_F(DownloadProcessTest, SamTargetIsProgrammedWithoutVersionReadingOrChecks) {
    ScriptedBootloader product(clock, BootloaderKind::Sam, 0x0001, 2);
    product.versionReply = ScriptedBootloader::SamVersionReply(kProductCode, 2000, kBootVersion);
    Image firmware;
    for (uint32_t address = 0; address < 4; ++address)
        firmware.bytes[address] = static_cast<uint8_t>(0xC0 + address);
    for (uint32_t address = 0x0100; address < 0x0180; ++address)
        firmware.bytes[address] = static_cast<uint8_t>(address);
    firmware.bytes[0x10000] = 0xEE;
    for (uint32_t address = 0x20000; address < 0x20004; ++address)
        firmware.bytes[address] = static_cast<uint8_t>(0xA0 + (address & 3));

    EXPECT_EQ(Run(product, WriteFile(firmware), 1), DownloadOutcome::Success);

    EXPECT_EQ(window.StatusLines(), Concat(HandshakeLines(0x0001, 2), kProgramming));
    EXPECT_EQ(window.LogLines(),
              (Lines{"Hex File Parse Success \r\n", "Flash Read Success. Flash Program Start! \r\n",
                     "Flash Program Success! \r\n"}));
    EXPECT_TRUE(window.MessageBoxes().empty());
    for (const auto& opening : product.openings)
        EXPECT_EQ(opening.echoMode, 1) << opening.baudRate;

    EXPECT_THAT(product.commands, ElementsAre("start", "identify", "program 0000", "program 0100",
                                              "eeprom 0000", "fuses", "finish"));
    ASSERT_EQ(product.rows.size(), 4u);
    std::vector<uint8_t> first(128, 0xFF);
    first[0] = 0xC0;
    first[1] = 0xC1;
    first[2] = 0xC2;
    first[3] = 0xC3;
    EXPECT_EQ(product.rows[0].data, first);
    std::vector<uint8_t> full;
    for (int k = 0; k < 128; ++k)
        full.push_back(static_cast<uint8_t>(k));
    EXPECT_EQ(product.rows[1].data, full);
    EXPECT_EQ(product.rows[2].data[0], 0xEE);
    EXPECT_EQ(product.rows[3].data, (std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3}));
    ExpectProgressEndsDone();
}

// ---- every answer accounted for -----------------------------------------------------------------

// What the flash holds where the file has data, against the file: PIC instructions (the first two
// are the target's own) or SAM program bytes. Empty when they agree.
std::string FlashDifference(const ScriptedBootloader& product, bool pic, const Image& file) {
    std::map<uint32_t, uint8_t> flash;
    for (const auto& row : product.rows) {
        for (size_t i = 0; !pic && row.command == 0x03 && i < row.data.size(); ++i)
            flash[row.address + static_cast<uint32_t>(i)] = row.data[i];
    }
    for (const auto& [address, byte] : file.bytes) {
        if (pic && address % 4 == 0 && address >= 8 && address < 2 * 0x7FF000) {
            const auto found = product.instructions.find(address / 2);
            const uint32_t wanted =
                byte | (file.bytes.at(address + 1) << 8) | (file.bytes.at(address + 2) << 16);
            if (found == product.instructions.end() || found->second != wanted)
                return testing::PrintToString(address / 2);
        }
        if (!pic && address < 0x10000 && (flash.count(address) == 0 || flash[address] != byte))
            return testing::PrintToString(address);
    }
    return "";
}

// Answers that come after every wait has run out (a slow link), with one frame refused on the
// way: each answer is still taken for its own frame, so the refused row is sent again and the
// flash ends holding the file, on both families and both wirings. An answer given up that comes
// even later shows as one answer more than frames were owed: the rows it may have been taken for
// are read back and the refused one written again (PIC), or the run fails before the finish byte
// (SAM, which cannot read back). Never "Successfully Done" over a row the product does not hold.
TEST_F(DownloadProcessTest, EveryAnswerIsTakenForItsOwnFrame) {
    using Fate = ScriptedBootloader::RowFate;
    const auto slowWithRefusal = [](int frame) { return Fate{frame == 2, false, 1100}; };
    const auto givenUpThenLate = [](int frame) {
        return Fate{frame == 2, false, frame == 0 ? 1100 : frame == 1 ? 3400 : 2};
    };
    struct Case {
        const char* name;
        bool pic;
        int wiring;
        std::function<Fate(int)> fate;
        DownloadOutcome outcome;
        bool uncertain;
    };
    const Case cases[] = {
        {"PIC slow, two wires", true, 0, slowWithRefusal, DownloadOutcome::Success, false},
        {"PIC slow, one wire", true, 1, slowWithRefusal, DownloadOutcome::Success, false},
        {"SAM slow, two wires", false, 0, slowWithRefusal, DownloadOutcome::Success, false},
        {"SAM slow, one wire", false, 1, slowWithRefusal, DownloadOutcome::Success, false},
        {"PIC answer later than given up", true, 0, givenUpThenLate, DownloadOutcome::Success,
         true},
        {"SAM answer later than given up", false, 0, givenUpThenLate,
         DownloadOutcome::AnswersOutOfStep, true},
    };
    Image sam;
    for (uint32_t address = 0; address < 0x200; ++address)
        sam.bytes[address] = static_cast<uint8_t>(address * 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.events.clear();
        ScriptedBootloader product(clock, c.pic ? BootloaderKind::Pic : BootloaderKind::Sam,
                                   c.pic ? 0x0040 : 0x0001, c.pic ? 1 : 2);
        MakePic(product, 32);
        product.rowFate = c.fate;
        const Image file = c.pic ? PicApplication(kProductCode, kFileAppVersion) : sam;
        const auto process = MakeProcess(product, WriteFile(file), clock, c.wiring);

        EXPECT_EQ(process->Run(), c.outcome);
        EXPECT_EQ(product.Count("refused"), 1);
        const DownloadRecord& record = process->Record();
        EXPECT_EQ(record.link.rowsUncertain > 0, c.uncertain);
        if (c.outcome == DownloadOutcome::Success) {
            EXPECT_EQ(FlashDifference(product, c.pic, file), "");
            EXPECT_EQ(product.Count("finish"), 1);
        } else {
            EXPECT_EQ(product.Count("finish"), 0);
            EXPECT_THAT(window.StatusLines(),
                        ::testing::Contains(HasSubstr("answers fell out of step")));
        }
    }
}

// A file made for the other family is refused right after the handshake, before anything is read
// or written: a PIC file on a SAM product (its addresses would all fit) and a SAM file on a PIC.
TEST_F(DownloadProcessTest, AFileForTheOtherFamilyIsRefusedUntouched) {
    Image sam;
    for (uint32_t address = 0; address < 0x100; ++address)
        sam.bytes[address] = static_cast<uint8_t>(0x80 | address);
    for (const bool samProduct : {true, false}) {
        SCOPED_TRACE(samProduct ? "PIC file, SAM product" : "SAM file, PIC product");
        window.events.clear();
        ScriptedBootloader product(clock, samProduct ? BootloaderKind::Sam : BootloaderKind::Pic,
                                   samProduct ? 0x0001 : 0x0040, samProduct ? 2 : 1);
        MakePic(product, 32);
        // The PIC file's instructions all lie where a SAM image has its bytes.
        Image pic;
        for (uint32_t address = 0; address < 0x40; address += 2)
            pic.Instruction(address, 0x0A0000 + address);
        const Image file = samProduct ? pic : sam;

        EXPECT_EQ(Run(product, WriteFile(file)), DownloadOutcome::CheckRefused);
        ExpectNothingProgrammed(product);
        EXPECT_EQ(product.Count("version"), 0);
        const auto boxes = window.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "File Version");
        EXPECT_THAT(boxes[0].text,
                    HasSubstr(samProduct ? "made for a 16-bit PIC product, but the product on "
                                           "the port identifies as S3F84ZB"
                                         : "made for a Samsung S3F8 product"));
        EXPECT_THAT(window.StatusLines().back(), HasSubstr("Download Process Stop!"));
    }
}

// ---- the target's version ----------------------------------------------------------------------

// The bootloader says where its product keeps product code and version, and the file is read
// there: here the file's identity sits at 0x1400, and what it has at 0x0C00 would be refused.
TEST_F(DownloadProcessTest, TheFilesIdentityIsReadWhereTheBootloaderSays) {
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x00FF, 3);
    MakePic(product, 512);
    product.addressReply = ScriptedBootloader::AddressReply(0x1400, 0x1402, 0x13FE);
    Image firmware = PicApplication(54321, kFileAppVersion);
    firmware.Identity(kProductCode, kFileAppVersion, 0, 0x1400);

    EXPECT_EQ(Run(product, WriteFile(firmware)), DownloadOutcome::Success);
    EXPECT_TRUE(window.HasStatus(
        "[Message] : File Info Read From Hex File (P Code:12345, APP Version : 1.1, Version Flag "
        ": 1)  \r\n"));
    EXPECT_EQ(product.Count("finish"), 1);
}

// A bootloader that does not say where the version lives has it read from the target's flash at
// the usual place (with the chip's read block), whether it answered the version request or not;
// the file's identity is then read at 0x0C00 and 0x0C02.
TEST_F(DownloadProcessTest, UnansweredVersionRequestsFallBackToTheTargetsFlash) {
    for (const bool versionAnswered : {true, false}) {
        SCOPED_TRACE(versionAnswered ? "0x11 unanswered" : "0x10 and 0x11 unanswered");
        window.events.clear();
        ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
        MakePic(product, 32);
        product.addressReply.clear();
        if (!versionAnswered)
            product.versionReply.clear();
        product.instructions[0x0C02] = 1050;  // what the flash holds, not what 0x10 says

        EXPECT_EQ(Run(product, WriteFile(PicApplication(kProductCode, kFileAppVersion))),
                  DownloadOutcome::Success);

        Lines versionLines;
        if (versionAnswered) {
            versionLines.push_back(
                "[Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot Ver:1.5)\r\n");
        }
        versionLines.insert(
            versionLines.end(),
            {"[Message] : Version Address Read - Fail \r\n", "[Message] : Reading Flash Data..\r\n",
             "[Message] : Target Version Read From Flash (P Code:12345, App Ver:1.05, Boot "
             "Ver:0.00)\r\n",
             "[Message] : File Info Read From Hex File (P Code:12345, APP Version : 1.1, Version "
             "Flag : 1)  \r\n",
             "[Message] : Application Firmware Download \r\n"});
        EXPECT_EQ(window.StatusLines(),
                  Concat(Concat(HandshakeLines(0x0040, 1), versionLines), kProgramming));

        // Five requests each; the addresses are asked for only after a version answer.
        Lines expected = {"start", "identify"};
        expected.insert(expected.end(), versionAnswered ? 1 : 5, "version");
        if (versionAnswered)
            expected.insert(expected.end(), 5, "addresses");
        expected.insert(expected.end(), {"read 000c00", "read 000000"});
        EXPECT_EQ(Lines(product.commands.begin(),
                        product.commands.begin() + static_cast<std::ptrdiff_t>(expected.size())),
                  expected);
        EXPECT_EQ(product.commands.back(), "finish");
    }
}

TEST_F(DownloadProcessTest, AFlashThatCannotBeReadStopsBeforeTheFileIsChecked) {
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
    MakePic(product, 32);
    product.addressReply.clear();
    product.answerFlashReads = false;

    EXPECT_EQ(Run(product, WriteFile(PicApplication(kProductCode, kFileAppVersion))),
              DownloadOutcome::VersionReadFailed);
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Flash Reading TimeOut!!\r\n");
    EXPECT_EQ(product.Count("read 000c00"), 5);
    EXPECT_FALSE(window.HasStatus("[Message] : Application Firmware Download \r\n"));
    ExpectNothingProgrammed(product);
}

// ---- the checks --------------------------------------------------------------------------------

struct CheckCase {
    const char* name;
    uint16_t fileProductCode;
    uint16_t fileAppVersion;
    uint8_t fileUpper;    // upper byte of the file's version instruction: 0 = comparable
    uint8_t targetUpper;  // the same in the target's version answer
    std::vector<MessageAnswer> answers;
    DownloadOutcome outcome;
    // The one message box expected ("" none): caption, icon, buttons, a piece of its text.
    const char* caption;
    MessageIcon icon;
    MessageButtons buttons;
    const char* text;
    // The bootloader answers neither version request: the version is read from the flash.
    bool versionFromFlash = false;
};

void PrintTo(const CheckCase& check, std::ostream* out) {
    *out << check.name;
}

class DownloadCheckTest : public DownloadProcessTest,
                          public ::testing::WithParamInterface<CheckCase> {};

TEST_P(DownloadCheckTest, RefusesOrProgramsAsTheChecksDecide) {
    const CheckCase& c = GetParam();
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
    MakePic(product, 32);
    product.versionReply = ScriptedBootloader::PicVersionReply(kProductCode, kTargetAppVersion,
                                                               c.targetUpper, kBootVersion);
    if (c.versionFromFlash) {
        product.versionReply.clear();
        product.addressReply.clear();
        product.instructions[0x0C02] = kTargetAppVersion | (uint32_t{c.targetUpper} << 16);
    }
    window.answers.assign(c.answers.begin(), c.answers.end());

    const Image firmware = PicApplication(c.fileProductCode, c.fileAppVersion, c.fileUpper);
    EXPECT_EQ(Run(product, WriteFile(firmware)), c.outcome);

    const auto boxes = window.MessageBoxes();
    if (std::string(c.caption).empty()) {
        EXPECT_TRUE(boxes.empty());
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].icon, c.icon);
        EXPECT_EQ(boxes[0].buttons, c.buttons);
        EXPECT_THAT(boxes[0].text, HasSubstr(c.text));
    }
    EXPECT_TRUE(window.answers.empty()) << "every answer was asked for";

    if (c.outcome == DownloadOutcome::Success) {
        EXPECT_TRUE(window.HasStatus("[Message] : Application Firmware Download \r\n"));
        EXPECT_EQ(product.commands.back(), "finish");
        EXPECT_EQ(SentInstruction(product, 0x0C02), c.fileAppVersion);
    } else {
        EXPECT_FALSE(window.HasStatus("[Message] : Application Firmware Download \r\n"));
        EXPECT_FALSE(window.HasStatus("[Message] : Reading HexFile \r\n"));
        ExpectNothingProgrammed(product);
    }
}

const char* const kDowngrade =
    "The firmware file to be updated is lower than the product version \r\n \r\nDo you want to "
    "download?";

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadCheckTest,
    ::testing::Values(
        CheckCase{"AnotherProduct",
                  54321,
                  kFileAppVersion,
                  0,
                  0,
                  {},
                  DownloadOutcome::CheckRefused,
                  "Product Code",
                  MessageIcon::Warning,
                  MessageButtons::Ok,
                  "Equipment product code : 12345 \r\n  Firmware product code : 54321 \r\n"},
        CheckCase{"VersionFlagZero",
                  kProductCode,
                  kFileAppVersion,
                  0x01,
                  0,
                  {},
                  DownloadOutcome::CheckRefused,
                  "File Version",
                  MessageIcon::Information,
                  MessageButtons::Ok,
                  "Wrong firmware file! \r\nPlease download the latest version."},
        CheckCase{"DowngradeDeclined",
                  kProductCode,
                  900,
                  0,
                  0,
                  {MessageAnswer::No},
                  DownloadOutcome::CheckRefused,
                  "Product Code",
                  MessageIcon::Question,
                  MessageButtons::YesNo,
                  kDowngrade},
        CheckCase{"DowngradeAccepted",
                  kProductCode,
                  900,
                  0,
                  0,
                  {MessageAnswer::Yes},
                  DownloadOutcome::Success,
                  "Product Code",
                  MessageIcon::Question,
                  MessageButtons::YesNo,
                  kDowngrade},
        // The version read from the flash is compared as an answered one is.
        CheckCase{"DowngradeDeclinedVersionFromFlash",
                  kProductCode,
                  900,
                  0,
                  0,
                  {MessageAnswer::No},
                  DownloadOutcome::CheckRefused,
                  "Product Code",
                  MessageIcon::Question,
                  MessageButtons::YesNo,
                  kDowngrade,
                  true},
        CheckCase{"FlashVersionNotComparable",
                  kProductCode,
                  900,
                  0,
                  0x01,
                  {},
                  DownloadOutcome::Success,
                  "",
                  MessageIcon::None,
                  MessageButtons::Ok,
                  "",
                  true},
        // Not a downgrade: the same version, or a target version that cannot be compared.
        CheckCase{"SameVersion",
                  kProductCode,
                  kTargetAppVersion,
                  0,
                  0,
                  {},
                  DownloadOutcome::Success,
                  "",
                  MessageIcon::None,
                  MessageButtons::Ok,
                  ""},
        CheckCase{"TargetVersionNotComparable",
                  kProductCode,
                  900,
                  0,
                  0x01,
                  {},
                  DownloadOutcome::Success,
                  "",
                  MessageIcon::None,
                  MessageButtons::Ok,
                  ""}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// ---- no programmer, no target ------------------------------------------------------------------

// The ATmega128 row is identified and then left alone: nothing follows the identification.
// An end-of-file mark and padding behind the end record stop the download before the product is
// even opened, saying what the bytes are and where.
TEST_F(DownloadProcessTest, StrayBytesAfterTheEndRecordStopTheDownloadBeforeThePortIsOpened) {
    std::string text = FormatIntelHex(PicApplication(kProductCode, kFileAppVersion).bytes);
    const auto endLine = std::count(text.begin(), text.end(), '\n');
    text += std::string("\x1A\0", 2);
    std::string error;
    ASSERT_TRUE(WriteFirmwareFile(folder.Path("stray.bin"), {text.begin(), text.end()},
                                  kConversionSeed, error));
    ScriptedBootloader product(clock, BootloaderKind::Pic, 0x0040, 1);
    MakePic(product, 32);
    EXPECT_EQ(Run(product, folder.Path("stray.bin")), DownloadOutcome::FileLoadFailed);
    EXPECT_THAT(window.StatusLines(),
                ElementsAre("[Error] : Hex file has 2 bytes after its end record on line " +
                                std::to_string(endLine) + ": 0x1A (Ctrl-Z), 0x00 (NUL)!!\r\n",
                            "[Message] : File Loading Fail. Download Process Stop! \r\n"));
    EXPECT_TRUE(product.openings.empty());
}

TEST_F(DownloadProcessTest, AnAtmega128IsIdentifiedAndLeftAlone) {
    ScriptedBootloader product(clock, BootloaderKind::None, 0x0002, 1);

    EXPECT_EQ(Run(product, WriteFile(PicApplication(kProductCode, kFileAppVersion))),
              DownloadOutcome::NoProgrammer);
    EXPECT_EQ(window.StatusLines(),
              Concat(HandshakeLines(0x0002, 1), {"[Error] : ATmega128 is not supported by this "
                                                 "program. Download Process Stop! \r\n"}));
    const auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(boxes[0].text,
              "ATmega128 can't be programmed by this program. \r\nDownload Process Stop!");
    EXPECT_THAT(product.commands, ElementsAre("start", "identify"));
}

// A product whose bootloader is never heard is given the full ten seconds, with the wait shown
// climbing to its last step, and then the handshake gives up: whether the bootloader is silent,
// or signals at a rate other than the chosen one (heard garbled, so never answered).
TEST_F(DownloadProcessTest, TheHandshakeGivesUpAfterTenSecondsOfNoStartSignal) {
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent bootloader" : "bootloader at 57600");
        window.events.clear();
        ScriptedBootloader product(clock, BootloaderKind::Pic, 0x00FF, 3);
        MakePic(product, 512);
        product.silent = silent;
        if (!silent)
            product.bootBaud = 57600;

        EXPECT_EQ(Run(product, WriteFile(PicApplication(kProductCode, kFileAppVersion))),
                  DownloadOutcome::NoTarget);
        const int64_t end = clock.NowMs();

        EXPECT_EQ(window.StatusLines(), (Lines{"[Message] : Waiting for Hardware Reset..\r\n",
                                               "[Error] : Found not target device !!\r\n"}));
        const auto boxes = window.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Found not target device !!");
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
        const auto values = window.ProgressValues();
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.back(), 99);
        for (const auto& event : window.events) {
            if (event.kind == WindowEvent::Progress) {
                EXPECT_EQ(event.text, kProgressWaiting);
            }
        }

        // Woken, then ten seconds on the download channel with not a byte sent on it.
        EXPECT_EQ(product.wakeUps, 1);
        ASSERT_EQ(product.openings.size(), 4u);
        EXPECT_GE(end - product.openings[3].atMs, 10000);
        EXPECT_LT(end - product.openings[3].atMs, 10100);
        EXPECT_TRUE(product.openings[3].written.empty());
        EXPECT_TRUE(product.commands.empty());
        EXPECT_TRUE(product.InBootloader()) << "still waiting for an answer";
    }
}

// A clock that asks the download to stop once virtual time reaches `stopAtMs`.
class StoppingClock : public CVirtualClock {
  public:
    StoppingClock(int64_t stopAtMs, std::shared_ptr<std::atomic<bool>> stop)
        : stopAtMs_(stopAtMs), stop_(std::move(stop)) {}
    void SleepMs(int ms) override {
        CVirtualClock::SleepMs(ms);
        if (NowMs() >= stopAtMs_)
            stop_->store(true);
    }

  private:
    int64_t stopAtMs_;
    std::shared_ptr<std::atomic<bool>> stop_;
};

// A stop request ends the download where it is, never with the finish byte, and says what that
// leaves: before the wake-up the product runs its firmware untouched; while the bootloader's
// start signal is awaited the wait ends at once, without the error of a product that never
// answered.
TEST_F(DownloadProcessTest, AStopRequestEndsTheDownloadWhereItIs) {
    const std::string file = WriteFile(PicApplication(kProductCode, kFileAppVersion));
    for (const int64_t stopAtMs : {int64_t{0}, int64_t{3000}}) {
        SCOPED_TRACE(stopAtMs);
        window.events.clear();
        auto stop = std::make_shared<std::atomic<bool>>(stopAtMs == 0);
        StoppingClock stoppingClock(stopAtMs, stop);
        ScriptedBootloader product(stoppingClock, BootloaderKind::Pic, 0x00FF, 3);
        MakePic(product, 512);
        product.silent = true;
        const auto process =
            MakeProcess(product, file, stoppingClock, 0,
                        [&](DownloadSettings& settings) { settings.stopRequest = stop; });

        EXPECT_EQ(process->Run(), DownloadOutcome::Stopped);
        ExpectNothingProgrammed(product);
        EXPECT_TRUE(window.MessageBoxes().empty());
        if (stopAtMs == 0) {
            EXPECT_EQ(product.wakeUps, 0);
            EXPECT_EQ(window.StatusLines(),
                      (Lines{"[Notice] : Download stopped before the product was woken: it "
                             "still runs its firmware. \r\n"}));
        } else {
            EXPECT_EQ(product.wakeUps, 1);
            EXPECT_LT(stoppingClock.NowMs(), stopAtMs + 200) << "the wait ended at once";
            EXPECT_EQ(window.StatusLines(),
                      (Lines{"[Message] : Waiting for Hardware Reset..\r\n",
                             "[Notice] : Download stopped before programming: nothing was "
                             "written. A product that was woken waits in its bootloader: run "
                             "the download again, or power it off and on to start its firmware "
                             "again. \r\n"}));
        }
    }
}

}  // namespace
}  // namespace tamrix
