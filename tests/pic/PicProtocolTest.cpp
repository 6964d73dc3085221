// The PIC bootloader conversation: flash reads (reset vector, version fallback), version requests.

#include <gtest/gtest.h>

#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::Data;
using test::FakeChannel;
using test::PicRig;

// A bootloader that answers the read command with `length` bytes starting with `head`, after
// `silentReads` reads it left unanswered.
void AnswerReads(FakeChannel& channel, size_t length, std::vector<uint8_t> head,
                 int silentReads = 0) {
    std::vector<uint8_t> reply(length, 0x5A);
    std::copy(head.begin(), head.end(), reply.begin());
    channel.onWrite = [reply, silentReads, n = 0](FakeChannel& ch,
                                                  const std::vector<uint8_t>& w) mutable {
        if (!w.empty() && w[0] == kPicReadFlash && n++ >= silentReads)
            ch.Deliver(reply, 40);
    };
}

// A bootloader that answers a one-byte request with 12 bytes.
void AnswerRequest(FakeChannel& channel, uint8_t command, std::vector<uint8_t> reply) {
    channel.onWrite = [command, reply](FakeChannel& ch, const std::vector<uint8_t>& w) {
        if (w.size() == 1 && w[0] == command)
            ch.Deliver(reply, 10);
    };
}

TEST(PicProtocolTest, ResetVectorReplacesTheFileWordsAndEveryRowIsPacked) {
    PicRig rig(3);
    ASSERT_EQ(rig.Load(Data(0x0000, {0xAA, 0xAA, 0xAA, 0x00, 0xBB, 0xBB, 0xBB, 0x00}) +
                       Data(0x0800, {0x12, 0x34, 0x56, 0x00}) + test::kEndRecord),
              1);
    AnswerReads(rig.channel, 1536, {0x04, 0x00, 0x02, 0x00, 0x00, 0x00});
    EXPECT_EQ(rig.programmer.ReadTargetData(3), 1);

    // Family 3 reads 512 instructions from address 0.
    ASSERT_EQ(rig.channel.writes.size(), 1u);
    EXPECT_EQ(rig.channel.writes[0], (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(rig.channel.events[0], "FRX");
    EXPECT_EQ(rig.channel.events[1], "FTX");
    EXPECT_EQ(rig.channel.Pending(), 0u) << "exactly the block is read";

    EXPECT_EQ(rig.programmer.GetImageWord(0), 0x0200);
    EXPECT_EQ(rig.programmer.GetImageWord(1), 0x0400);
    EXPECT_EQ(rig.programmer.GetImageWord(2), 0x0000);
    EXPECT_EQ(rig.programmer.GetImageWord(3), 0x0000);
    const auto& row0 = rig.Row(0).packed;
    EXPECT_EQ(std::vector<uint8_t>(row0.begin(), row0.begin() + 9),
              (std::vector<uint8_t>{0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
    // Row 1 (device 0x400, byte 0x800) was packed too.
    EXPECT_EQ(rig.Row(1).packed[0], 0x12);
    EXPECT_EQ(rig.Row(1).packed[2], 0x56);
    EXPECT_EQ(rig.window.StatusLines().back(), "[Message] : Reading Target Data..\r\n");
}

TEST(PicProtocolTest, SmallBlockForDsPic30FAndForTheSmallRowRead) {
    for (int call = 0; call < 2; ++call) {
        PicRig rig(1);
        AnswerReads(rig.channel, 96, {0x00, 0x12, 0x34, 0x00, 0x00, 0x00});
        const int result =
            call == 0 ? rig.programmer.ReadTargetData(1) : rig.programmer.ReadTargetDataSmallRow();
        EXPECT_EQ(result, 1);
        EXPECT_EQ(rig.channel.writes[0], (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00}));
        EXPECT_EQ(rig.channel.Pending(), 0u);
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0x3412);
        EXPECT_EQ(rig.Row(0).isEmpty, 0) << "row 0 is always programmed";
    }
}

TEST(PicProtocolTest, FlashReadRetriesAndTimesOut) {
    {
        // Two silent attempts, then an answer: success after three commands.
        PicRig rig(1);
        AnswerReads(rig.channel, 96, {0x00, 0x00, 0x00}, 2);
        EXPECT_EQ(rig.programmer.ReadTargetData(1), 1);
        EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 3);
        EXPECT_FALSE(rig.window.HasStatus("[Error] : Flash Reading TimeOut!!\r\n"));
    }
    {
        PicRig rig(2);
        ASSERT_EQ(rig.Load(Data(0x0000, {0xAA, 0xBB, 0xCC, 0x00}) + test::kEndRecord), 1);
        rig.Row(0).PackRow();
        const auto packedBefore = rig.Row(0).packed;
        rig.channel.Deliver({1, 2, 3}, 200);  // too short to count as a reply
        EXPECT_EQ(rig.programmer.ReadTargetData(2), 0);
        EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 5);
        EXPECT_EQ(rig.window.StatusLines().back(), "[Error] : Flash Reading TimeOut!!\r\n");
        // 100 ms settling, then five waits of just over a second, each followed by 50 ms of a
        // quiet line and a 5 ms pause.
        EXPECT_GE(rig.clock.NowMs(), 100 + 5 * 1055);
        EXPECT_LE(rig.clock.NowMs(), 100 + 5 * 1057);
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0xAABB) << "the image is unchanged";
        EXPECT_EQ(rig.Row(0).packed, packedBefore);
    }
    {
        // A receive queue that cannot be flushed ends the read at once, without the line.
        PicRig rig(2);
        rig.channel.onWrite = [](FakeChannel& ch, const std::vector<uint8_t>&) {
            ch.flushRxFails = true;
        };
        EXPECT_EQ(rig.programmer.ReadTargetData(2), 0);
        EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 1);
        EXPECT_FALSE(rig.window.HasStatus("[Error] : Flash Reading TimeOut!!\r\n"));
    }
}

