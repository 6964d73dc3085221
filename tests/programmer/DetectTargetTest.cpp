// The target handshake in virtual time against a scripted channel.

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "programmer/Programmer.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/StubProgramer.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::RecordingWindow;
using test::WindowEvent;

// The handshake lives in the base class; a programmer whose family operations do nothing is
// enough to drive it.
using HandshakeOnly = test::StubProgramer;

std::vector<uint8_t> IdReply(uint16_t id, uint8_t byte5) {
    return {static_cast<uint8_t>(id & 0xFF),
            static_cast<uint8_t>(id >> 8),
            0x11,
            0x22,
            0x33,
            byte5,
            0x44,
            0x55};
}

class DetectTargetTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    HandshakeOnly programmer{&channel, clock, &window};
    DeviceTableEntry found{"stale", 1, 1, 1};

    // A bootloader that answers 0x09 with an identification.
    void AnswerIdentify(std::vector<uint8_t> reply, int answersBeforeReply = 0) {
        channel.onWrite = [reply, answersBeforeReply, n = 0](
                              FakeChannel& ch, const std::vector<uint8_t>& f) mutable {
            if (f.size() == 1 && f[0] == 0x09 && n++ >= answersBeforeReply)
                ch.Deliver(reply, 10);
        };
    }
};

TEST_F(DetectTargetTest, IdentifiesADsPic30FAndReportsEveryStep) {
    channel.Deliver({0x0A}, 1200);
    AnswerIdentify(IdReply(0x0040, 0x1F));  // low nibble of byte 5 is ignored
    ASSERT_TRUE(programmer.DetectTarget(found));
    EXPECT_STREQ(found.name, "dsPIC30F2010");
    EXPECT_EQ(found.family, 1);

    const std::vector<std::string> expected = {
        "[Message] : Waiting for Hardware Reset..\r\n",
        "[Message] : Start Command Checked. Start Command Send. \r\n",
        "[Message] : Found target device...\r\n",
        "[Message] : Received Device Info (ID:0x0040, PI:0x01)\r\n",
        "[Message] : Found MicroProcessor (ID:0x0040, PI:0x01)\r\n",
    };
    EXPECT_EQ(window.StatusLines(), expected);
    EXPECT_TRUE(window.MessageBoxes().empty());

    // Exactly one 0x0A goes back before the first 0x09, then the flush pair.
    ASSERT_GE(channel.events.size(), 4u);
    EXPECT_EQ(channel.events[0], "W:0a");
    EXPECT_EQ(channel.events[1], "FRX");
    EXPECT_EQ(channel.events[2], "FTX");
    EXPECT_EQ(channel.events[3], "W:09");
    EXPECT_EQ(channel.CountWrites(0x0A), 1);

    // While waiting, progress climbed under the waiting label: 1.2 s is value 12.
    const auto values = window.ProgressValues();
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values.back(), 12);  // the poll at 1200 ms reports before it finds the 0x0A
    for (const auto& e : window.events) {
        if (e.kind == WindowEvent::Progress) {
            EXPECT_EQ(e.text, "Waiting for Hardware...");
        }
    }
}

TEST_F(DetectTargetTest, TenSecondsOfSilenceTimesOutWithProgressUpTo99AndABox) {
    ASSERT_FALSE(programmer.DetectTarget(found));
    EXPECT_EQ(found.name, nullptr);

    const auto values = window.ProgressValues();
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values.back(), 99);
    for (size_t i = 1; i < values.size(); ++i)
        EXPECT_GE(values[i], values[i - 1]);
    EXPECT_GE(clock.NowMs(), 10000);
    EXPECT_LT(clock.NowMs(), 10010);

    EXPECT_EQ(window.StatusLines().back(), "[Error] : Found not target device !!\r\n");
    const auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Found not target device !!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
    EXPECT_TRUE(channel.writes.empty());
}

TEST_F(DetectTargetTest, ForeignBytesAreFlushedAndTheStartSignalStillCounts) {
    channel.Deliver({0x55, 0x66, 0x77}, 100);
    channel.Deliver({0x0A}, 400);
    AnswerIdentify(IdReply(0x00C1, 0x30));
    ASSERT_TRUE(programmer.DetectTarget(found));
    EXPECT_STREQ(found.name, "dsPIC33FJ64GP206");
    EXPECT_GE(channel.flushRxCount, 2);  // one for the noise, one after the answer
    EXPECT_EQ(channel.events.front(), "FRX");
}

