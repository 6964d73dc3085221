// The fault switches, applied to row frames by the bootloader interpreter.

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/PicBootloader.h"

namespace tamrix {
namespace {

class SimFaultTest : public ::testing::Test {
  protected:
    SimOptions options;
    CSimFaultPolicy faults;
    SimCounters counters;
    CSimPicBootloader pic{*FindDeviceByName("dsPIC30F2010"), options};

    // Sends program row `n` (address 0x40 x n, every instruction = n) and returns the actions.
    SimActions Row(uint32_t n) {
        std::vector<uint8_t> frame = {0x03, static_cast<uint8_t>(0x40 * n),
                                      static_cast<uint8_t>((0x40 * n) >> 8), 0};
        for (int i = 0; i < 32; ++i) {
            frame.push_back(static_cast<uint8_t>(n));
            frame.push_back(0);
            frame.push_back(0);
        }
        SimActions out;
        SimFrameContext context{faults, counters};
        for (uint8_t byte : frame) {
            SimActions step;
            pic.Receive(byte, context, step);
            if (!step.reply.empty() || step.hangUp)
                out = step;
        }
        return out;
    }
    bool Written(uint32_t n) { return pic.Flash().Instruction(0x40 * n) == n; }
    SimActions Command(uint8_t command) {
        SimActions out;
        SimFrameContext context{faults, counters};
        pic.Receive(command, context, out);
        return out;
    }
};

TEST_F(SimFaultTest, NackCountRefusesTheNextRowsWithoutWritingThem) {
    SimFaults f;
    f.nackRows = 2;
    faults.Set(f);
    EXPECT_EQ(Row(1).reply, std::vector<uint8_t>{kSimNack});
    EXPECT_EQ(Row(2).reply, std::vector<uint8_t>{kSimNack});
    EXPECT_EQ(Row(3).reply, std::vector<uint8_t>{kSimAck});
    EXPECT_FALSE(Written(1));
    EXPECT_FALSE(Written(2));
    EXPECT_TRUE(Written(3));
    EXPECT_EQ(counters.rowsNacked, 2);
    EXPECT_EQ(faults.Current().nackRows, 0);
}

TEST_F(SimFaultTest, NackShareIsRandomButRepeatableFromItsSeed) {
    SimFaults f;
    f.nackShare = 0.25;
    f.seed = 7;
    auto run = [&] {
        faults.Set(f);
        std::vector<bool> nacked;
        for (int i = 0; i < 400; ++i)
            nacked.push_back(faults.NextRow() == SimRowVerdict::Nack);
        return nacked;
    };
    const std::vector<bool> first = run();
    EXPECT_EQ(run(), first) << "the same seed gives the same run";
    const auto count = std::count(first.begin(), first.end(), true);
    EXPECT_GT(count, 60);
    EXPECT_LT(count, 140);
    f.seed = 8;
    EXPECT_NE(run(), first);
}

TEST_F(SimFaultTest, DroppedAndGarbageAcknowledgesStillWriteTheRow) {
    SimFaults f;
    f.dropAcks = 1;
    f.garbageAcks = 1;
    faults.Set(f);
    const SimActions dropped = Row(1);
    EXPECT_TRUE(dropped.reply.empty());
    EXPECT_TRUE(Written(1));
    EXPECT_EQ(Row(2).reply, std::vector<uint8_t>{kSimGarbageByte});
    EXPECT_TRUE(Written(2));
    EXPECT_EQ(Row(3).reply, std::vector<uint8_t>{kSimAck});
    EXPECT_EQ(counters.rowsWritten, 3);
    EXPECT_EQ(counters.rowsAcked, 1);

    f = SimFaults();
    f.garbageAcks = -1;  // every row from now on
    faults.Set(f);
    for (uint32_t n = 4; n < 10; ++n)
        EXPECT_EQ(Row(n).reply, std::vector<uint8_t>{kSimGarbageByte});
}

TEST_F(SimFaultTest, SilentAfterRowsStopsEveryAnswer) {
    SimFaults f;
    f.silentAfterRows = 1;
    faults.Set(f);
    EXPECT_EQ(Row(1).reply, std::vector<uint8_t>{kSimAck});
    EXPECT_TRUE(Row(2).reply.empty());
    EXPECT_FALSE(Written(2));
    EXPECT_TRUE(faults.Silent());
    EXPECT_EQ(counters.rowFrames, 2) << "frames are still taken in, so the stream stays in step";
}

TEST_F(SimFaultTest, HangUpComesWithTheRowAfterTheLastGoodOne) {
    SimFaults f;
    f.hangUpAfterRows = 2;
    faults.Set(f);
    EXPECT_FALSE(Row(1).hangUp);
    EXPECT_FALSE(Row(2).hangUp);
    const SimActions third = Row(3);
    EXPECT_TRUE(third.hangUp);
    EXPECT_FALSE(Written(3));

    f.hangUpAfterRows = 0;
    faults.Set(f);
    EXPECT_TRUE(Row(4).hangUp);
}

TEST_F(SimFaultTest, RowDelayAppliesToTheAnswerOfEveryRow) {
    SimFaults f;
    f.rowDelayMs = 40;
    f.nackRows = 1;
    faults.Set(f);
    EXPECT_EQ(Row(1).replyDelayMs, 40);
    EXPECT_EQ(Row(2).replyDelayMs, 40);
    EXPECT_EQ(Command(kSimIdentify).replyDelayMs, 0) << "only row writes are slow";
}

// The random kinds: a lost or garbled answer still writes the row, noise surrounds an answer and
// never looks like one, a slow write stays within its limit; each kind keeps its own sequence, so
// switching on another kind does not move where it strikes.
TEST_F(SimFaultTest, RandomKindsKeepTheirOwnSequences) {
    SimFaults f;
    f.seed = 3;
    f.dropAckShare = 0.2;
    f.garbageAckShare = 0.2;
    f.noiseShare = 0.3;
    f.slowRowShare = 0.3;
    f.slowRowMaxMs = 50;
    const auto fates = [&](const SimFaults& switches) {
        faults.Set(switches);
        std::vector<SimRowFate> list;
        for (int i = 0; i < 300; ++i)
            list.push_back(faults.NextRowFate());
        return list;
    };
    const std::vector<SimRowFate> all = fates(f);
    int dropped = 0, garbled = 0, noisy = 0, slow = 0;
    for (const SimRowFate& fate : all) {
        dropped += fate.verdict == SimRowVerdict::DropAck;
        garbled += fate.verdict == SimRowVerdict::Garbage;
        noisy += !fate.noiseBefore.empty() || !fate.noiseAfter.empty();
        slow += fate.extraDelayMs > 0;
        EXPECT_LE(fate.noiseBefore.size() + fate.noiseAfter.size(), 3u);
        for (const auto* noise : {&fate.noiseBefore, &fate.noiseAfter}) {
            for (uint8_t byte : *noise) {
                EXPECT_NE(byte, kSimAck);
                EXPECT_NE(byte, kSimNack);
            }
        }
        EXPECT_LE(fate.extraDelayMs, 50);
    }
    EXPECT_GT(dropped, 30);
    EXPECT_GT(garbled, 15);
    EXPECT_GT(noisy, 50);
    EXPECT_GT(slow, 50);

    SimFaults noiseAlone;
    noiseAlone.seed = 3;
    noiseAlone.noiseShare = 0.3;
    noiseAlone.nackShare = 0.5;
    const std::vector<SimRowFate> alone = fates(noiseAlone);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(alone[i].noiseBefore, all[i].noiseBefore) << i;
        EXPECT_EQ(alone[i].noiseAfter, all[i].noiseAfter) << i;
    }

