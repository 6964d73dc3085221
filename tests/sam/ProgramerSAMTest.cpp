// Programming a SAM target and reading its version, against a scripted bootloader in virtual
// time.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "programmer/ProgramerSAM.h"
#include "tests/sam/SamTarget.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::HexText;
using test::RecordingWindow;
using test::SamFrame;
using test::SamTarget;
using test::WindowEvent;

using Bytes = std::vector<uint8_t>;

class ProgramerSAMTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    CProgramerSAM programmer{&channel, clock, &window};
    SamTarget target;

    void SetUp() override {
        target.Attach(channel);
        programmer.BuildMemoryMap(102);
    }

    // Loads and packs an image, then forgets what the window heard so far.
    void Load(const std::map<uint32_t, uint8_t>& bytes) {
        const std::string text = HexText(bytes);
        ASSERT_EQ(programmer.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 1);
        ASSERT_EQ(programmer.ReadTargetData(102), 1);
        window.events.clear();
    }

    std::vector<WindowEvent> Progress() const {
        std::vector<WindowEvent> progress;
        for (const auto& e : window.events) {
            if (e.kind == WindowEvent::Progress)
                progress.push_back(e);
        }
        return progress;
    }
};

TEST_F(ProgramerSAMTest, WritesEveryFilledRowInTableOrderThenTheFinishByte) {
    // Deliberately out of table order in the text: fuse, EEPROM, program.
    Load({{0x20000, 0xA0},
          {0x20001, 0xA1},
          {0x20002, 0xA2},
          {0x20003, 0xA3},
          {0x13F80, 0xEE},
          {0x10000, 0xE0},
          {0x0000, 0x12},
          {0x0001, 0x34},
          {0x0002, 0x56},
          {0x0003, 0x78}});
    ASSERT_TRUE(programmer.ProgramFlash(0));

    Bytes program(128, 0xFF);
    program[0] = 0x12, program[1] = 0x34, program[2] = 0x56, program[3] = 0x78;
    Bytes eeprom0(128, 0xFF), eeprom127(128, 0xFF);
    eeprom0[0] = 0xE0;
    eeprom127[0] = 0xEE;
    const std::vector<Bytes> expected = {
        {0x03, 0x00, 0x00}, program, {0x05, 0x00, 0x00},       eeprom0, {0x05, 0x80, 0x3F},
        eeprom127,          {0x07},  {0xA0, 0xA1, 0xA2, 0xA3}, {0x08}};
    EXPECT_EQ(channel.writes, expected);
    // Every row write opens with a flush of the receive queue.
    EXPECT_EQ(channel.flushRxCount, 4);
    EXPECT_EQ(channel.events[0], "FRX");

    EXPECT_EQ(window.StatusLines(),
              (std::vector<std::string>{"[Message] : Start Firmware upgrade...\r\n",
                                        "[Message] : Successfully Done !!\r\n"}));
    EXPECT_EQ(programmer.Progress(), 100);
}

TEST_F(ProgramerSAMTest, ProgressFollowsTheProgramRowsUpToTheHighestProgramAddress) {
    // One byte in each of the first 128 program rows, the last at 0x3FFF, plus EEPROM and fuse
    // data that must not report progress.
    std::map<uint32_t, uint8_t> bytes;
    for (uint32_t row = 0; row < 128; ++row)
        bytes[row * 128] = 0x11;
    bytes[0x3FFF] = 0x22;
    bytes[0x10000] = 0x33;
    bytes[0x20000] = 0x44;
    Load(bytes);
    EXPECT_EQ(programmer.MaxAddress(), 0x3FFF);
    ASSERT_TRUE(programmer.ProgramFlash(0));

    const auto progress = Progress();
    ASSERT_EQ(progress.size(), 129u);
    EXPECT_EQ(progress[0].value, 0);
    EXPECT_EQ(progress[1].value, 0);
    EXPECT_EQ(progress[2].value, 1);
    EXPECT_EQ(progress[127].value, 99);  // base 0x3F80
    for (size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(progress[i].text, "Flash Programing...");
        if (i > 0) {
            EXPECT_GE(progress[i].value, progress[i - 1].value);
        }
    }
    EXPECT_EQ(progress[128].value, 100);
    EXPECT_EQ(progress[128].text, "Programing Successfully...");
}