TEST_F(DetectTargetTest, AStreamOfNoiseStillTimesOutAfterTenSeconds) {
    for (int t = 0; t < 10500; t += 50)
        channel.Deliver({0xFE}, 50);
    ASSERT_FALSE(programmer.DetectTarget(found));
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Found not target device !!\r\n");
    EXPECT_LT(clock.NowMs(), 10010);
}

TEST_F(DetectTargetTest, FailingReceiveFlushEndsWithoutABox) {
    channel.Deliver({0x42}, 20);
    channel.flushRxFails = true;
    ASSERT_FALSE(programmer.DetectTarget(found));
    EXPECT_EQ(window.StatusLines().back(), "[Error] : COM Port not Acknowledge!!\r\n");
    EXPECT_TRUE(window.MessageBoxes().empty());
}

TEST_F(DetectTargetTest, FiveIdentificationFailuresEndWithTheIdBox) {
    channel.Deliver({0x0A}, 10);
    // Only 7 of the 8 bytes ever arrive.
    channel.onWrite = [first = true](FakeChannel& ch, const std::vector<uint8_t>& f) mutable {
        if (f[0] == 0x09 && first) {
            ch.Deliver({1, 2, 3, 4, 5, 6, 7}, 5);
            first = false;
        }
    };
    ASSERT_FALSE(programmer.DetectTarget(found));
    EXPECT_EQ(found.name, nullptr);
    EXPECT_EQ(channel.CountWrites(0x09), 5);
    EXPECT_EQ(window.CountStatus("[Message] : Device ID Receive Fail. Retry ...\r\n"), 5);
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Found not target device ID!!\r\n");
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].text, "Found not target device ID!!");
    EXPECT_EQ(channel.BytesAvailable(), 7);  // the partial reply is left alone
}

TEST_F(DetectTargetTest, AReplyOnTheFifthAttemptIsAccepted) {
    channel.Deliver({0x0A}, 10);
    AnswerIdentify(IdReply(0x0001, 0x30), 4);
    ASSERT_TRUE(programmer.DetectTarget(found));
    EXPECT_STREQ(found.name, "S3F84YB");
    EXPECT_EQ(channel.CountWrites(0x09), 5);
    EXPECT_EQ(window.CountStatus("[Message] : Device ID Receive Fail. Retry ...\r\n"), 4);
}

TEST_F(DetectTargetTest, AnUnknownIdentifierPiPairIsNotSupported) {
    channel.Deliver({0x0A}, 10);
    AnswerIdentify(IdReply(0x0040, 0x30));  // dsPIC30F2010 exists only with PI 1
    ASSERT_FALSE(programmer.DetectTarget(found));
    EXPECT_EQ(found.name, nullptr);
    const auto lines = window.StatusLines();
    EXPECT_EQ(lines[lines.size() - 2], "[Message] : Received Device Info (ID:0x0040, PI:0x03)\r\n");
    EXPECT_EQ(lines.back(), "[Error] : Device ID not Found!!\r\n");
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].text, "Device ID not Found!!");
}

TEST_F(DetectTargetTest, BytesBeyondTheEightStayQueued) {
    channel.Deliver({0x0A}, 10);
    std::vector<uint8_t> reply = IdReply(0x0001, 0x10);
    reply.push_back(0x99);
    AnswerIdentify(reply);
    ASSERT_TRUE(programmer.DetectTarget(found));
    EXPECT_STREQ(found.name, "S3F828B");
    EXPECT_EQ(channel.BytesAvailable(), 1);
}

TEST_F(DetectTargetTest, WithoutAWindowNothingIsReported) {
    HandshakeOnly silent(&channel, clock, nullptr);
    channel.Deliver({0x0A}, 10);
    AnswerIdentify(IdReply(0x0002, 0x10));
    ASSERT_TRUE(silent.DetectTarget(found));
    EXPECT_STREQ(found.name, "ATmega128");
    EXPECT_TRUE(window.events.empty());
}

TEST(ProgramerConstruction, NullChannelIsAnnouncedOnce) {
    CVirtualClock clock;
    RecordingWindow window;
    HandshakeOnly programmer(nullptr, clock, &window);
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].text, "NULL pointer provided for communication channel!");
    DeviceTableEntry found{};
    EXPECT_FALSE(programmer.DetectTarget(found));
}

}  // namespace
}  // namespace tamrix
