// The pieces under the main window: where the choices are stored, and the hand-over that carries
// the worker's reports to the window's thread.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/DialogChoices.h"
#include "app/qt/AppIcon.h"
#include "app/qt/GuiHandOver.h"
#include "app/qt/QtProfile.h"
#include "app/qt/TamrixApp.h"
#include "app/qt/TamrixDlg.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix {
namespace {

TEST(AppSettingsTest, ChoicesAreKeptPerProgramNameInTheFirmwareDownloaderSection) {
    EXPECT_EQ(CTamrixApp::SettingsApplicationName("/opt/tamrix/bin/tamrix"), "tamrix");
    EXPECT_EQ(CTamrixApp::SettingsApplicationName("C:/Tools/Tamrix.exe"), "Tamrix");
    // A renamed program has settings of its own.
    EXPECT_EQ(CTamrixApp::SettingsApplicationName("/opt/tamrix/bin/tamrix-bench.exe"),
              "tamrix-bench");

    QCoreApplication::setOrganizationName(kSettingsOrganisation);
    QCoreApplication::setApplicationName("tamrix-settings-test");
    CQtProfile profile;
    EXPECT_EQ(ReadDialogChoices(profile).portIndex, 3);  // nothing stored yet
    EXPECT_FALSE(ReadSwitch(profile, kVerifyEntry));
    WriteDialogChoices(profile, DialogChoices{1, 6, 3, "/srv/fw/update.bin"});
    WriteSwitch(profile, kVerifyEntry, true);
    WriteSwitch(profile, kRunReportEntry, false);
    QSettings().sync();

    const QString file = QDir(qEnvironmentVariable("XDG_CONFIG_HOME"))
                             .filePath(
                                 "Local AppWizard-Generated Applications/"
                                 "tamrix-settings-test.conf");
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly)) << file.toStdString();
    const QString text = QString::fromUtf8(stored.readAll());
    EXPECT_TRUE(text.contains("[Firmware_Downloader]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Download_Port_Number=6")) << text.toStdString();
    EXPECT_TRUE(text.contains("Verify=1")) << text.toStdString();
    EXPECT_TRUE(text.contains("RunReport=0")) << text.toStdString();

    const DialogChoices read = ReadDialogChoices(profile);
    EXPECT_EQ(read.interfaceType, 1);
    EXPECT_EQ(read.portIndex, 6);
    EXPECT_EQ(read.baudIndex, 3);
    EXPECT_EQ(read.filePath, "/srv/fw/update.bin");
    EXPECT_TRUE(ReadSwitch(profile, kVerifyEntry));
    EXPECT_FALSE(ReadSwitch(profile, kRunReportEntry));
}

TEST(AppIconTest, TheIconIsBuiltIntoTheProgramInItsSizes) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
    EXPECT_FALSE(icon.pixmap(32, 32).isNull());
}

class GuiHandOverTest : public ::testing::Test {
  protected:
    std::unique_ptr<CTamrixDlg> MakeWindow() {
        TamrixDlgServices services;
        services.profile = &profile;
        services.logPath = folder.File("ProcssLog.log");
        return std::make_unique<CTamrixDlg>(std::move(services));
    }
    test::TempFolder folder;
    CMemoryProfile profile;
};

TEST_F(GuiHandOverTest, TheWorkerWaitsUntilTheWindowHasHandledItsReport) {
    auto window = MakeWindow();
    auto handOver = std::make_shared<CGuiHandOver>(window.get());
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        handOver->SendStatusLine("[Message] : from the worker \r\n");
        returned = true;
    });
    // Until the window's thread turns its event loop, the worker stays in the call.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    ASSERT_TRUE(test::WaitUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_NE(
        test::ReadWholeFile(folder.File("ProcssLog.log")).find(" >> [Message] : from the worker"),
        std::string::npos);
}

TEST_F(GuiHandOverTest, AbandoningLetsAWaitingWorkerGoAndAnswersItsQuestionNo) {
    auto window = MakeWindow();
    auto handOver = std::make_shared<CGuiHandOver>(window.get());
    std::atomic<int> answer{-1};
    std::thread worker([&] {
        answer = static_cast<int>(handOver->ShowMessageBox(
            "Continue?", "File Version", MessageIcon::Question, MessageButtons::YesNo));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    handOver->Abandon();
    worker.join();  // would hang if the worker were left waiting
    EXPECT_EQ(answer, static_cast<int>(MessageAnswer::No));
    // The queued box never opens, and later reports go nowhere.
    window.reset();
    QApplication::processEvents();
    handOver->AddStatusLine("after the window\r\n");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The window goes away while one of the worker's boxes is open on its own thread: Abandon returns
// at once (the box is further down that very thread), and the worker, let go when the box closes,
// takes the careful answer whatever was pressed.
TEST_F(GuiHandOverTest, AWindowAbandonedUnderAnOpenBoxAnswersNoOnceTheBoxCloses) {
    auto window = MakeWindow();
    auto handOver = std::make_shared<CGuiHandOver>(window.get());
    std::atomic<int> answer{-1};
    std::thread worker([&] {
        answer = static_cast<int>(handOver->ShowMessageBox(
            "Continue?", "File Version", MessageIcon::Question, MessageButtons::YesNo));
    });
    QTimer underTheBox;
    underTheBox.setInterval(5);
    QObject::connect(&underTheBox, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        underTheBox.stop();
        handOver->Abandon();
        box->button(QMessageBox::Yes)->click();
    });
    underTheBox.start();
    ASSERT_TRUE(test::WaitUntil([&] { return answer.load() != -1; }));
    worker.join();
    EXPECT_EQ(answer, static_cast<int>(MessageAnswer::No));
}

}  // namespace
}  // namespace tamrix