TEST_F(ProgramerSAMTest, ImagesWithoutProgramDataOrWithoutAnyData) {
    {
        SCOPED_TRACE("EEPROM only: no progress until the final 100");
        Load({{0x10000, 1}, {0x12345, 2}});
        ASSERT_TRUE(programmer.ProgramFlash(0));
        EXPECT_EQ(target.frames.size(), 2u);
        EXPECT_EQ(window.ProgressValues(), (std::vector<int>{100}));
    }
    {
        SCOPED_TRACE("nothing loaded: only the finish byte");
        CProgramerSAM empty(&channel, clock, &window);
        empty.BuildMemoryMap(101);
        static_cast<void>(empty.ReadTargetData(101));
        channel.writes.clear();
        window.events.clear();
        ASSERT_TRUE(empty.ProgramFlash(0));
        EXPECT_EQ(channel.writes, (std::vector<Bytes>{{0x08}}));
        EXPECT_EQ(window.ProgressValues(), (std::vector<int>{100}));
        EXPECT_TRUE(window.HasStatus("[Message] : Successfully Done !!\r\n"));
    }
}

TEST_F(ProgramerSAMTest, ProgramDataOnlyAtAddressZeroDoesNotDivideByZero) {
    Load({{0x0000, 0x5A}});
    EXPECT_EQ(programmer.MaxAddress(), 0);
    ASSERT_TRUE(programmer.ProgramFlash(0));
    // The one program row holds all the program data: it reports 100.
    EXPECT_EQ(window.ProgressValues(), (std::vector<int>{100, 100}));
}

TEST_F(ProgramerSAMTest, AnUnacknowledgedRowStopsWithItsAddressAndNoFinishByte) {
    Load({{0x0000, 1}, {0x0080, 2}, {0x0100, 3}});
    target.reply = [](int, const SamFrame& f) {
        return Bytes{static_cast<uint8_t>(f.header == Bytes{0x03, 0x80, 0x00} ? 0x00 : 0x01)};
    };
    EXPECT_FALSE(programmer.ProgramFlash(0));

    ASSERT_EQ(target.frames.size(), 1u + 5u);  // row 0 once, row 1 five times, row 2 never
    for (size_t i = 1; i < target.frames.size(); ++i) {
        EXPECT_EQ(target.frames[i].header, (Bytes{0x03, 0x80, 0x00}));
    }
    EXPECT_EQ(channel.CountWrites(0x08), 0);
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Address 0x80 Flash Programing Fail!!\r\n");
    EXPECT_EQ(window.ProgressValues(), (std::vector<int>{0}));  // row 0 only
}

