// Programming the image: row order, progress, the failure line, the finish byte.

#include <gtest/gtest.h>

#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::Data;
using test::FakeChannel;
using test::Linear;
using test::PicRig;
using test::WindowEvent;

// A bootloader that acknowledges every complete frame (an EEPROM header alone is not one), except
// frames for the row at `refusedAddress`, which it refuses.
void Acknowledge(FakeChannel& channel, int refusedAddress = -1) {
    channel.onWrite = [refusedAddress](FakeChannel& ch, const std::vector<uint8_t>& w) {
        if (w.size() == 4 && w[0] == kPicWriteEeprom)
            return;
        if (w.size() == 1 && w[0] == kFinishCommand)
            return;
        const bool refused = w.size() >= 4 && w[0] == kPicWriteProgram &&
                             w[1] + 256 * w[2] + 65536 * w[3] == refusedAddress;
        ch.Deliver({refused ? COMMAND_NACK : COMMAND_ACK}, 2);
    };
}

void PackAll(PicRig& rig) {
    for (const auto& row : rig.programmer.Rows())
        row->PackRow();
}

std::vector<std::pair<std::string, int>> ProgressReports(const PicRig& rig) {
    std::vector<std::pair<std::string, int>> reports;
    for (const auto& e : rig.window.events) {
        if (e.kind == WindowEvent::Progress)
            reports.emplace_back(e.text, e.value);
    }
    return reports;
}

// dsPIC30F rows 0-5 (device 0x000-0x17F, one word each, the last at 0x17F) and one EEPROM word.
std::string SixRowsAndEeprom() {
    std::string text;
    for (uint16_t row = 0; row < 5; ++row)
        text += Data(row * 0x80, {0x11, 0x22, 0x33, 0x00});
    text += Data(0x02FC, {0x44, 0x55, 0x66, 0x00});  // device 0x17E
    text += Data(0x02FE, {0x77, 0x00});              // device 0x17F: the 100 % mark
    text += Linear(0x00FF) + Data(0xE000, {0xAA, 0xBB, 0x00, 0x00});
    return text + test::kEndRecord;
}

TEST(PicProgramFlashTest, WritesLoadedRowsInOrderWithProgressOnEvenRows) {
    PicRig rig(1);
    ASSERT_EQ(rig.Load(SixRowsAndEeprom()), 1);
    ASSERT_EQ(rig.programmer.MaxAddress(), 0x17F);
    PackAll(rig);
    Acknowledge(rig.channel);
    EXPECT_TRUE(rig.programmer.ProgramFlash(0));

    std::vector<std::vector<uint8_t>> heads;
    for (const auto& w : rig.channel.writes) {
        heads.emplace_back(w.begin(), w.begin() + std::min<size_t>(w.size(), 4));
    }
    const std::vector<std::vector<uint8_t>> expected = {
        {0x03, 0x00, 0x00, 0x00}, {0x03, 0x40, 0x00, 0x00}, {0x03, 0x80, 0x00, 0x00},
        {0x03, 0xC0, 0x00, 0x00}, {0x03, 0x00, 0x01, 0x00}, {0x03, 0x40, 0x01, 0x00},
        {0x05, 0x00, 0xF0, 0x7F}, {0xAA, 0xBB, 0xFF, 0xFF}, {0x08}};
    EXPECT_EQ(heads, expected) << "no configuration frames, the finish byte last";
    EXPECT_EQ(rig.channel.writes[0].size(), 100u) << "without checksum";

    // Row base * 100 / 0x17F, reported for table indexes 0, 2 and 4 only.
    const std::vector<std::pair<std::string, int>> progress = {{"Flash Programing...", 0},
                                                               {"Flash Programing...", 33},
                                                               {"Flash Programing...", 66},
                                                               {"Programing Successfully...", 100}};
    EXPECT_EQ(ProgressReports(rig), progress);
    EXPECT_EQ(rig.programmer.Progress(), 100);
    const auto lines = rig.window.StatusLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[Message] : Start Firmware upgrade...\r\n");
    EXPECT_EQ(lines.back(), "[Message] : Successfully Done !!\r\n");
}

TEST(PicProgramFlashTest, ChecksumFramesWhenAsked) {
    PicRig rig(1);
    ASSERT_EQ(rig.Load(Data(0x0000, {0x11, 0x22, 0x33, 0x00}) + test::kEndRecord), 1);
    PackAll(rig);
    Acknowledge(rig.channel);
    EXPECT_TRUE(rig.programmer.ProgramFlash(1));
    ASSERT_EQ(rig.channel.writes.size(), 2u);
    ASSERT_EQ(rig.channel.writes[0].size(), 102u);
    unsigned sum = 0;
    for (size_t i = 0; i < 100; ++i)
        sum += rig.channel.writes[0][i];
    EXPECT_EQ(rig.channel.writes[0][100], sum & 0xFF);
    EXPECT_EQ(rig.channel.writes[0][101], (sum >> 8) & 0xFF);
}

TEST(PicProgramFlashTest, ARefusedRowStopsWithItsAddressAndNoFinishByte) {
    PicRig rig(1);
    ASSERT_EQ(rig.Load(SixRowsAndEeprom()), 1);
    PackAll(rig);
    Acknowledge(rig.channel, 0x80);
    EXPECT_FALSE(rig.programmer.ProgramFlash(0));
    EXPECT_EQ(rig.window.StatusLines().back(),
              "[Error] : Address 0x80 Flash Programing Fail!!\r\n");
    EXPECT_EQ(rig.channel.CountWrites(kPicWriteProgram), 2 + 5);
    EXPECT_EQ(rig.channel.CountWrites(kFinishCommand), 0);
    EXPECT_EQ(rig.channel.writes.back()[1], 0x80) << "nothing after the refused row";
    for (const auto& report : ProgressReports(rig))
        EXPECT_EQ(report.second, 0);
}

TEST(PicProgramFlashTest, NoProgramWordAboveZeroCountsRowZeroAsAll) {
    {
        PicRig rig(1);
        ASSERT_EQ(rig.Load(Data(0x0000, {0x11, 0x22}) + test::kEndRecord), 1);
        ASSERT_EQ(rig.programmer.MaxAddress(), 0);
        PackAll(rig);
        Acknowledge(rig.channel);
        EXPECT_TRUE(rig.programmer.ProgramFlash(0));
        const std::vector<std::pair<std::string, int>> progress = {
            {"Flash Programing...", 100}, {"Programing Successfully...", 100}};
        EXPECT_EQ(ProgressReports(rig), progress);
    }
    {
        // EEPROM data only; row 0 holds the reset vector read from the target.
        PicRig rig(2);
        ASSERT_EQ(rig.Load(Linear(0x00FF) + Data(0xE000, {0xAA, 0xBB}) + test::kEndRecord), 1);
        ASSERT_EQ(rig.programmer.MaxAddress(), 0);
        rig.channel.onWrite = [](FakeChannel& ch, const std::vector<uint8_t>& w) {
            if (w[0] == kPicReadFlash)
                ch.Deliver(std::vector<uint8_t>(1536, 0x00), 5);
        };
        ASSERT_EQ(rig.programmer.ReadTargetData(2), 1);
        Acknowledge(rig.channel);
        EXPECT_TRUE(rig.programmer.ProgramFlash(0));
        EXPECT_EQ(rig.channel.CountWrites(kPicWriteProgram), 1);
        EXPECT_EQ(ProgressReports(rig).front(),
                  (std::pair<std::string, int>{"Flash Programing...", 100}));
    }
}

}  // namespace
}  // namespace tamrix