    // Through the interpreter: a dropped answer still writes the row, noise comes with the
    // answer.
    SimFaults every;
    every.dropAckShare = 1.0;
    every.noiseShare = 1.0;
    faults.Set(every);
    const SimActions out = Row(1);
    EXPECT_TRUE(Written(1));
    EXPECT_FALSE(out.reply.empty());
    EXPECT_EQ(std::count(out.reply.begin(), out.reply.end(), kSimAck), 0);
    EXPECT_EQ(counters.strayBytesSent, static_cast<int>(out.reply.size()));
}

// One echo of a row frame is lost (never one of another command), and the product can vanish
// at a chosen byte of a chosen row, which it then does not write.
TEST_F(SimFaultTest, EchoLossAndHangUpStrikeInsideRowFrames) {
    SimFaults f;
    f.echoLossShare = 1.0;
    faults.Set(f);
    SimFrameContext context{faults, counters};
    for (uint32_t n = 1; n <= 3; ++n) {
        std::vector<uint8_t> frame = {0x03, static_cast<uint8_t>(0x40 * n), 0, 0};
        frame.resize(4 + 96, static_cast<uint8_t>(n));
        int lost = 0;
        for (uint8_t byte : frame) {
            SimActions step;
            pic.Receive(byte, context, step);
            lost += step.echoLost;
        }
        EXPECT_EQ(lost, 1) << "row " << n;
    }
    SimActions identify;
    pic.Receive(kSimIdentify, context, identify);
    EXPECT_FALSE(identify.echoLost);
    EXPECT_EQ(counters.echoesLost, 3);

    f = SimFaults();
    f.hangUpInRow = 1;
    f.hangUpAtByte = 50;
    faults.Set(f);
    counters = SimCounters();
    EXPECT_FALSE(Row(1).hangUp);
    std::vector<uint8_t> frame = {0x03, 0x80, 0, 0};
    frame.resize(4 + 96, 2);
    size_t hungUpAt = 0;
    for (size_t i = 0; i < frame.size() && hungUpAt == 0; ++i) {
        SimActions step;
        pic.Receive(frame[i], context, step);
        if (step.hangUp)
            hungUpAt = i;
    }
    EXPECT_EQ(hungUpAt, 50u);
    EXPECT_FALSE(Written(2));
}

TEST_F(SimFaultTest, VersionRequestsCanGoUnanswered) {
    SimFaults f;
    f.noVersionInfo = true;
    faults.Set(f);
    EXPECT_TRUE(Command(0x10).reply.empty());
    EXPECT_EQ(Command(0x11).reply.size(), 12u);
    f.noVersionInfo = false;
    f.noVersionAddresses = true;
    faults.Set(f);
    EXPECT_EQ(Command(0x10).reply.size(), 12u);
    EXPECT_TRUE(Command(0x11).reply.empty());
    EXPECT_EQ(counters.versionRequests, 2);
    EXPECT_EQ(counters.addressRequests, 2);
}

}  // namespace
}  // namespace tamrix
