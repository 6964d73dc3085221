// The checks between firmware file and target, the bootloader decision and the bootloader table.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "download/BootloaderTable.h"
#include "download/CompatibilityChecks.h"
#include "platform/Clock.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/StubProgramer.h"

namespace tamrix {
namespace {

using test::RecordingWindow;
using test::WindowEvent;

// Answers the file-information question from a script and remembers how it was asked.
class FileInfoProgramer : public test::StubProgramer {
  public:
    explicit FileInfoProgramer(CClock& clock) : StubProgramer(nullptr, clock) {}

    bool infoFound = true;
    FileVersionInfo info;
    const char* askedText = nullptr;
    int askedLength = -1;
    int askedProductCodeAddress = -1;
    int askedVersionAddress = -1;

    bool ReadFileInfoFromBuffer(const char* text, int length, int productCodeAddress,
                                uint16_t& productCode, int versionAddress, uint16_t& appVersion,
                                int& versionFlag) override {
        askedText = text;
        askedLength = length;
        askedProductCodeAddress = productCodeAddress;
        askedVersionAddress = versionAddress;
        if (!infoFound)
            return false;
        productCode = info.productCode;
        appVersion = info.appVersion;
        versionFlag = info.versionFlag;
        return true;
    }
};

// The product-code box, written out in full: the LF CR in the middle and the blank before
// " Equipment" are part of it.
std::string ProductCodeBox(const std::string& target, const std::string& file) {
    return "Product code error. \r\n \r\nProduct codes that are read are different from the "
           "inside firmware file. \n\rIf wrong firmware file is downloaded, it could cause "
           "severe damage. \r\n \r\n  Equipment product code : " +
           target + " \r\n  Firmware product code : " + file + " \r\n \r\nDownload Process Stop!!";
}

VersionInfo Target(uint16_t productCode, uint16_t appVersion = 1000, uint16_t bootVersion = 0) {
    VersionInfo target;
    target.productCode = productCode;
    target.appVersion = appVersion;
    target.bootVersion = bootVersion;
    return target;
}

void ExpectBox(const WindowEvent& box, const std::string& text, const std::string& caption,
               MessageIcon icon, MessageButtons buttons) {
    EXPECT_EQ(box.kind, WindowEvent::MessageBox);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, icon);
    EXPECT_EQ(box.buttons, buttons);
}

class CheckFileTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    RecordingWindow window;
    FileInfoProgramer programmer{clock};
    FileVersionInfo file;
    const char text[8] = "firmwar";

    bool Check(const VersionInfo& target, int productCodeAddress = 0x0C00,
               int versionAddress = 0x0C02) {
        return CheckFileAgainstTarget(programmer, &window, text, 7, productCodeAddress,
                                      versionAddress, target, file);
    }
    void FileSays(uint16_t productCode, uint16_t appVersion, int versionFlag) {
        programmer.info = {productCode, appVersion, versionFlag};
    }
};

TEST_F(CheckFileTest, AMatchingFileGoesOnSilentlyAndFillsTheFileInfo) {
    FileSays(4711, 2300, 1);
    EXPECT_TRUE(Check(Target(4711), 0x1234, 0x5678));
    EXPECT_TRUE(window.events.empty());
    EXPECT_EQ(file.productCode, 4711);
    EXPECT_EQ(file.appVersion, 2300);
    EXPECT_EQ(file.versionFlag, 1);
    EXPECT_EQ(programmer.askedText, text);
    EXPECT_EQ(programmer.askedLength, 7);
    EXPECT_EQ(programmer.askedProductCodeAddress, 0x1234);
    EXPECT_EQ(programmer.askedVersionAddress, 0x5678);
}

TEST_F(CheckFileTest, AnUnreadableFileGivesTwoStatusLinesThenTheErrorBox) {
    programmer.infoFound = false;
    EXPECT_FALSE(Check(Target(4711)));
    ASSERT_EQ(window.events.size(), 3u);
    EXPECT_EQ(window.events[0].kind, WindowEvent::AddedStatusLine);
    EXPECT_EQ(window.events[0].text,
              "[Message] : Product Code Read Fail. Download Process Stop! \r\n");
    EXPECT_EQ(window.events[1].kind, WindowEvent::AddedStatusLine);
    EXPECT_EQ(window.events[1].text, "[Message] : Check Download File Again \r\n");
    ExpectBox(window.events[2],
              "Firmware file can't be read. \r\nPlease recheck the downloaded file.", "Error",
              MessageIcon::Error, MessageButtons::Ok);
}

