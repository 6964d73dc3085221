// The bootloader pass, run by the download process in this process against a simulated PIC
// product whose product is registered: the registered bootloader image is programmed first, the
// product is woken and examined again, and the application follows once the boot version matches.
// Also the ways it must stop: a registered image that this program does not carry, and a
// bootloader that never reports the registered version.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "download/BootloaderImages.h"
#include "download/DownloadProcess.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix::test {
namespace {

// Where this product keeps its identity: above the bootloader image, which covers 0x0C00 on.
constexpr uint32_t kIdentityAddress = 0x4000;
constexpr uint32_t kVersionAddress = 0x4002;
constexpr uint32_t kApplicationOnly = 0x4100;  // an instruction only the application sets

constexpr const char* kBootLoaderComplete = "[Message] : Boot Loader Download Complete \r\n";

// Records like RecordingWindow and lets the test look at the product the moment the bootloader
// pass reports its end, before the next pass begins.
class PassWatchingWindow : public RecordingWindow {
  public:
    std::function<void()> onBootloaderPassEnd;

    void AddStatusLine(const std::string& text) override {
        RecordingWindow::AddStatusLine(text);
        if (text == kBootLoaderComplete && onBootloaderPassEnd)
            onBootloaderPassEnd();
    }

    // Everything but progress, one line each, for order checks and failure messages.
    std::vector<std::string> Transcript() const {
        std::vector<std::string> lines;
        for (const WindowEvent& event : events) {
            switch (event.kind) {
                case WindowEvent::StatusLine:
                case WindowEvent::AddedStatusLine:
                    lines.push_back("status: " + event.text);
                    break;
                case WindowEvent::LogLine:
                    lines.push_back("log: " + event.text);
                    break;
                case WindowEvent::MessageBox:
                    lines.push_back("box " + event.caption + ": " + event.text);
                    break;
                case WindowEvent::Progress:
                    break;
            }
        }
        return lines;
    }

    int Count(const std::string& line) const {
        const std::vector<std::string> lines = Transcript();
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

// `expected` occurs in `window`'s transcript in this order (other lines may come between).
void ExpectInOrder(const PassWatchingWindow& window, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = window.Transcript();
    auto at = lines.begin();
    for (const std::string& line : expected) {
        at = std::find(at, lines.end(), line);
        if (at == lines.end()) {
            ADD_FAILURE() << "missing, or out of order: " << line << "\ntranscript:\n"
                          << Joined(lines);
            return;
        }
        ++at;
    }
}

std::map<uint32_t, uint8_t> BootloaderImage(uint16_t resourceId) {
    const EmbeddedBootloaderImage* image = FindBootloaderImage(resourceId);
    if (image == nullptr) {
        ADD_FAILURE() << "no bootloader image " << resourceId;
        return {};
    }
    return ImageOf(std::string(reinterpret_cast<const char*>(image->bytes), image->size));
}

// The images these tests program: the bytes the program carries, vouched for as real ones. The
// program itself never programs its placeholders.
const EmbeddedBootloaderImage* VouchedBootloaderImage(uint16_t resourceId) {
    static std::map<uint16_t, EmbeddedBootloaderImage> vouched;
    const EmbeddedBootloaderImage* carried = FindBootloaderImage(resourceId);
    if (carried == nullptr)
        return nullptr;
    EmbeddedBootloaderImage& image = vouched.emplace(resourceId, *carried).first->second;
    image.placeholder = false;
    return &image;
}

class DownloadBootloaderPassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SimOptions options = ProductOptions(kPic33Chip);
        options.productCodeAddress = kIdentityAddress;
        options.versionAddress = kVersionAddress;
        options.thirdAddress = kIdentityAddress - 2;
        target_ = StartProduct(options);
        ASSERT_TRUE(target_);
        initial_ = target_->HexImage();

        application_.Instruction(0x0000, 0x044004).Instruction(0x0002, 0x000000);
        application_.Identity(kProductCode, kNewerAppVersion, 0, kIdentityAddress, kVersionAddress);
        for (uint32_t address = kIdentityAddress + 4; address <= kApplicationOnly; address += 2) {
            application_.Instruction(address, 0x0A0000 + address);
        }
        application_.Instruction(0x8000, 0x123456);
        ASSERT_TRUE(application_.WriteBin(folder_.File("application.bin"), kConversionSeed));
    }

