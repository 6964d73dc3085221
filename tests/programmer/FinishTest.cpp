// The end of a programming run: the finish byte starts the new firmware, and only a finish byte
// that was really sent may be reported as success.

#include <gtest/gtest.h>

#include <memory>

#include "platform/Clock.h"
#include "programmer/ProgrammerFactory.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::RecordingWindow;

// The programmer of a SAM chip (S3F828B) or of a PIC chip (a dsPIC33F) with its empty image, as
// the download makes it.
class FinishTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        const DeviceTableEntry* entry =
            FindDeviceByName(GetParam() ? "S3F828B" : "dsPIC33FJ256GP710");
        ASSERT_NE(entry, nullptr);
        programmer = MakeProgrammerFor(*entry, &channel, clock, &window);
        ASSERT_NE(programmer, nullptr);
        programmer->BuildMemoryMap(entry->family);
    }

    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    std::unique_ptr<CProgramer> programmer;
};

TEST_P(FinishTest, AFinishByteThatCannotBeSentIsAFailure) {
    channel.failWritesStartingWith = 0x08;
    EXPECT_FALSE(programmer->ProgramFlash(0));
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Finish Command Send Fail!!\r\n");
    EXPECT_FALSE(window.HasStatus("[Message] : Successfully Done !!\r\n"));
    for (int value : window.ProgressValues())
        EXPECT_LT(value, 100);
}

// On the one-wire wiring Write also says 0 when the byte went out and only its echo came late:
// the target has the byte, and a good download must not be reported as failed.
TEST_P(FinishTest, AFinishByteThatWentOutButWhoseEchoCameLateIsASuccess) {
    channel.lateEchoForWritesStartingWith = 0x08;
    EXPECT_TRUE(programmer->ProgramFlash(0));
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(window.StatusLines().back(), "[Message] : Successfully Done !!\r\n");
    EXPECT_FALSE(window.HasStatus("[Error] : Finish Command Send Fail!!\r\n"));
}

TEST_P(FinishTest, AnEmptyImageStillSendsTheFinishByteAndSucceeds) {
    EXPECT_TRUE(programmer->ProgramFlash(0));
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(channel.writes[0], std::vector<uint8_t>{0x08});
    EXPECT_EQ(window.StatusLines().back(), "[Message] : Successfully Done !!\r\n");
    EXPECT_EQ(window.ProgressValues().back(), 100);
}

INSTANTIATE_TEST_SUITE_P(PicAndSam, FinishTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sam" : "Pic"; });

}  // namespace
}  // namespace tamrix
