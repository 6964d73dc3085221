// The dialog's logic without any window toolkit: start-up from the stored choices, the numbered
// status rows and the process log, Program from its checks to the end of a worker, and closing
// while a download runs. A recording view stands in for the window.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/DialogLogic.h"
#include "app/Profile.h"
#include "app/WindowHandOver.h"
#include "tests/download/TempDir.h"
#include "tests/support/FakeChannel.h"

namespace tamrix {
namespace {

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = test::ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Hands every call straight to the logic: the test's thread waits while the worker runs. With a
// `gate`, the worker's calls wait until it opens, as a worker waits for a busy window.
class DirectHandOver : public CWindowHandOver {
  public:
    DirectHandOver(CReportWindow* window, const std::atomic<bool>* gate)
        : window_(window), gate_(gate) {}
    void NotifyDownloadEnded() override {}
    void Abandon() override {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = nullptr;
    }

  protected:
    MessageAnswer Forward(const ReportCall& call) override {
        if (gate_ != nullptr && std::this_thread::get_id() != windowThread_) {
            while (!gate_->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return call.SendTo(window_);
    }

  private:
    std::mutex mutex_;
    CReportWindow* window_;
    const std::atomic<bool>* const gate_;
    const std::thread::id windowThread_ = std::this_thread::get_id();
};

class RecordingView : public CDialogView {
  public:
    void AppendStatusRow(int number, const std::string&, const std::string& text) override {
        rows.push_back(std::to_string(number) + " " + text);
    }
    void ShowProgress(int value, const std::string& text) override {
        bar = value;
        label = text;
    }
    MessageAnswer ShowBox(const std::string& text, const std::string& caption, MessageIcon,
                          MessageButtons) override {
        boxes.push_back(caption + ": " + text);
        return MessageAnswer::Ok;
    }
    void EnableDownloadControls(bool enable) override { enabled.push_back(enable); }
    void PushFields() override {}
    void SetTimerRunning(bool running) override { timer = running; }
    std::shared_ptr<CWindowHandOver> MakeHandOver() override {
        return std::make_shared<DirectHandOver>(logic, holdWorkerUntil);
    }
    bool ConfirmCloseDuringDownload() override { return ++closeQuestions > 1; }
    bool IsShown() const override { return true; }

    CDialogLogic* logic = nullptr;
    const std::atomic<bool>* holdWorkerUntil = nullptr;
    std::vector<std::string> rows, boxes;
    std::vector<bool> enabled;
    int bar = -1;
    std::string label;
    bool timer = false;
    int closeQuestions = 0;
};

class DialogLogicTest : public ::testing::Test {
  protected:
    std::unique_ptr<CDialogLogic> MakeLogic() {
        DialogLogicServices services;
        services.profile = &profile;
        services.logPath = folder.Path("ProcssLog.log");
        services.downloadSettings.clock = &clock;
        services.downloadSettings.openChannel = [this](int, Wiring) {
            ++openings;
            // The first opening (the trial) answers as told; the download's own hangs until let go.
            if (openings > 1)
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return OpenedChannel{std::make_unique<test::FakeChannel>(clock), portOpens};
        };
        auto logic = std::make_unique<CDialogLogic>(view, std::move(services));
        view.logic = logic.get();
        logic->Start();
        return logic;
    }
    void Store(const std::string& entry, const std::string& value) {
        profile.values["Firmware_Downloader/" + entry] = value;
    }
    void WaitForIdle(CDialogLogic& logic) {
        release = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!logic.OnTimer() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    test::TempDir folder;
    CMemoryProfile profile;
    RecordingView view;
    CVirtualClock clock;
    std::atomic<int> openings{0};
    std::atomic<bool> release{false};
    bool portOpens = true;
};

TEST_F(DialogLogicTest, StartsFromTheStoredChoicesAndNumbersItsRowsFromOne) {
    Store("Interface_Type", "1");
    Store("Download_Port_Number", "255");
    Store("Download_Baud_Rate", "9");
    Store("Firmware_File_Path", "/srv/fw/update.bin");
    Store("Verify", "1");
    Store("RunReport", "yes");
    folder.Write("ProcssLog.log", {'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', '\r', '\n', ' '});
    auto logic = MakeLogic();
    EXPECT_EQ(logic->Choices().interfaceType, 1);
    EXPECT_EQ(logic->Choices().portIndex, 3);  // 255: not stored
    EXPECT_EQ(logic->Choices().baudIndex, 7);
    EXPECT_EQ(logic->Choices().filePath, "/srv/fw/update.bin");
    EXPECT_TRUE(logic->Verify());
    EXPECT_FALSE(logic->RunReport());
    EXPECT_EQ(logic->ProgressText(), "Progress....");
    EXPECT_EQ(logic->RunReportPath(), FolderOfPath(folder.Path("x")) + "/TamrixRuns.jsonl");

    logic->OnComPortChange(6);
    logic->OnBaudRateChange(3);
    logic->SendProgress(45, "Flash Programing...");
    EXPECT_EQ(view.rows, (std::vector<std::string>{
                             "1 [Notice] : The stored baud rate choice 9 is not in the list; "
                             "115200 is used. \r\n",
                             "2 COM Port change: COM7 \r\n", "3 Baud Rate change: 9600 \r\n"}));
    EXPECT_EQ(view.label, "Flash Programing...45%");
    EXPECT_EQ(view.bar, 45);
    const std::string log = Text(folder.Path("ProcssLog.log"));
    EXPECT_EQ(log.rfind("earlier \r\n ", 0), 0u);
    EXPECT_NE(log.find(" >> Baud Rate change: 9600 \r\n "), std::string::npos);
    EXPECT_TRUE(profile.writes.empty());
    logic->SetRunReport(true);
    EXPECT_EQ(profile.writes, std::vector<std::string>{"Firmware_Downloader/RunReport"});
}

TEST_F(DialogLogicTest, ProgramRefusesAnEmptyPathAndAPortThatCannotBeOpened) {
    auto logic = MakeLogic();
    logic->OnProgram();
    logic->Choices().filePath = folder.Path("update.bin");
    portOpens = false;
    logic->OnProgram();
    EXPECT_EQ(view.boxes, (std::vector<std::string>{": Error opening HEX file for input!",
                                                    "Channel: Port Open Fail"}));
    EXPECT_FALSE(logic->IsDownloading());
    EXPECT_TRUE(view.enabled.empty());
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(DialogLogicTest, ProgramStoresTheChoicesAndTheTimerReturnsTheWindowToIdle) {
    Store("RunReport", "1");
    auto logic = MakeLogic();
    logic->Choices().filePath = folder.Path("missing.bin");
    logic->OnProgram();
    ASSERT_TRUE(logic->IsDownloading());
    EXPECT_TRUE(view.timer);
    EXPECT_EQ(view.enabled, std::vector<bool>{false});
    EXPECT_EQ(profile.writes, (std::vector<std::string>{"Firmware_Downloader/Interface_Type",
                                                        "Firmware_Downloader/Download_Port_Number",
                                                        "Firmware_Downloader/Download_Baud_Rate",
                                                        "Firmware_Downloader/Firmware_File_Path"}));
    WaitForIdle(*logic);
    EXPECT_FALSE(logic->IsDownloading());
    EXPECT_FALSE(view.timer);
    EXPECT_EQ(view.enabled, (std::vector<bool>{false, true}));
    EXPECT_NE(Text(folder.Path("TamrixRuns.jsonl")).find("\"tamrix\""), std::string::npos);
}

TEST_F(DialogLogicTest, ClosingDuringADownloadAsksAndLetsTheDownloadGo) {
    view.holdWorkerUntil = &release;  // the download still runs when the window closes
    auto logic = MakeLogic();
    logic->Choices().filePath = folder.Path("update.bin");
    logic->OnProgram();
    ASSERT_TRUE(logic->IsDownloading());
    EXPECT_FALSE(logic->OnClose());  // No: the window stays
    EXPECT_TRUE(logic->OnClose());   // Yes
    release = true;
    logic->WaitForDownloadEnd();
    EXPECT_NE(Text(folder.Path("ProcssLog.log")).find("Window closed during the download"),
              std::string::npos);
    EXPECT_EQ(view.closeQuestions, 2);
}

}  // namespace
}  // namespace tamrix