// A reply that is late must not become the start of the next attempt's reply: the target's reset
// vector would be programmed with bytes of the wrong reply.
TEST(PicProtocolTest, TheRestOfALateReplyIsNotTakenForTheNextOne) {
    PicRig rig(1);
    std::vector<uint8_t> reply(96, 0x5A);
    reply[0] = 0x00;
    reply[1] = 0x12;
    reply[2] = 0x34;
    rig.channel.onWrite = [&reply, n = 0](FakeChannel& ch, const std::vector<uint8_t>&) mutable {
        if (n++ == 0) {
            // Half the first reply comes in time, the other half only after the time-out.
            ch.Deliver(std::vector<uint8_t>(48, 0xEE), 990);
            ch.Deliver(std::vector<uint8_t>(48, 0xEE), 1030);
        } else {
            ch.Deliver(reply, 40);
        }
    };
    EXPECT_EQ(rig.programmer.ReadTargetData(1), 1);
    EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 2);
    EXPECT_EQ(rig.programmer.GetImageWord(0), 0x3412);
}

// At slow rates a whole block takes longer on the wire than the second a reply may take: 1536
// bytes need 1.6 s at 9600 baud. The limit then covers the wire time. A dsPIC30F answers a read
// with 32 instructions, also the read of the version fallback.
TEST(PicProtocolTest, SlowRatesAndSmallBlocksStillRead) {
    {
        PicRig rig(2);
        rig.channel.baudRate = 9600;
        // The reply is complete once its wire time has passed.
        std::vector<uint8_t> reply(1536, 0x5A);
        reply[1] = 0x12;
        reply[2] = 0x34;
        rig.channel.onWrite = [reply](FakeChannel& ch, const std::vector<uint8_t>&) {
            ch.Deliver(reply, 1600);
        };
        EXPECT_EQ(rig.programmer.ReadTargetData(2), 1);
        EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 1);
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0x3412);
    }
    {
        PicRig rig;
        rig.programmer.SetTargetFamily(Family::DsPic30F);
        AnswerReads(rig.channel, 96, {0x00, 0x30, 0x39, 0x00, 0x04, 0x4C});
        VersionInfo info;
        int flag = -1;
        EXPECT_EQ(rig.programmer.ReadVersionFromFlash(info, flag), 1);
        EXPECT_EQ(info.productCode, 12345);
        EXPECT_EQ(info.appVersion, 1100);
        EXPECT_EQ(rig.channel.CountWrites(kPicReadFlash), 1);
    }
}