    // One download process with `table` registered, programming vouched-for images, or the
    // program's own when `carriedImages`.
    DownloadOutcome Run(const BootloaderTableEntry* table, int maxBootloaderPasses = 3,
                        bool carriedImages = false) {
        DownloadParams params;
        params.port = PortName{0, target_->DevicePath()};
        params.baudRate = 115200;
        params.wiring = Wiring::TwoWire;
        params.filePath = folder_.File("application.bin");
        params.window = &window_;
        DownloadSettings settings;
        settings.bootloaderTable = table;
        settings.maxBootloaderPasses = maxBootloaderPasses;
        settings.openChannel = SerialPortOpener(params.port, settings.portMap, &window_);
        if (!carriedImages)
            settings.findBootloaderImage = VouchedBootloaderImage;
        CDownloadProcess process(params, settings);
        const DownloadOutcome outcome = process.Run();
        passes_ = process.Passes();
        return outcome;
    }

    TempFolder folder_;
    std::unique_ptr<CSimTarget> target_;
    std::map<uint32_t, uint8_t> initial_;
    FirmwareBuilder application_;
    PassWatchingWindow window_;
    int passes_ = 0;
};

TEST_F(DownloadBootloaderPassTest, RegisteredBootloaderIsInstalledAndTheApplicationFollows) {
    const BootloaderTableEntry table[] = {
        {kProductCode, "product", 165, 2300, "bootloader", "2.3", "00001"},
        {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
    };
    // At the end of the bootloader pass the flash must hold the image on top of what was there,
    // and the product must run the new bootloader.
    SimVerifyResult bootloaderCheck;
    uint16_t bootVersionAfterPass = 0;
    std::map<uint32_t, uint8_t> afterBootloader;
    window_.onBootloaderPassEnd = [&] {
        bootloaderCheck = VerifySimFlash(*target_, BootloaderImage(165), initial_);
        bootVersionAfterPass = target_->Versions().bootVersion;
        afterBootloader = target_->HexImage();
    };

    const DownloadOutcome outcome = Run(table);
    EXPECT_EQ(outcome, DownloadOutcome::Success) << Joined(window_.Transcript());
    EXPECT_EQ(passes_, 2);
    EXPECT_TRUE(bootloaderCheck.matches) << bootloaderCheck.difference;
    EXPECT_GT(bootloaderCheck.compared, 0);
    EXPECT_EQ(bootVersionAfterPass, 2300);

    ExpectInOrder(
        window_,
        {
            // First pass: the old bootloader is found and replaced.
            "status: [Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot Ver:1.5)\r\n",
            "status: [Message] : File Info Read From Hex File (P Code:12345, APP Version : 1.1, "
            "Version Flag : 1)  \r\n",
            "log: Target Version Info Read Success  \r\n",
            "log: Version Check : Target Boot Version : 0x5dc, Registered Boot Version : 0x8fc  "
            "\r\n",
            "box BootLoader: BootLoader is updated with the latest version. \r\nThe version of the "
            "BootLoader to be updated is 2.3",
            "status: [Message] : BootLoader Firmware Download \r\n",
            "log: BootLoader Download. ResourceID : 0xa5  \r\n",
            "status: [Message] : Reading HexFile \r\n",
            "log: Hex File Parse Success \r\n",
            "status: [Message] : Start Firmware upgrade...\r\n",
            "status: [Message] : Successfully Done !!\r\n",
            "log: Flash Program Success! \r\n",
            "status: [Message] : Boot Loader Download Complete \r\n",
            "status: [Message] : Application Firmware Download Start \r\n",
            // Second pass: woken and examined again, now with the registered boot version.
            "status: [Message] : Waiting for Hardware Reset..\r\n",
            "status: [Message] : Start Command Checked. Start Command Send. \r\n",
            "status: [Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot Ver:2.3)\r\n",
            "log: Version Check : Target Boot Version : 0x8fc, Registered Boot Version : 0x8fc  "
            "\r\n",
            "status: [Message] : Application Firmware Download \r\n",
            "status: [Message] : Successfully Done !!\r\n",
            "log: Flash Program Success! \r\n",
        });
    EXPECT_EQ(window_.Count("status: [Message] : Application Firmware Download \r\n"), 1);
    EXPECT_EQ(window_.Count("status: [Message] : BootLoader Firmware Download \r\n"), 1);

    // The finish byte of the application pass hands the product back to its application.
    EXPECT_TRUE(target_->WaitFor([&] { return target_->State() == SimState::Application; }, 2000));
    const SimCounters counters = target_->Counters();
    EXPECT_EQ(counters.wakeUps, 2);
    EXPECT_EQ(counters.finishes, 2);
    EXPECT_EQ(counters.rowsNacked, 0);
    const SimVerifyResult applicationCheck =
        VerifySimFlash(*target_, ImageOf(application_.HexText()), afterBootloader);
    EXPECT_TRUE(applicationCheck.matches) << applicationCheck.difference;
    EXPECT_EQ(target_->Versions().appVersion, kNewerAppVersion);
    EXPECT_EQ(target_->Versions().bootVersion, 2300);
}

TEST_F(DownloadBootloaderPassTest, RegisteredImageThatIsNotCarriedStopsWithNothingWritten) {
    ASSERT_EQ(FindBootloaderImage(168), nullptr);
    const BootloaderTableEntry table[] = {
        {kProductCode, "product", 168, 2300, "bootloader", "2.3", "00001"},
        {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
    };
    const DownloadOutcome outcome = Run(table);
    EXPECT_EQ(outcome, DownloadOutcome::BootloaderMissing) << Joined(window_.Transcript());
    EXPECT_EQ(passes_, 1);
    ExpectNothingWritten(*target_, initial_);

    // Told why, and neither the empty buffer nor the application was sent.
    const std::vector<WindowEvent> boxes = window_.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "Error");
    EXPECT_EQ(boxes.back().icon, MessageIcon::Error);
    EXPECT_EQ(window_.Count("status: [Message] : BootLoader Firmware Download \r\n"), 0);
    EXPECT_EQ(window_.Count("status: [Message] : Application Firmware Download \r\n"), 0);
    EXPECT_EQ(window_.Count("status: [Message] : Reading HexFile \r\n"), 0);
    EXPECT_EQ(window_.Count(std::string("status: ") + kBootLoaderComplete), 0);
}

// The images the program carries are placeholders with the real ones' shape and no working code:
// registering a product must never get one of them programmed.
TEST_F(DownloadBootloaderPassTest, APlaceholderImageIsNeverProgrammed) {
    const EmbeddedBootloaderImage* carried = FindBootloaderImage(165);
    ASSERT_NE(carried, nullptr);
    ASSERT_TRUE(carried->placeholder) << "resources/bootloader/placeholders.sha256 lists it";
    const BootloaderTableEntry table[] = {
        {kProductCode, "product", 165, 2300, "bootloader", "2.3", "00001"},
        {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
    };
    const DownloadOutcome outcome = Run(table, 3, true);
    EXPECT_EQ(outcome, DownloadOutcome::BootloaderPlaceholder) << Joined(window_.Transcript());
    EXPECT_EQ(passes_, 1);
    ExpectNothingWritten(*target_, initial_);
    EXPECT_EQ(window_.Count("status: [Error] : BootLoader image 0xa5 is a placeholder, not a real "
                            "bootloader. Download Process Stop! \r\n"),
              1)
        << Joined(window_.Transcript());
    const std::vector<WindowEvent> boxes = window_.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "Error");
    EXPECT_EQ(window_.Count("status: [Message] : Reading HexFile \r\n"), 0);
}

TEST_F(DownloadBootloaderPassTest, BootloaderThatNeverTakesIsNotRetriedForever) {
    // Image 165 installs boot version 2.3; the table asks for 2.4, which the product never
    // reaches.
    const BootloaderTableEntry table[] = {
        {kProductCode, "product", 165, 2400, "bootloader", "2.4", "00001"},
        {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
    };
    const DownloadOutcome outcome = Run(table, 2);
    EXPECT_EQ(outcome, DownloadOutcome::BootloaderPassLimit) << Joined(window_.Transcript());
    EXPECT_EQ(passes_, 3);
    EXPECT_EQ(target_->Counters().finishes, 2);
    EXPECT_EQ(window_.Count("status: [Message] : BootLoader Firmware Download \r\n"), 2);
    EXPECT_EQ(window_.Count("log: Version Check : Target Boot Version : 0x8fc, Registered Boot "
                            "Version : 0x960  \r\n"),
              2);

    // The third pass stops with its message before anything is written; the application never
    // reached the product.
    const std::vector<WindowEvent> boxes = window_.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "Error");
    EXPECT_EQ(boxes.back().icon, MessageIcon::Error);
    EXPECT_EQ(window_.Count("status: [Message] : Application Firmware Download \r\n"), 0);
    EXPECT_EQ(target_->ProgramWord(kApplicationOnly), 0xFFFFFFu);
    EXPECT_EQ(target_->Versions().bootVersion, 2300);
}

}  // namespace
}  // namespace tamrix::test
