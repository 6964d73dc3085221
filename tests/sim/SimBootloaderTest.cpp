// The bootloader interpreters byte by byte, without a terminal or a clock.

#include <gtest/gtest.h>

#include "sim/PicBootloader.h"
#include "sim/SamBootloader.h"

namespace tamrix {
namespace {

const DeviceTableEntry& Chip(const char* name) {
    const DeviceTableEntry* row = FindDeviceByName(name);
    EXPECT_NE(row, nullptr) << name;
    return *row;
}

// Feeds bytes one at a time and gathers what the bootloader does.
struct Feeder {
    CSimFaultPolicy faults;
    SimCounters counters;
    bool finished = false;
    bool hungUp = false;
    int lastDelayMs = 0;

    std::vector<uint8_t> Send(CSimBootloader& bootloader, const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> replies;
        SimFrameContext context{faults, counters};
        for (uint8_t byte : bytes) {
            SimActions out;
            bootloader.Receive(byte, context, out);
            replies.insert(replies.end(), out.reply.begin(), out.reply.end());
            finished = finished || out.finished;
            hungUp = hungUp || out.hangUp;
            if (!out.reply.empty())
                lastDelayMs = out.replyDelayMs;
        }
        return replies;
    }
};

std::vector<uint8_t> Address24(uint32_t address) {
    return {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address >> 16)};
}

// A program row frame: instruction i is `first` + i, sent low byte first.
std::vector<uint8_t> PicRow(uint32_t address, int instructions, uint32_t first,
                            bool checksum = false) {
    std::vector<uint8_t> frame = {0x03};
    for (uint8_t b : Address24(address))
        frame.push_back(b);
    for (int i = 0; i < instructions; ++i) {
        const uint32_t word = (first + static_cast<uint32_t>(i)) & 0xFFFFFF;
        frame.push_back(static_cast<uint8_t>(word));
        frame.push_back(static_cast<uint8_t>(word >> 8));
        frame.push_back(static_cast<uint8_t>(word >> 16));
    }
    if (checksum) {
        unsigned sum = 0;
        for (uint8_t b : frame)
            sum += b;
        frame.push_back(static_cast<uint8_t>(sum));
        frame.push_back(static_cast<uint8_t>(sum >> 8));
    }
    return frame;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

class SimPicBootloaderTest : public ::testing::Test {
  protected:
    SimOptions options;
    Feeder feeder;
};

TEST_F(SimPicBootloaderTest, AFreshProductHoldsItsResetVectorAndIdentity) {
    options.productCode = 0x3039;
    options.appVersion = 1000;
    options.versionFlagByte = 0x01;
    CSimPicBootloader pic(Chip("dsPIC30F6014A"), options);
    EXPECT_EQ(pic.Flash().Instruction(0), kSimResetVector0);
    EXPECT_EQ(pic.Flash().Instruction(2), kSimResetVector1);
    EXPECT_EQ(pic.Flash().Instruction(0x0C00), 0x003039u);
    EXPECT_EQ(pic.Flash().Instruction(0x0C02), 0x0103E8u);
    EXPECT_EQ(pic.Flash().Instruction(0x0C04), CSimPicFlash::kErasedInstruction);
}

TEST_F(SimPicBootloaderTest, ReadsABlockUpperByteFirstSizedByTheFamily) {
    CSimPicBootloader dsPic30(Chip("dsPIC30F2010"), options);
    const std::vector<uint8_t> block = feeder.Send(dsPic30, Bytes({0x02, 0, 0, 0}));
    ASSERT_EQ(block.size(), 96u);
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 9),
              Bytes({0x04, 0x0C, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));

    CSimPicBootloader dsPic33(Chip("dsPIC33FJ128GP706"), options);
    const std::vector<uint8_t> versionBlock = feeder.Send(dsPic33, Bytes({0x02, 0x00, 0x0C, 0x00}));
    ASSERT_EQ(versionBlock.size(), 1536u);
    // 12345 = 0x3039 and 1000 = 0x03E8 with upper byte 0, as a host's fallback reads them.
    EXPECT_EQ(std::vector<uint8_t>(versionBlock.begin(), versionBlock.begin() + 6),
              Bytes({0x00, 0x30, 0x39, 0x00, 0x03, 0xE8}));
    EXPECT_EQ(feeder.counters.flashReads, 2);
}

TEST_F(SimPicBootloaderTest, WritesProgramRowsAndAcknowledgesThem) {
    CSimPicBootloader pic(Chip("dsPIC30F2010"), options);
    const std::vector<uint8_t> frame = PicRow(0x0040, 32, 0x123456);
    ASSERT_EQ(frame.size(), 100u);
    // Every byte but the last leaves the bootloader waiting for exactly the rest.
    EXPECT_TRUE(feeder.Send(pic, std::vector<uint8_t>(frame.begin(), frame.end() - 10)).empty());
    EXPECT_EQ(pic.BytesWanted(), 10u);
    EXPECT_EQ(feeder.Send(pic, std::vector<uint8_t>(frame.end() - 10, frame.end())),
              Bytes({kSimAck}));
    EXPECT_EQ(pic.BytesWanted(), 1u);
    EXPECT_EQ(pic.Flash().Instruction(0x0040), 0x123456u);
    EXPECT_EQ(pic.Flash().Instruction(0x007E), 0x123475u);
    EXPECT_EQ(pic.Flash().Instruction(0x0080), CSimPicFlash::kErasedInstruction);
    EXPECT_EQ(feeder.counters.rowFrames, 1);
    EXPECT_EQ(feeder.counters.rowsAcked, 1);

    CSimPicBootloader big(Chip("PIC24HJ128GP506"), options);
    EXPECT_EQ(feeder.Send(big, PicRow(0x0400, 512, 0x000100)), Bytes({kSimAck}));
    EXPECT_EQ(big.Flash().Instruction(0x07FE), 0x0002FFu);
}

TEST_F(SimPicBootloaderTest, RefusesRowsOutsideProgramMemory) {
    CSimPicBootloader pic(Chip("dsPIC30F2010"), options);
    EXPECT_EQ(feeder.Send(pic, PicRow(0x17FC0, 32, 0)), Bytes({kSimAck}));
    EXPECT_EQ(feeder.Send(pic, PicRow(0x18000, 32, 0)), Bytes({kSimNack}));
    EXPECT_EQ(feeder.Send(pic, PicRow(0x0041, 32, 0)), Bytes({kSimNack})) << "odd address";
    EXPECT_EQ(feeder.counters.rowsNacked, 2);
    EXPECT_EQ(feeder.counters.rowsWritten, 1);
}

TEST_F(SimPicBootloaderTest, ChecksumOptionAddsTwoBytesAndNacksAWrongSum) {
    options.checksum = true;
    CSimPicBootloader pic(Chip("dsPIC30F2010"), options);
    // The host's own example: 03 00 01 00 and 96 bytes 0xFF sum to 0x5FA4, sent A4 5F.
    std::vector<uint8_t> erasedRow = PicRow(0x0100, 32, 0xFFFFFF, true);
    for (size_t i = 4; i < 100; ++i)
        erasedRow[i] = 0xFF;
    erasedRow[100] = 0xA4;
    erasedRow[101] = 0x5F;
    EXPECT_EQ(feeder.Send(pic, erasedRow), Bytes({kSimAck}));

    std::vector<uint8_t> row = PicRow(0x0200, 32, 0xABCDEF, true);
    row[101] ^= 0x01;
    EXPECT_EQ(feeder.Send(pic, row), Bytes({kSimNack}));
    EXPECT_EQ(pic.Flash().Instruction(0x0200), CSimPicFlash::kErasedInstruction);
    row[101] ^= 0x01;
    EXPECT_EQ(feeder.Send(pic, row), Bytes({kSimAck}));
    EXPECT_EQ(pic.Flash().Instruction(0x0200), 0xABCDEFu);
}

TEST_F(SimPicBootloaderTest, WritesEepromRowsLowByteFirst) {
    CSimPicBootloader pic(Chip("dsPIC30F6014A"), options);
    std::vector<uint8_t> frame = {0x05};
    for (uint8_t b : Address24(0x7FF020))
        frame.push_back(b);
    for (int j = 0; j < 16; ++j) {
        frame.push_back(static_cast<uint8_t>(j));
        frame.push_back(0xA0);
    }
    EXPECT_EQ(feeder.Send(pic, frame), Bytes({kSimAck}));
    EXPECT_EQ(pic.Flash().EepromWord(0x7FF020), 0xA000);
    EXPECT_EQ(pic.Flash().EepromWord(0x7FF03E), 0xA00F);
    EXPECT_EQ(pic.Flash().EepromWord(0x7FF040), CSimPicFlash::kErasedWord);

    frame[1] = 0xF0;  // 0x7FFFF0: the row would run past the EEPROM
    frame[2] = 0xFF;
    EXPECT_EQ(feeder.Send(pic, frame), Bytes({kSimNack}));
}

TEST_F(SimPicBootloaderTest, ConfigurationGroupsFollowEachOtherUntilAnotherCommand) {
    CSimPicBootloader pic(Chip("dsPIC30F2010"), options);
    EXPECT_EQ(feeder.Send(pic, Bytes({0x07, 0xFF, 0x11, 0x22})), Bytes({kSimAck}));
    EXPECT_EQ(feeder.Send(pic, Bytes({0xFF, 0x33, 0x44})), Bytes({kSimAck}));
    EXPECT_EQ(feeder.Send(pic, Bytes({0xFF, 0x55, 0x66})), Bytes({kSimAck}));
    EXPECT_EQ(pic.Flash().ConfigWord(0), 0x2211);
    EXPECT_EQ(pic.Flash().ConfigWord(1), 0x4433);
    EXPECT_EQ(pic.Flash().ConfigWord(2), 0x6655);
    // A byte other than 0xFF leaves configuration mode and is a command of its own.
    EXPECT_EQ(feeder.Send(pic, {kSimIdentify}).size(), 8u);
    EXPECT_TRUE(feeder.Send(pic, Bytes({0xFF, 0x77, 0x88})).empty())
        << "0xFF is no command outside configuration mode";
    EXPECT_EQ(pic.Flash().ConfigWord(3), CSimPicFlash::kErasedWord);
    EXPECT_EQ(feeder.counters.rowFrames, 3);

    // Only eight words exist.
    feeder.Send(pic, Bytes({0x07, 0xFF, 0, 0}));
    for (int i = 1; i < 8; ++i)
        feeder.Send(pic, Bytes({0xFF, 0, 0}));
    EXPECT_EQ(feeder.Send(pic, Bytes({0xFF, 0, 0})), Bytes({kSimNack}));
}

TEST_F(SimPicBootloaderTest, VersionInformationIsReadFromTheFlash) {
    options.productCode = 0x3A34;
    options.appVersion = 0x05DC;
    options.versionFlagByte = 0x02;
    options.bootVersion = 0x08FC;
    CSimPicBootloader pic(Chip("dsPIC33FJ256GP710"), options);
    EXPECT_EQ(feeder.Send(pic, {0x10}),
              Bytes({0x34, 0x3A, 0x00, 0x00, 0xDC, 0x05, 0x02, 0x00, 0xFC, 0x08, 0x00, 0x00}));
    EXPECT_EQ(feeder.Send(pic, {0x11}),
              Bytes({0x00, 0x0C, 0, 0, 0x02, 0x0C, 0, 0, 0xFE, 0x0B, 0, 0}));

    // A download that writes another product code and version is what the next request shows.
    std::vector<uint8_t> row = PicRow(0x0C00, 512, 0);
    row[4] = 0x39;  // 0x0C00: 12345, upper byte 0
    row[5] = 0x30;
    row[6] = 0x00;
    row[7] = 0xD0;  // 0x0C02: 2000, upper byte 0
    row[8] = 0x07;
    row[9] = 0x00;
    ASSERT_EQ(feeder.Send(pic, row), Bytes({kSimAck}));
    const SimVersions versions = pic.Versions();
    EXPECT_EQ(versions.productCode, 12345);
    EXPECT_EQ(versions.appVersion, 2000);
    EXPECT_EQ(versions.versionFlagByte, 0);
    EXPECT_EQ(versions.bootVersion, 0x08FC);
    EXPECT_EQ(feeder.counters.versionRequests, 1);
    EXPECT_EQ(feeder.counters.addressRequests, 1);
}

TEST_F(SimPicBootloaderTest, VersionAddressesComeFromTheOptions) {
    options.productCodeAddress = 0x4000;
    options.versionAddress = 0x4002;
    options.thirdAddress = 0x123456;
    options.productCode = 777;
    CSimPicBootloader pic(Chip("dsPIC33FJ256GP710"), options);
    EXPECT_EQ(feeder.Send(pic, {0x11}),
              Bytes({0x00, 0x40, 0, 0, 0x02, 0x40, 0, 0, 0x56, 0x34, 0x12, 0}));
    EXPECT_EQ(pic.Flash().Instruction(0x4000), 777u);
    EXPECT_EQ(pic.Flash().Instruction(0x0C00), CSimPicFlash::kErasedInstruction);
}

TEST_F(SimPicBootloaderTest, FinishInstallsTheBootVersionOfAWrittenBootloaderImage) {
    options.bootVersion = 1500;
    CSimPicBootloader pic(Chip("dsPIC30F6014A"), options);
    auto bootRow = [](uint16_t code, uint16_t version) {
        std::vector<uint8_t> row = PicRow(0x0C00, 32, 0xFFFFFF);
        row[4] = static_cast<uint8_t>(code);
        row[5] = static_cast<uint8_t>(code >> 8);
        row[6] = 0;
        row[7] = static_cast<uint8_t>(version);
        row[8] = static_cast<uint8_t>(version >> 8);
        row[9] = 0;
        return row;
    };

    // An application image with its own product code there leaves the boot version alone.
    feeder.Send(pic, bootRow(12345, 0x08FC));
    feeder.Send(pic, {kSimFinish});
    EXPECT_TRUE(feeder.finished);
    EXPECT_EQ(pic.BootVersion(), 1500);

    // A bootloader image: installed by the finish command, not before.
    pic.Reset();
    feeder.Send(pic, bootRow(14900, 0x08FC));
    EXPECT_EQ(pic.BootVersion(), 1500);
    feeder.Send(pic, {kSimFinish});
    EXPECT_EQ(pic.BootVersion(), 0x08FC);
    EXPECT_EQ(feeder.Send(pic, {0x10})[8], 0xFC);

    for (uint16_t code : {14901, 14910, 16000, 16010}) {
        pic.Reset();
        feeder.Send(pic, bootRow(code, static_cast<uint16_t>(code - 10000)));
        feeder.Send(pic, {kSimFinish});
        EXPECT_EQ(pic.BootVersion(), code - 10000) << code;
    }

    // A session that writes nothing at 0x0C00 changes nothing, even with such a code in flash.
    pic.Reset();
    feeder.Send(pic, PicRow(0x1000, 32, 0));
    feeder.Send(pic, {kSimFinish});
    EXPECT_EQ(pic.BootVersion(), 16010 - 10000);
    EXPECT_EQ(feeder.counters.finishes, 7);
}

TEST(SimSamBootloaderTest, WritesProgramEepromAndFuseFrames) {
    const SimOptions options;
    Feeder feeder;
    CSimSamBootloader sam(Chip("S3F828B"), options);
    std::vector<uint8_t> row = {0x03, 0x80, 0x3F};
    for (int i = 0; i < 128; ++i)
        row.push_back(static_cast<uint8_t>(i));
    EXPECT_EQ(feeder.Send(sam, row), Bytes({kSimAck}));
    EXPECT_EQ(sam.Flash().Byte(0x3F80), 0x00);
    EXPECT_EQ(sam.Flash().Byte(0x3FFF), 0x7F);

    row[0] = 0x05;  // the same frame as an EEPROM row: 0x3F80 is the last one
    EXPECT_EQ(feeder.Send(sam, row), Bytes({kSimAck}));
    EXPECT_EQ(sam.Flash().Byte(0x13F81), 0x01);
    row[1] = 0x81;
    EXPECT_EQ(feeder.Send(sam, row), Bytes({kSimNack})) << "past the end of the EEPROM";

    row[0] = 0x03;  // the last program row
    row[1] = 0x80;
    row[2] = 0xFF;
    EXPECT_EQ(feeder.Send(sam, row), Bytes({kSimAck}));
    EXPECT_EQ(sam.Flash().Byte(0xFFFF), 0x7F);

    EXPECT_EQ(feeder.Send(sam, Bytes({0x07, 0xA1, 0xA2, 0xA3, 0xA4})), Bytes({kSimAck}));
    EXPECT_EQ(sam.Flash().Byte(0x20000), 0xA1);
    EXPECT_EQ(sam.Flash().Byte(0x20003), 0xA4);
    EXPECT_EQ(feeder.counters.rowFrames, 5);
    EXPECT_EQ(feeder.counters.rowsAcked, 4);

    EXPECT_TRUE(feeder.Send(sam, Bytes({0x02, 0x11})).empty()) << "no PIC commands on a SAM";
    EXPECT_EQ(feeder.Send(sam, {kSimIdentify}).size(), 8u);
    feeder.Send(sam, {kSimFinish});
    EXPECT_TRUE(feeder.finished);
}

TEST(SimSamBootloaderTest, VersionInformationIsHighByteFirst) {
    SimOptions options;
    options.productCode = 0x3A34;
    options.appVersion = 0x05DC;
    options.bootVersion = 0x0601;
    Feeder feeder;
    CSimSamBootloader sam(Chip("S3F84YB"), options);
    EXPECT_EQ(feeder.Send(sam, {0x10}),
              Bytes({0x3A, 0x34, 0, 0, 0x05, 0xDC, 0, 0, 0x06, 0x01, 0, 0}));
}

TEST(SimBootloaderBaseTest, AnUnsupportedChipOnlyIdentifiesItself) {
    Feeder feeder;
    CSimBootloader atmega(0x0002, 1);
    EXPECT_TRUE(feeder.Send(atmega, Bytes({0x02, 0, 0, 0, 0x03, 0x10, 0x11})).empty());
    EXPECT_EQ(feeder.Send(atmega, {kSimIdentify}), Bytes({0x02, 0x00, 0, 0, 0, 0x11, 0, 0}));
    EXPECT_EQ(feeder.counters.rowFrames, 0);
    std::string error;
    EXPECT_FALSE(atmega.LoadHexImage({{0, 0}}, &error));
}

}  // namespace
}  // namespace tamrix