TEST_F(CheckFileTest, VersionFlagZeroStopsEvenWithMatchingCodesAndBeforeTheCodeTest) {
    for (uint16_t fileCode : {4711, 999}) {
        window.events.clear();
        FileSays(fileCode, 2300, 0);
        EXPECT_FALSE(Check(Target(4711)));
        ASSERT_EQ(window.events.size(), 1u) << fileCode;
        ExpectBox(window.events[0], "Wrong firmware file! \r\nPlease download the latest version.",
                  "File Version", MessageIcon::Information, MessageButtons::Ok);
    }
}

TEST_F(CheckFileTest, DifferentCodesStopWithTheProductCodeBoxOnly) {
    FileSays(200, 2300, 1);
    EXPECT_FALSE(Check(Target(65535)));
    ASSERT_EQ(window.events.size(), 1u);
    ExpectBox(window.events[0], ProductCodeBox("65535", "200"), "Product Code",
              MessageIcon::Warning, MessageButtons::Ok);
}

TEST_F(CheckFileTest, TheTwoBootloaderCodesLetAnyPartnerThrough) {
    struct Case {
        uint16_t target;
        uint16_t file;
        bool passes;
    };
    const Case cases[] = {
        {14900, 14900, true},
        {14900, 1234, true},
        {1234, 14901, true},
        // The exceptions are one-sided.
        {14901, 14900, false},
        {14901, 1234, false},
        {1234, 14900, false},
    };
    for (const Case& c : cases) {
        window.events.clear();
        FileSays(c.file, 2300, 1);
        EXPECT_EQ(Check(Target(c.target)), c.passes) << c.target << " / " << c.file;
        EXPECT_EQ(window.events.empty(), c.passes) << c.target << " / " << c.file;
    }
}

TEST_F(CheckFileTest, WithoutAWindowTheChecksStillStop) {
    programmer.infoFound = false;
    EXPECT_FALSE(
        CheckFileAgainstTarget(programmer, nullptr, text, 7, 0x0C00, 0x0C02, Target(1), file));
    programmer.infoFound = true;
    FileSays(2, 1, 1);
    EXPECT_FALSE(
        CheckFileAgainstTarget(programmer, nullptr, text, 7, 0x0C00, 0x0C02, Target(1), file));
    EXPECT_TRUE(window.events.empty());
}

// Bootloader table and decision -------------------------------------------------------------

const BootloaderTableEntry kTestTable[] = {
    {1000, "product A", 165, 1200, "boot A", "1.2", "00001"},
    {2000, "product B", 170, 0, "boot B", "0.0", "00002"},
    {1000, "product A again", 166, 1500, "boot A2", "1.5", "00003"},
    {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
    {3000, "after the end", 171, 1500, "boot C", "1.5", "00004"},
};

TEST(BootloaderTable, TheDeliveredTableRegistersNothing) {
    const BootloaderTableEntry* table = DeliveredBootloaderTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0].productCode, 0);
    EXPECT_STREQ(table[0].productName, "NONE");
    EXPECT_EQ(table[0].resourceId, 0);
    EXPECT_EQ(table[0].bootVersion, 0);
    EXPECT_STREQ(table[0].bootloaderName, "NONE");
    EXPECT_STREQ(table[0].bootVersionText, "0.0");
    EXPECT_STREQ(table[0].releaseCode, "00000");
    for (uint16_t code : {0, 1, 14900, 14901, 14910, 16000, 16010, 65535}) {
        EXPECT_EQ(FindBootloaderEntry(table, code), nullptr) << code;
    }
}

TEST(BootloaderTable, LookupStopsAtTheFirstMatchOrTheEndEntry) {
    EXPECT_EQ(FindBootloaderEntry(kTestTable, 1000), &kTestTable[0]);  // first of two
    EXPECT_EQ(FindBootloaderEntry(kTestTable, 2000), &kTestTable[1]);
    EXPECT_EQ(FindBootloaderEntry(kTestTable, 3000), nullptr);  // beyond the end entry
    EXPECT_EQ(FindBootloaderEntry(kTestTable, 0), nullptr);
    EXPECT_EQ(FindBootloaderEntry(nullptr, 1000), nullptr);
}

