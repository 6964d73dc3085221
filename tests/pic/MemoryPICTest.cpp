// PIC image rows: slots, packing, the write frames byte for byte, retries and the logged trace.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "image/MemoryPIC.h"
#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::ScriptedRowTarget;

const std::vector<uint8_t> kAck = {COMMAND_ACK};
const std::vector<uint8_t> kNack = {COMMAND_NACK};

class MemoryPICTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    ScriptedRowTarget target;

    CMemoryPIC ProgramRow(int family, int index) {
        const int words = PicProgramRowWords(FamilyOf(family));
        return CMemoryPIC(clock, FamilyOf(family), RowKind::Program, index, words,
                          index * words * 2);
    }
    CMemoryPIC EepromRow(int index) {
        return CMemoryPIC(clock, Family::DsPic33F, RowKind::Eeprom, index, kPicAuxRowWords,
                          kPicEepromBase + index * kPicEepromRowSpan);
    }
    CMemoryPIC ConfigRow(int family, int index) {
        return CMemoryPIC(clock, FamilyOf(family), RowKind::Config, index, kPicAuxRowWords,
                          kPicConfigBase + index * kPicConfigRowSpan);
    }
    void Answer(size_t frameBytes, std::vector<std::vector<uint8_t>> answers) {
        target.frameBytes = frameBytes;
        target.answers = std::move(answers);
        target.frameTimes.clear();
        target.Attach(channel, clock);
    }
};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<uint8_t>(b));
    return v;
}

std::string ReadBack(FILE* file) {
    std::rewind(file);
    std::string text;
    int c = 0;
    while ((c = std::fgetc(file)) != EOF)
        text += static_cast<char>(c);
    return text;
}

