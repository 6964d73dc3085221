// How a download process begins: the firmware file is read before the product is woken, a port
// that cannot be opened for the download itself stops it at once, and a port this user may not
// open is explained.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "download/DownloadProcess.h"
#include "download/DownloadStart.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "tests/download/TempDir.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::RecordingWindow;
using test::TempDir;

class DownloadStartTest : public ::testing::Test {
  protected:
    // Channels that open, except the `failingCall`-th one (counted from 1).
    DownloadOutcome Run(const std::string& file, int failingCall = 0) {
        DownloadParams params;
        params.port = PortName::Com(7);
        params.filePath = file;
        params.window = &window;
        DownloadSettings settings;
        settings.clock = &clock;
        settings.openChannel = [this, failingCall](int, Wiring) {
            ++openings;
            return OpenedChannel{std::make_unique<FakeChannel>(clock), openings != failingCall};
        };
        CDownloadProcess process(params, settings);
        return process.Run();
    }

    std::string FirmwareFile() {
        const std::map<uint32_t, uint8_t> bytes = {{0x1800, 0x39}, {0x1801, 0x30}};
        const std::string text = FormatIntelHex(bytes);
        std::string error;
        const std::string path = folder.Path("update.bin");
        EXPECT_TRUE(WriteFirmwareFile(path, std::vector<uint8_t>(text.begin(), text.end()),
                                      kConversionSeed, error))
            << error;
        return path;
    }

    CVirtualClock clock;
    RecordingWindow window;
    TempDir folder;
    int openings = 0;
};

// A file that cannot be read is found out before the product is put into its bootloader: woken
// for nothing, it would wait there and the next attempt would find no target.
TEST_F(DownloadStartTest, AFileThatCannotBeReadStopsBeforeTheProductIsWoken) {
    EXPECT_EQ(Run(folder.Path("missing.bin")), DownloadOutcome::FileLoadFailed);
    EXPECT_EQ(openings, 0);
    EXPECT_EQ(
        window.StatusLines(),
        (std::vector<std::string>{"[Error] : Bin File Open Fail - Convert\r\n",
                                  "[Message] : File Loading Fail. Download Process Stop! \r\n"}));
    const auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "File Loading Fail \r\nDownload Process Stop!");
    EXPECT_EQ(boxes[0].caption, "Error");
}

// The port is opened to ask whether a bootloader already listens, for the two wake-up messages
// and then for the download; when that last opening fails, nothing could reach a target: stop with
// "Port Open Fail" instead of waiting ten seconds for a start signal.
TEST_F(DownloadStartTest, TheDownloadsOwnOpeningFailingIsPortOpenFail) {
    EXPECT_EQ(Run(FirmwareFile(), 4), DownloadOutcome::PortOpenFailed);
    EXPECT_EQ(openings, 4);
    EXPECT_EQ(window.LogLines(), std::vector<std::string>{"Port Open Fail  \r\n"});
    EXPECT_FALSE(window.HasStatus("[Message] : Waiting for Hardware Reset..\r\n"));
    const auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Port Open Fail");
    EXPECT_EQ(boxes[0].caption, "Channel");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
}

// "Port Open Fail" stays as it is; a status line after the box names the device, says why it
// could not be opened and what to do. A failure nobody can explain adds nothing.
TEST(TrialOpenPortTest, WhyThePortDidNotOpenIsExplainedAfterTheBox) {
    const struct {
        OpenFailure failure;
        std::string advice;
    } cases[] = {
        {{OpenError::PermissionDenied, "/dev/ttyUSB0", "dialout"},
         "[Error] : Permission denied for /dev/ttyUSB0 (owned by group dialout). Add your "
         "account to the group: sudo usermod -aG dialout $USER, then log in again. \r\n"},
        {{OpenError::PermissionDenied, "/dev/ttyS4", ""},
         "[Error] : Permission denied for /dev/ttyS4. Ask the administrator for read and write "
         "access to it. \r\n"},
        {{OpenError::Busy, "/dev/ttyUSB0", ""},
         "[Error] : /dev/ttyUSB0 is in use by another program: close that program (a terminal, "
         "another download) and try again. \r\n"},
        {{OpenError::NoDevice, "COM9", ""},
         "[Error] : COM9 is not there: check the port's name and that the adapter is plugged in "
         "(Search, or tamrix-cli ports, lists the ports present). \r\n"},
        {{OpenError::None, "", ""}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.advice);
        CVirtualClock clock;
        RecordingWindow window;
        const ChannelOpener opener = [&](int, Wiring) {
            auto channel = std::make_unique<FakeChannel>(clock);
            channel->openResult = 0;
            channel->openFailure = c.failure;
            return OpenedChannel{std::move(channel), false};
        };
        EXPECT_FALSE(TrialOpenPort(opener, 9600, Wiring::TwoWire, &window));
        ASSERT_EQ(window.events.size(), c.advice.empty() ? 2u : 3u);
        EXPECT_EQ(window.events[0].text, "Port Open Fail  \r\n");
        EXPECT_EQ(window.events[1].kind, test::WindowEvent::MessageBox);
        EXPECT_EQ(window.events[1].caption, "Channel");
        if (!c.advice.empty()) {
            EXPECT_EQ(window.events[2].kind, test::WindowEvent::AddedStatusLine);
            EXPECT_EQ(window.events[2].text, c.advice);
        }
    }
}

}  // namespace
}  // namespace tamrix