TEST(PicProtocolTest, VersionFromFlash) {
    PicRig rig;
    // 0x0C00: U M L = 00 61 01; 0x0C02: U M L = 00 04 D2 (1234).
    AnswerReads(rig.channel, 1536, {0x00, 0x61, 0x01, 0x00, 0x04, 0xD2});
    VersionInfo info;
    int flag = -1;
    EXPECT_EQ(rig.programmer.ReadVersionFromFlash(info, flag), 1);
    EXPECT_EQ(rig.channel.writes[0], (std::vector<uint8_t>{0x02, 0x00, 0x0C, 0x00}));
    EXPECT_EQ(info.productCode, 0x6101);
    EXPECT_EQ(info.appVersion, 1234);
    EXPECT_EQ(info.bootVersion, 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(rig.window.StatusLines(),
              (std::vector<std::string>{"[Message] : Reading Flash Data..\r\n",
                                        "[Message] : Target Version Read From Flash (P Code:24833, "
                                        "App Ver:1.23, Boot Ver:0.00)\r\n"}));

    PicRig upper;
    AnswerReads(upper.channel, 1536, {0x00, 0x61, 0x01, 0x02, 0x04, 0xD2});
    EXPECT_EQ(upper.programmer.ReadVersionFromFlash(info, flag), 1);
    EXPECT_EQ(flag, 0);
}

TEST(PicProtocolTest, TargetVersionTextsAndFlag) {
    const struct {
        uint8_t r1;
        uint8_t r6;
        const char* appText;
        int flag;
        const char* line;
    } cases[] = {
        {0x61, 0x00, "2.30", 1,
         "[Message] : Target Version Info (P Code:24833, App Ver:2.30, Boot Ver:1.2)\r\n"},
        {0x12, 0x00, "0.2", 1,
         "[Message] : Target Version Info (P Code:4609, App Ver:0.2, Boot Ver:1.2)\r\n"},
        {0x12, 0x01, "0.2", 0,
         "[Message] : Target Version Info (P Code:4609, App Ver:0.2, Boot Ver:1.2)\r\n"},
    };
    for (const auto& c : cases) {
        PicRig rig;
        AnswerRequest(rig.channel, kPicReadVersion,
                      {0x01, c.r1, 0x00, 0x00, 0xE6, 0x00, c.r6, 0x00, 0xB0, 0x04, 0x00, 0x00});
        VersionInfo info;
        int flag = -1;
        EXPECT_EQ(rig.programmer.ReadTargetVersion(info, flag), 1);
        EXPECT_EQ(info.productCode, 0x0001 + 256 * c.r1);
        EXPECT_EQ(info.appVersion, 230);
        EXPECT_EQ(info.bootVersion, 1200);
        EXPECT_EQ(info.appVersionText, c.appText);
        EXPECT_EQ(info.bootVersionText, "1.2");
        EXPECT_EQ(flag, c.flag);
        EXPECT_EQ(rig.window.StatusLines(), std::vector<std::string>{c.line});
        // Flush pairs open and close the exchange.
        EXPECT_EQ(rig.channel.events,
                  (std::vector<std::string>{"FTX", "FRX", "W:10", "FTX", "FRX"}));
    }
}

TEST(PicProtocolTest, VersionAddresses) {
    PicRig rig;
    AnswerRequest(rig.channel, kPicReadVersionAddresses,
                  {0x00, 0x0C, 0x00, 0x00, 0x02, 0x0C, 0x00, 0x00, 0xFE, 0x0B, 0x01, 0x00});
    int addresses[3] = {0, 0, 0};
    EXPECT_EQ(rig.programmer.ReadVersionAddresses(addresses), 1);
    EXPECT_EQ(addresses[0], 0x0C00);
    EXPECT_EQ(addresses[1], 0x0C02);
    EXPECT_EQ(addresses[2], 0x010BFE);
    EXPECT_TRUE(rig.window.StatusLines().empty());
}

TEST(PicProtocolTest, UnansweredRequestsFailQuietlyAfterFiveAttempts) {
    PicRig rig;
    VersionInfo info;
    info.productCode = 77;
    int flag = -1;
    EXPECT_EQ(rig.programmer.ReadTargetVersion(info, flag), 0);
    EXPECT_EQ(rig.channel.CountWrites(kPicReadVersion), 5);
    EXPECT_EQ(rig.clock.NowMs(), 100 + 5 * (50 + 100)) << "paced by its own pauses";
    EXPECT_EQ(info.productCode, 77);
    EXPECT_EQ(flag, -1);

    int addresses[3] = {1, 2, 3};
    EXPECT_EQ(rig.programmer.ReadVersionAddresses(addresses), 0);
    EXPECT_EQ(rig.channel.CountWrites(kPicReadVersionAddresses), 5);
    EXPECT_EQ(addresses[0], 1);
    EXPECT_TRUE(rig.window.StatusLines().empty());
}

}  // namespace
}  // namespace tamrix