constexpr const char* kReadSuccess = "Target Version Info Read Success  \r\n";
constexpr const char* kReadFail = "Target Version Info Read Fail  \r\n";

TEST(DecideBootloaderUpdate, TheDeliveredTableNeverChoosesAPass) {
    RecordingWindow window;
    BootloaderDecision decision;
    DecideBootloaderUpdate(&window, 1, Target(14900, 1000, 0x4B0), 14900,
                           DeliveredBootloaderTable(), decision);
    EXPECT_EQ(decision.bootloaderPass, 0);
    EXPECT_EQ(decision.registeredBootVersion, 0);
    EXPECT_EQ(
        window.LogLines(),
        (std::vector<std::string>{
            kReadSuccess,
            "Version Check : Target Boot Version : 0x4b0, Registered Boot Version : 0x0  \r\n"}));
    EXPECT_TRUE(window.StatusLines().empty());

    window.events.clear();
    DecideBootloaderUpdate(&window, 0, Target(14900), 14901, DeliveredBootloaderTable(), decision);
    EXPECT_EQ(decision.bootloaderPass, 0);
    EXPECT_EQ(window.LogLines(), std::vector<std::string>{kReadFail});
}

TEST(DecideBootloaderUpdate, WithTheTargetsVersionsAnyOtherBootVersionIsReplaced) {
    struct Case {
        uint16_t targetBoot;
        int pass;
    };
    // Older, newer (inequality, not order), equal, and 0 as ReadVersionFromFlash reports it.
    for (const Case c : {Case{1100, 1}, Case{1300, 1}, Case{1200, 0}, Case{0, 1}}) {
        RecordingWindow window;
        BootloaderDecision decision;
        decision.bootloaderResourceId = 99;
        // The file's code plays no part when the target's versions were read.
        DecideBootloaderUpdate(&window, 1, Target(1000, 5, c.targetBoot), 2000, kTestTable,
                               decision);
        EXPECT_EQ(decision.bootloaderPass, c.pass) << c.targetBoot;
        EXPECT_EQ(decision.bootloaderResourceId, c.pass ? 165 : 99) << c.targetBoot;
        EXPECT_EQ(decision.registeredBootVersion, 1200);
        char line[120];
        std::snprintf(line, sizeof line,
                      "Version Check : Target Boot Version : 0x%x, Registered Boot Version : "
                      "0x4b0  \r\n",
                      c.targetBoot);
        EXPECT_EQ(window.LogLines(), (std::vector<std::string>{kReadSuccess, line}));
    }
}

TEST(DecideBootloaderUpdate, AnUnregisteredProductKeepsTheEarlierValues) {
    RecordingWindow window;
    BootloaderDecision decision{1, 165, 0x4B0};  // from an earlier pass
    DecideBootloaderUpdate(&window, 1, Target(3000, 5, 0x600), 1000, kTestTable, decision);
    EXPECT_EQ(decision.bootloaderPass, 0);
    EXPECT_EQ(decision.bootloaderResourceId, 165);
    EXPECT_EQ(decision.registeredBootVersion, 0x4B0);
    EXPECT_EQ(window.LogLines().back(),
              "Version Check : Target Boot Version : 0x600, Registered Boot Version : 0x4b0  \r\n");
}

TEST(DecideBootloaderUpdate, WithoutTheTargetsVersionsTheFileNamesTheProduct) {
    RecordingWindow window;
    BootloaderDecision decision;
    DecideBootloaderUpdate(&window, 0, Target(2000, 5, 1200), 1000, kTestTable, decision);
    EXPECT_EQ(decision.bootloaderPass, 1);  // any registered version but 0
    EXPECT_EQ(decision.bootloaderResourceId, 165);
    EXPECT_EQ(decision.registeredBootVersion, 1200);
    EXPECT_EQ(window.LogLines(), std::vector<std::string>{kReadFail});  // no Version Check line

    BootloaderDecision zero{0, 7, 0x999};
    DecideBootloaderUpdate(&window, 0, Target(1000), 2000, kTestTable, zero);
    EXPECT_EQ(zero.bootloaderPass, 0);  // registered version 0 installs nothing
    EXPECT_EQ(zero.bootloaderResourceId, 7);
    EXPECT_EQ(zero.registeredBootVersion, 0);

    BootloaderDecision none{0, 7, 0x999};
    DecideBootloaderUpdate(nullptr, 0, Target(1000), 3000, kTestTable, none);
    EXPECT_EQ(none.bootloaderPass, 0);
    EXPECT_EQ(none.registeredBootVersion, 0x999);
}