TEST_F(ProgramerSAMTest, FailuresOfEepromAndFuseRowsNameTheirFullAddress) {
    const struct {
        uint32_t address;
        uint8_t command;
        const char* line;
    } cases[] = {
        {0x10080, 0x05, "[Error] : Address 0x10080 Flash Programing Fail!!\r\n"},
        {0x20000, 0x07, "[Error] : Address 0x20000 Flash Programing Fail!!\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CProgramerSAM sam(&channel, clock, &window);
        sam.BuildMemoryMap(101);
        const std::string text = HexText({{c.address, 0x77}});
        ASSERT_EQ(sam.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 1);
        static_cast<void>(sam.ReadTargetData(101));
        channel.writes.clear();
        window.events.clear();
        target.reply = [](int, const SamFrame&) { return Bytes{0x00}; };
        EXPECT_FALSE(sam.ProgramFlash(0));
        EXPECT_EQ(channel.CountWrites(c.command), 5);
        EXPECT_EQ(channel.CountWrites(0x08), 0);
        EXPECT_EQ(window.StatusLines().back(), c.line);
    }
}

TEST_F(ProgramerSAMTest, AFailingReceiveFlushFailsProgramming) {
    Load({{0x0100, 1}});
    channel.flushRxFails = true;
    EXPECT_FALSE(programmer.ProgramFlash(0));
    EXPECT_TRUE(channel.writes.empty());
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Address 0x100 Flash Programing Fail!!\r\n");
}

TEST_F(ProgramerSAMTest, TheChecksumOptionChangesNothing) {
    const std::map<uint32_t, uint8_t> image = {
        {0x0005, 1}, {0x8000, 2}, {0x10001, 3}, {0x20003, 4}};
    Load(image);
    ASSERT_TRUE(programmer.ProgramFlash(0));
    const auto withoutChecksum = channel.writes;
    const auto reportsWithout = window.events.size();

    CProgramerSAM other(&channel, clock, &window);
    other.BuildMemoryMap(102);
    const std::string text = HexText(image);
    static_cast<void>(other.LoadHexBuffer(text.data(), static_cast<int>(text.size())));
    static_cast<void>(other.ReadTargetData(102));
    channel.writes.clear();
    window.events.clear();
    ASSERT_TRUE(other.ProgramFlash(1));
    EXPECT_EQ(channel.writes, withoutChecksum);
    EXPECT_EQ(window.events.size(), reportsWithout);
}

TEST_F(ProgramerSAMTest, WithoutAChannelProgrammingFailsInsteadOfCrashing) {
    CProgramerSAM orphan(nullptr, clock, &window);
    orphan.BuildMemoryMap(101);
    const std::string text = HexText({{0x0000, 1}});
    static_cast<void>(orphan.LoadHexBuffer(text.data(), static_cast<int>(text.size())));
    static_cast<void>(orphan.ReadTargetData(101));
    EXPECT_FALSE(orphan.ProgramFlash(0));
    EXPECT_EQ(window.StatusLines().back(), "[Error] : Address 0x0 Flash Programing Fail!!\r\n");
    VersionInfo info;
    int flag = 0;
    EXPECT_EQ(orphan.ReadTargetVersion(info, flag), 0);
}

// Version request ------------------------------------------------------------------------------

class SamVersionTest : public ProgramerSAMTest {
  protected:
    // A bootloader that answers the n-th version request (from 0) with `reply`, and the ones
    // before it with nothing.
    void AnswerVersion(Bytes reply, int answerOnRequest = 0) {
        channel.onWrite = [=, n = 0](FakeChannel& ch, const Bytes& f) mutable {
            if (f == Bytes{0x10} && n++ == answerOnRequest)
                ch.Deliver(reply, 20);
        };
    }

    VersionInfo Preset() {
        VersionInfo info;
        info.productCode = 0x1111;
        info.appVersion = 0x2222;
        info.bootVersion = 0x3333;
        info.productCodeText = "old";
        info.appVersionText = "old";
        info.bootVersionText = "old";
        return info;
    }
};

TEST_F(SamVersionTest, ReadsHighByteFirstFieldsAndFormatsThem) {
    AnswerVersion({0x3A, 0x34, 0x00, 0x00, 0x05, 0xDC, 0x00, 0x00, 0x05, 0xDC, 0x00, 0x00});
    VersionInfo info = Preset();
    int versionFlag = 7;
    ASSERT_EQ(programmer.ReadTargetVersion(info, versionFlag), 1);
    EXPECT_EQ(info.productCode, 0x3A34);
    EXPECT_EQ(info.appVersion, 1500);
    EXPECT_EQ(info.bootVersion, 1500);
    EXPECT_EQ(info.productCodeText, "14900");
    EXPECT_EQ(info.appVersionText, "1.5");
    EXPECT_EQ(info.bootVersionText, "1.5");
    EXPECT_EQ(versionFlag, 7);
    EXPECT_EQ(window.StatusLines(),
              (std::vector<std::string>{"[Message] : Targt Version Info (P Code:0x3a34, App "
                                        "Ver:0x5dc, Boot Ver:0x5dc)\r\n"}));
    EXPECT_EQ(channel.events, (std::vector<std::string>{"FTX", "FRX", "W:10", "FTX", "FRX"}));
    EXPECT_EQ(clock.NowMs(), 100 + 50 + 100);
}

TEST_F(SamVersionTest, VersionTextsComeFromASinglePrecisionQuotient) {
    // 1050 / 1000 in single precision lies just below 1.05; in double just above.
    AnswerVersion({0x00, 0x01, 0, 0, 0x04, 0x1A, 0, 0, 0x00, 0x00, 0, 0});
    VersionInfo info = Preset();
    int versionFlag = 0;
    ASSERT_EQ(programmer.ReadTargetVersion(info, versionFlag), 1);
    EXPECT_EQ(info.appVersionText, "1.0");
    EXPECT_EQ(info.bootVersionText, "0.0");
    EXPECT_EQ(info.productCodeText, "1");
}

TEST_F(SamVersionTest, RetriesUntilTwelveBytesWaitAndGivesUpSilentlyAfterFive) {
    {
        SCOPED_TRACE("the reply comes to the third request");
        AnswerVersion({1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0}, 2);
        VersionInfo info = Preset();
        int flag = 0;
        EXPECT_EQ(programmer.ReadTargetVersion(info, flag), 1);
        EXPECT_EQ(channel.CountWrites(0x10), 3);
        EXPECT_EQ(info.productCode, 0x0102);
        EXPECT_EQ(info.bootVersion, 0x0506);
    }
    {
        SCOPED_TRACE("only eleven bytes ever");
        channel.writes.clear();
        window.events.clear();
        // Delivered once: the eleven bytes stay waiting through all five requests.
        channel.onWrite = [n = 0](FakeChannel& ch, const Bytes&) mutable {
            if (n++ == 0)
                ch.Deliver(Bytes(11, 0x42), 20);
        };
        VersionInfo info = Preset();
        int flag = 3;
        const int64_t start = clock.NowMs();
        EXPECT_EQ(programmer.ReadTargetVersion(info, flag), 0);
        EXPECT_EQ(channel.CountWrites(0x10), 5);
        EXPECT_EQ(channel.BytesAvailable(), 11);
        EXPECT_TRUE(window.StatusLines().empty());
        EXPECT_EQ(info.productCode, 0x1111);
        EXPECT_EQ(info.appVersionText, "old");
        EXPECT_EQ(flag, 3);
        EXPECT_EQ(clock.NowMs() - start, 100 + 5 * (50 + 100));
    }
}

TEST_F(ProgramerSAMTest, UnsupportedOperationsSendNothingAndChangeNothing) {
    Load({{0x0C00, 0x12}, {0x0C01, 0x34}});
    VersionInfo info;
    info.productCode = 9;
    int flag = 4;
    EXPECT_EQ(programmer.ReadVersionFromFlash(info, flag), 0);
    EXPECT_EQ(programmer.GetImageProductCode(), 0);
    EXPECT_EQ(programmer.GetImageWord(0x0C00), 0);
    int addresses[3] = {1, 2, 3};
    EXPECT_EQ(programmer.ReadVersionAddresses(addresses), 0);
    uint16_t productCode = 5, appVersion = 6;
    const std::string text = HexText({{0x1800, 0x34}});
    EXPECT_FALSE(
        programmer.ReadFileInfo("/nonexistent", 0x0C00, productCode, 0x0C02, appVersion, flag));
    EXPECT_FALSE(programmer.ReadFileInfoFromBuffer(text.data(), static_cast<int>(text.size()),
                                                   0x0C00, productCode, 0x0C02, appVersion, flag));
    EXPECT_EQ(info.productCode, 9);
    EXPECT_EQ(flag, 4);
    EXPECT_EQ(addresses[0] + addresses[1] + addresses[2], 6);
    EXPECT_EQ(productCode, 5);
    EXPECT_EQ(appVersion, 6);
    EXPECT_TRUE(channel.events.empty());
    EXPECT_TRUE(window.events.empty());
}

}  // namespace
}  // namespace tamrix