TEST_F(MemoryPICTest, SlotsBoundsAndPackingOfEachRowKind) {
    CMemoryPIC program = ProgramRow(1, 1);  // device addresses 0x40..0x7F
    int value = -1;
    EXPECT_EQ(program.GetWord(0x40, value), 0) << "an empty row delivers nothing, not 0xFFFF";
    EXPECT_EQ(program.SetWord(0x3F, "1234"), 0);
    EXPECT_EQ(program.SetWord(0x80, "1234"), 0);
    EXPECT_EQ(program.isEmpty, 1);

    EXPECT_EQ(program.SetWord(0x40, "1234"), 1);
    EXPECT_EQ(program.SetWord(0x41, "5600"), 1);
    EXPECT_EQ(program.SetWord(0x7F, "ab\r\n"), 1) << "reads hex digits up to the first other";
    EXPECT_EQ(program.isEmpty, 0);
    ASSERT_EQ(program.GetWord(0x40, value), 1);
    EXPECT_EQ(value, 0x1234);
    ASSERT_EQ(program.GetWord(0x42, value), 1);
    EXPECT_EQ(value, 0xFFFF) << "untouched slots of a loaded row";
    ASSERT_EQ(program.GetWord(0x7F, value), 1);
    EXPECT_EQ(value, 0xAB);
    EXPECT_EQ(program.GetWord(0x80, value), 0);

    program.PackRow();
    ASSERT_EQ(program.packed.size(), 96u);
    EXPECT_EQ(std::vector<uint8_t>(program.packed.begin(), program.packed.begin() + 6),
              Bytes({0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(program.packed[95], 0x00) << "upper byte of the last instruction, high of 0x00AB";

    CMemoryPIC eeprom = EepromRow(0);
    EXPECT_EQ(eeprom.SetWord(kPicEepromBase, "AABB"), 1);
    EXPECT_EQ(eeprom.SetWord(kPicEepromBase + 1, "0000"), 1);
    EXPECT_EQ(eeprom.SetWord(kPicEepromBase + 31, "0000"), 1);
    EXPECT_EQ(eeprom.SetWord(kPicEepromBase + 32, "0000"), 0);
    eeprom.PackRow();
    ASSERT_EQ(eeprom.packed.size(), 32u);
    EXPECT_EQ(eeprom.packed[0], 0xAA);
    EXPECT_EQ(eeprom.packed[1], 0xBB);
    EXPECT_EQ(eeprom.packed[2], 0xFF) << "odd slots are not sent";

    CMemoryPIC config = ConfigRow(2, 3);
    EXPECT_EQ(config.SetWord(kPicConfigBase + 6, "EF01"), 1);
    EXPECT_EQ(config.SetWord(kPicConfigBase + 7, "0200"), 1);
    EXPECT_EQ(config.SetWord(kPicConfigBase + 8, "0000"), 0) << "a configuration row has 2 slots";
    config.PackRow();
    EXPECT_EQ(config.packed, Bytes({0xEF, 0x01, 0x02}));

    const std::vector<uint8_t> big(300, 0xFF);
    EXPECT_EQ(config.Checksum(big.data(), 300), 10964) << "76500, kept to 16 bits";
}

TEST_F(MemoryPICTest, ProgramFramesLeaveAsOneBlockWithOrWithoutChecksum) {
    // The 32-instruction row at 0x000100, untouched except for being loaded: 96 bytes 0xFF.
    CMemoryPIC row = ProgramRow(1, 4);
    ASSERT_EQ(row.baseAddress, 0x100);
    static_cast<void>(row.SetWord(0x100, "FFFF"));
    static_cast<void>(row.SetWord(0x101, "FFFF"));
    row.PackRow();

    Answer(102, {kAck});
    EXPECT_EQ(row.WriteRowChecked(&channel), 0);
    ASSERT_EQ(channel.writes.size(), 1u);
    std::vector<uint8_t> expected = {0x03, 0x00, 0x01, 0x00};
    expected.insert(expected.end(), 96, 0xFF);
    expected.push_back(0xA4);  // (3 + 1 + 96 * 255) mod 65536 = 0x5FA4, low byte first
    expected.push_back(0x5F);
    EXPECT_EQ(channel.writes[0], expected);
    EXPECT_EQ(channel.events.front(), "FRX");

    channel.writes.clear();
    Answer(100, {kAck});
    EXPECT_EQ(row.WriteRow(&channel), 0);
    ASSERT_EQ(channel.writes.size(), 1u);
    expected.resize(100);
    EXPECT_EQ(channel.writes[0], expected);

    // The largest frame: a 512-instruction row with checksum, in one write.
    CMemoryPIC large = ProgramRow(2, kPicProgramRows - 1);  // 0x17FC00
    static_cast<void>(large.SetWord(large.baseAddress, "0102"));
    large.PackRow();
    channel.writes.clear();
    Answer(1542, {kAck});
    EXPECT_EQ(large.WriteRowChecked(&channel), 0);
    ASSERT_EQ(channel.writes.size(), 1u);
    ASSERT_EQ(channel.writes[0].size(), 1542u);
    EXPECT_EQ(std::vector<uint8_t>(channel.writes[0].begin(), channel.writes[0].begin() + 7),
              Bytes({0x03, 0x00, 0xFC, 0x17, 0x01, 0x02, 0xFF}));
}

TEST_F(MemoryPICTest, EepromFramesAndRowsThatSendNothing) {
    CMemoryPIC eeprom = EepromRow(2);  // 0x7FF040
    static_cast<void>(eeprom.SetWord(0x7FF040, "AABB"));
    eeprom.PackRow();
    Answer(36, {kAck});
    EXPECT_EQ(eeprom.WriteRow(&channel), 0);
    ASSERT_EQ(channel.writes.size(), 2u);
    EXPECT_EQ(channel.writes[0], Bytes({0x05, 0x40, 0xF0, 0x7F}));
    ASSERT_EQ(channel.writes[1].size(), 32u);
    EXPECT_EQ(channel.writes[1][0], 0xAA);
    EXPECT_EQ(channel.writes[1][1], 0xBB);

    // Empty program and EEPROM rows: not even a flush.
    channel.events.clear();
    CMemoryPIC emptyProgram = ProgramRow(2, 1);
    CMemoryPIC emptyEeprom = EepromRow(0);
    EXPECT_EQ(emptyProgram.WriteRow(&channel), 0);
    EXPECT_EQ(emptyProgram.WriteRowChecked(&channel), 0);
    EXPECT_EQ(emptyEeprom.WriteRow(&channel), 0);
    EXPECT_TRUE(channel.events.empty());

    // Configuration rows, loaded or not: the plain and checked writes flush and send nothing.
    CMemoryPIC config = ConfigRow(2, 0);
    static_cast<void>(config.SetWord(kPicConfigBase, "EF00"));
    config.PackRow();
    EXPECT_EQ(config.WriteRow(&channel), 0);
    EXPECT_EQ(config.WriteRowChecked(&channel), 0);
    EXPECT_EQ(ConfigRow(2, 5).WriteRow(&channel), 0);
    EXPECT_EQ(channel.events, (std::vector<std::string>{"FRX", "FRX", "FRX"}));

    channel.flushRxFails = true;
    EXPECT_EQ(config.WriteRow(&channel), 1) << "a receive queue that cannot be flushed fails";
}

TEST_F(MemoryPICTest, RetriesUntilAcknowledgedAndGivesUpAfterFive) {
    CMemoryPIC row = ProgramRow(1, 0);
    static_cast<void>(row.SetWord(0, "1234"));
    row.PackRow();

    Answer(100, {kNack, kNack, kNack, kNack, kAck});
    EXPECT_EQ(row.WriteRow(&channel), 0);
    EXPECT_EQ(channel.writes.size(), 5u);
    for (const auto& w : channel.writes)
        EXPECT_EQ(w, channel.writes[0]);
    // Flush before the first attempt and after each NACK.
    EXPECT_EQ(channel.flushRxCount, 5);

    channel.writes.clear();
    Answer(100, {kNack, kNack, kNack, kNack, kNack, kAck});
    EXPECT_EQ(row.WriteRow(&channel), 1);
    EXPECT_EQ(channel.writes.size(), 5u) << "a sixth frame is never sent";
}

TEST_F(MemoryPICTest, OtherBytesAreIgnoredAndEachAttemptWaitsItsTime) {
    CMemoryPIC row = ProgramRow(1, 0);
    static_cast<void>(row.SetWord(0, "1234"));
    row.PackRow();
    const std::vector<uint8_t> noise = {0x55, 0x0A, 0xFF};
    Answer(100, {noise, noise, noise, noise, noise});
    const int64_t start = clock.NowMs();
    EXPECT_EQ(row.WriteRow(&channel), 1);
    ASSERT_EQ(target.frameTimes.size(), 5u);
    // The acknowledge wait, the time a late answer is still listened for, the pause.
    for (size_t i = 1; i < target.frameTimes.size(); ++i) {
        const int64_t gap = target.frameTimes[i] - target.frameTimes[i - 1];
        EXPECT_GE(gap, 500 + kLateAnswerMs + 5);
        EXPECT_LE(gap, 500 + kLateAnswerMs + 5 + 2);
    }
    EXPECT_GE(clock.NowMs() - start, 5 * (505 + kLateAnswerMs));

    // A flood of noise never stretches the wait, even when the host cannot read as fast as it
    // comes (here every read takes a millisecond).
    channel.writes.clear();
    Answer(100, {std::vector<uint8_t>(5000, 0x55)});
    channel.msPerRead = 1;
    const int64_t floodStart = clock.NowMs();
    EXPECT_EQ(row.WriteRow(&channel), 1);
    EXPECT_EQ(channel.writes.size(), 5u);
    EXPECT_LE(clock.NowMs() - floodStart, 5 * (505 + kLateAnswerMs + 3));
    channel.msPerRead = 0;

    // An acknowledge after the noise still counts.
    channel.writes.clear();
    Answer(100, {Bytes({0x55, 0x01})});
    EXPECT_EQ(row.WriteRow(&channel), 0);
    EXPECT_EQ(channel.writes.size(), 1u);

    // The flush after a failed attempt fails: give up at once.
    channel.writes.clear();
    Answer(100, {kNack});
    channel.onWrite = [inner = channel.onWrite](FakeChannel& ch, const std::vector<uint8_t>& w) {
        inner(ch, w);
        ch.flushRxFails = true;
    };
    EXPECT_EQ(row.WriteRow(&channel), 1);
    EXPECT_EQ(channel.writes.size(), 1u);
}

// Acknowledges carry no sequence number. An answer that comes after its frame's wait must never be
// taken for the answer to a later frame: a row the target refused would count as written.
TEST_F(MemoryPICTest, AnAnswerIsNeverTakenForALaterRowsFrame) {
    CMemoryPIC first = ProgramRow(1, 0);
    CMemoryPIC second = ProgramRow(1, 1);
    for (CMemoryPIC* row : {&first, &second}) {
        static_cast<void>(row->SetWord(row->baseAddress, "1234"));
        row->PackRow();
    }
    // The target answers each frame after the delay scripted for it, per row in order of
    // arrival; the second row is always refused.
    const auto script = [this](std::vector<int> firstRowDelays, int secondRowDelay) {
        channel.writes.clear();
        channel.onWrite = [=, n = size_t{0}](FakeChannel& ch,
                                             const std::vector<uint8_t>& w) mutable {
            if (w[1] == 0x00)
                ch.Deliver(kAck, firstRowDelays[std::min(n++, firstRowDelays.size() - 1)]);
            else
                ch.Deliver(kNack, secondRowDelay);
        };
    };

    // A slow row write (600 ms): its acknowledge is still taken for its own frame, the frame is
    // not sent again, and the refused second row fails.
    script({600}, 2);
    EXPECT_EQ(first.WriteRow(&channel), 0);
    EXPECT_EQ(channel.writes.size(), 1u) << "written once";
    EXPECT_EQ(second.WriteRow(&channel), 1);

    // Slower than every wait (1100 ms) on a new connection, which has not yet seen answers take
    // long: the frame is sent again, and when the first answer comes the second one is still due.
    // It is waited for and taken, not given to the next row.
    channel.Answers() = CAnswerLedger();
    script({1100, 200}, 300);
    EXPECT_EQ(first.WriteRow(&channel), 0);
    EXPECT_EQ(channel.writes.size(), 2u);
    EXPECT_EQ(second.WriteRow(&channel), 1);
    EXPECT_EQ(channel.writes.size(), 2u + 5u);
}

// A frame whose one-wire echo came back wrong (the channel's write failed) may have reached the
// target changed, and bytes of its echo could pass for the answer: that attempt's answer is not
// taken, and the frame is sent again.
TEST_F(MemoryPICTest, AFrameWhoseWriteFailedTakesNoAnswer) {
    CMemoryPIC row = ProgramRow(1, 0);
    static_cast<void>(row.SetWord(0, "1234"));
    row.PackRow();
    Answer(100, {kAck, kAck});
    channel.lateEchoForWritesStartingWith = kPicWriteProgram;
    channel.onWrite = [inner = channel.onWrite, n = 0](FakeChannel& ch,
                                                       const std::vector<uint8_t>& w) mutable {
        inner(ch, w);
        if (++n == 2)
            ch.lateEchoForWritesStartingWith = -1;  // the second frame's echo is right
    };
    EXPECT_EQ(row.WriteRow(&channel), 0);
    EXPECT_EQ(channel.writes.size(), 2u) << "the first frame's acknowledge was not taken";
}

TEST_F(MemoryPICTest, LoggedWriteTracesEveryAttempt) {
    std::unique_ptr<FILE, int (*)(FILE*)> log(std::tmpfile(), &std::fclose);
    ASSERT_NE(log, nullptr);

    CMemoryPIC eeprom = EepromRow(1);  // 0x7FF020
    static_cast<void>(eeprom.SetWord(0x7FF020, "AABB"));
    eeprom.PackRow();
    Answer(36, {kNack, kAck});
    EXPECT_EQ(eeprom.WriteRowLogged(&channel, log.get()), 0);
    const std::string data = "\naabbffffffffffffffffffffffffffff\nffffffffffffffffffffffffffffffff";
    EXPECT_EQ(ReadBack(log.get()), "EEProm Address:0x007ff020" + data +
                                       "Target ack : COMMAND_NACK\n\n"
                                       "Target ack : COMMAND_NACK"
                                       "EEProm Address:0x007ff020" +
                                       data + "Target ack : COMMAND_ACK\n\n");
    EXPECT_EQ(channel.writes.size(), 4u);

    // A program row goes out as header and data in the logged write; silence until giving up.
    log.reset(std::tmpfile());
    channel.writes.clear();
    CMemoryPIC program = ProgramRow(1, 1);
    static_cast<void>(program.SetWord(0x40, "1234"));
    static_cast<void>(program.SetWord(0x41, "5600"));
    program.PackRow();
    Answer(100, {});
    EXPECT_EQ(program.WriteRowLogged(&channel, log.get()), 1);
    ASSERT_EQ(channel.writes.size(), 10u);
    EXPECT_EQ(channel.writes[0], Bytes({0x03, 0x40, 0x00, 0x00}));
    EXPECT_EQ(channel.writes[1].size(), 96u);
    std::string block = "Program Address:0x00000040\n123456" + std::string(26, 'f');
    for (int line = 1; line < 6; ++line)
        block += "\n" + std::string(32, 'f');
    std::string expected;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0)
            expected += "Target ack : COMMAND_NACK";
        expected += block;
    }
    expected += "\n\n";
    EXPECT_EQ(ReadBack(log.get()), expected);
}

TEST_F(MemoryPICTest, LoggedConfigurationFrames) {
    std::unique_ptr<FILE, int (*)(FILE*)> log(std::tmpfile(), &std::fclose);
    ASSERT_NE(log, nullptr);
    Answer(1, {kAck, kAck, kAck, kAck});  // answer every write

    CMemoryPIC first = ConfigRow(2, 0);
    static_cast<void>(first.SetWord(kPicConfigBase, "EF01"));
    static_cast<void>(first.SetWord(kPicConfigBase + 1, "0200"));
    first.PackRow();
    EXPECT_EQ(first.WriteRowLogged(&channel, log.get()), 0);
    EXPECT_EQ(channel.writes.back(), Bytes({0x07, 0xFF, 0xEF, 0x01}));

    CMemoryPIC second = ConfigRow(2, 1);
    static_cast<void>(second.SetWord(kPicConfigBase + 2, "C300"));
    second.PackRow();
    EXPECT_EQ(second.WriteRowLogged(&channel, log.get()), 0);
    EXPECT_EQ(channel.writes.back(), Bytes({0xFF, 0xC3, 0x00}));

    // A row the file left empty still takes its place in the sequence, with the erased value.
    CMemoryPIC empty = ConfigRow(2, 2);
    empty.PackRow();
    EXPECT_EQ(empty.WriteRowLogged(&channel, log.get()), 0);
    EXPECT_EQ(channel.writes.back(), Bytes({0xFF, 0xFF, 0xFF}));

    EXPECT_EQ(ReadBack(log.get()),
              "FuseBits Row:00 Address:0x00f80000\n07ffef01Target ack : COMMAND_ACK\n\n"
              "FuseBits Row:01 Address:0x00f80002\nffc300Target ack : COMMAND_ACK\n\n"
              "FuseBits Row:02 Address:0x00f80004\nffffffTarget ack : COMMAND_ACK\n\n");

    // The eighth row exists for every family but a dsPIC30F never hears of it.
    channel.events.clear();
    EXPECT_EQ(ConfigRow(1, 7).WriteRowLogged(&channel, log.get()), 0);
    EXPECT_TRUE(channel.events.empty());
    EXPECT_EQ(ConfigRow(2, 7).WriteRowLogged(&channel, log.get()), 0);
    EXPECT_EQ(channel.writes.back(), Bytes({0xFF, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace tamrix