// The last confirmation --------------------------------------------------------------------

class ConfirmTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    RecordingWindow window;
    FileInfoProgramer programmer{clock};
    void SetUp() override { programmer.SetWindow(&window); }
};

constexpr const char* kDowngradeQuestion =
    "The firmware file to be updated is lower than the product version \r\n \r\nDo you want to "
    "download?";

TEST_F(ConfirmTest, DifferentCodesStopWithTheBoxThenTheProgrammersStatusLine) {
    // No exception here: a target of 14900 with another file stops too.
    EXPECT_EQ(ConfirmProductAndVersion(14900, &programmer, 1234, 2000, 1000, 1), 0);
    ASSERT_EQ(window.events.size(), 2u);
    ExpectBox(window.events[0], ProductCodeBox("14900", "1234"), "Product Code",
              MessageIcon::Warning, MessageButtons::Ok);
    EXPECT_EQ(window.events[1].kind, WindowEvent::StatusLine);  // sent as a programmer's line
    EXPECT_EQ(window.events[1].text,
              "[Message] : Product Code Mismatch. Download Process Stop! \r\n");
}

TEST_F(ConfirmTest, NewerOrEqualFilesNeedNoQuestion) {
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 1000, 1000, 1), 1);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 1001, 1000, 1), 1);
    EXPECT_TRUE(window.events.empty());
}

TEST_F(ConfirmTest, AnOlderFileNeedsTheUsersYes) {
    window.answers = {MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 999, 1000, 1), 1);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 999, 1000, 1), 0);
    ASSERT_EQ(window.events.size(), 2u);  // the two questions and nothing else
    for (const WindowEvent& e : window.events) {
        ExpectBox(e, kDowngradeQuestion, "Product Code", MessageIcon::Question,
                  MessageButtons::YesNo);
    }
}

TEST_F(ConfirmTest, VersionsAreComparedOnlyWithFlagOne) {
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 1, 60000, 0), 1);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 1, 60000, 2), 1);
    EXPECT_TRUE(window.events.empty());
}

TEST_F(ConfirmTest, WithoutAWindowNobodyCanAgreeToADowngrade) {
    programmer.SetWindow(nullptr);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 999, 1000, 1), 0);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 8, 1000, 1000, 1), 0);
    EXPECT_EQ(ConfirmProductAndVersion(7, &programmer, 7, 1000, 1000, 1), 1);
    EXPECT_EQ(ConfirmProductAndVersion(7, nullptr, 7, 999, 1000, 1), 0);
    EXPECT_EQ(ConfirmProductAndVersion(7, nullptr, 7, 1000, 1000, 1), 1);
    EXPECT_TRUE(window.events.empty());
}

// The three stages in the download process's order: a pair that only the exceptions let through
// reaches the bootloader decision and, with nothing registered, stops at the confirmation.
TEST(CompatibilityStages, TheExceptionsAdmitAPairOnlyToABootloaderPass) {
    for (const auto& [targetCode, fileCode] :
         {std::pair<uint16_t, uint16_t>{14900, 1234}, std::pair<uint16_t, uint16_t>{4321, 14901}}) {
        CVirtualClock clock;
        RecordingWindow window;
        FileInfoProgramer programmer(clock);
        programmer.SetWindow(&window);
        programmer.info = {fileCode, 2000, 1};
        const VersionInfo target = Target(targetCode, 1000, 0x4B0);
        FileVersionInfo file;
        BootloaderDecision decision;

        ASSERT_TRUE(
            CheckFileAgainstTarget(programmer, &window, "x", 1, 0x0C00, 0x0C02, target, file));
        DecideBootloaderUpdate(&window, 1, target, file.productCode, DeliveredBootloaderTable(),
                               decision);
        ASSERT_EQ(decision.bootloaderPass, 0);
        EXPECT_EQ(ConfirmProductAndVersion(target.productCode, &programmer, file.productCode,
                                           file.appVersion, target.appVersion, 1),
                  0);
        const auto boxes = window.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  ProductCodeBox(std::to_string(targetCode), std::to_string(fileCode)));
        EXPECT_EQ(window.StatusLines(),
                  std::vector<std::string>{
                      "[Message] : Product Code Mismatch. Download Process Stop! \r\n"});
    }
}

}  // namespace
}  // namespace tamrix
