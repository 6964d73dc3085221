// The main window with real widgets: its start-up from the stored choices, the selection
// handlers, the status list and the process log, and Program from the start checks to the end of
// a download against a simulated product.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/DialogChoices.h"
#include "app/Profile.h"
#include "app/qt/StatusDisplay.h"
#include "app/qt/TamrixDlg.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "sim/SimTarget.h"
#include "sim/SimVerify.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix {
namespace {

using test::BoxAnswerer;
using test::ReadWholeFile;
using test::WaitUntil;

constexpr const char* kSection = "Firmware_Downloader/";

class TamrixDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        logPath = folder.File("ProcssLog.log");
        mapPath = folder.File("ports");
        setenv("TAMRIX_PORT_MAP", mapPath.c_str(), 1);
    }
    void TearDown() override { unsetenv("TAMRIX_PORT_MAP"); }

    void Store(const char* entry, const QString& value) {
        profile.values[std::string(kSection) + entry] = value.toStdString();
    }
    // Maps COM<number> to `device` in the port map the window loads for every download.
    void MapPort(int number, const std::string& device) {
        ASSERT_TRUE(
            test::WriteWholeFile(mapPath, "COM" + std::to_string(number) + " = " + device + "\n"));
    }

    std::unique_ptr<CTamrixDlg> MakeWindow() {
        TamrixDlgServices services;
        services.profile = &profile;
        services.logPath = logPath;
        services.choosePort = [this](QWidget*) { return searchAnswer; };
        if (!windowsOwnCloseQuestion) {
            services.confirmCloseDuringDownload = [this](QWidget*) {
                ++closeQuestions;
                return closeAnswer;
            };
        }
        auto window = std::make_unique<CTamrixDlg>(std::move(services));
        window->show();
        return window;
    }

    template <class Widget>
    static Widget* Child(CTamrixDlg& window, const char* name) {
        auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static QComboBox* PortCombo(CTamrixDlg& w) { return Child<QComboBox>(w, "comPortCombo"); }
    static QComboBox* BaudCombo(CTamrixDlg& w) { return Child<QComboBox>(w, "baudRateCombo"); }
    static QTableWidget* List(CTamrixDlg& w) { return Child<QTableWidget>(w, "statusList"); }
    static QCheckBox* VerifyCheck(CTamrixDlg& w) { return Child<QCheckBox>(w, "verifyCheck"); }
    static QCheckBox* RunReportCheck(CTamrixDlg& w) {
        return Child<QCheckBox>(w, "runReportCheck");
    }

    // The log texts of the status list, in order.
    static std::vector<std::string> Lines(CTamrixDlg& window) {
        std::vector<std::string> lines;
        QTableWidget* list = List(window);
        for (int row = 0; row < list->rowCount(); ++row)
            lines.push_back(list->item(row, 2)->data(kStatusTextRole).toString().toStdString());
        return lines;
    }
    static bool HasLine(CTamrixDlg& window, const std::string& text) {
        const auto lines = Lines(window);
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    // Which of the controls a download disables are enabled, in the order Browse, Program,
    // Search, COM combo, baud combo, the two switches, and then Exit, the file edit and both
    // radios.
    static std::vector<bool> Enabled(CTamrixDlg& w) {
        return {Child<QPushButton>(w, "browseButton")->isEnabled(),
                Child<QPushButton>(w, "programButton")->isEnabled(),
                Child<QPushButton>(w, "searchButton")->isEnabled(),
                PortCombo(w)->isEnabled(),
                BaudCombo(w)->isEnabled(),
                VerifyCheck(w)->isEnabled(),
                RunReportCheck(w)->isEnabled(),
                Child<QPushButton>(w, "exitButton")->isEnabled(),
                Child<QLineEdit>(w, "filePathEdit")->isEnabled(),
                Child<QRadioButton>(w, "usbWiringRadio")->isEnabled(),
                Child<QRadioButton>(w, "signalWiringRadio")->isEnabled()};
    }
    static void Choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    static void Press(CTamrixDlg& window, const char* button) {
        Child<QPushButton>(window, button)->click();
    }

    test::TempFolder folder;
    std::string logPath;
    std::string mapPath;
    CMemoryProfile profile;
    int searchAnswer = 0;
    bool closeAnswer = false;
    int closeQuestions = 0;
    bool windowsOwnCloseQuestion = false;  // the real box instead of closeAnswer
};

TEST_F(TamrixDlgTest, StartsFromTheStoredChoicesOrTheDefaults) {
    {
        SCOPED_TRACE("fresh profile");
        auto window = MakeWindow();
        EXPECT_EQ(window->windowTitle(), "ZKT Orvane Firmware Update Utility.  Ver-1.0");
        EXPECT_EQ(PortCombo(*window)->currentText(), "COM4");
        EXPECT_EQ(PortCombo(*window)->count(), 15);
        EXPECT_EQ(BaudCombo(*window)->currentText(), "115200");
        EXPECT_TRUE(Child<QRadioButton>(*window, "usbWiringRadio")->isChecked());
        EXPECT_EQ(Child<QLineEdit>(*window, "filePathEdit")->text(), "");
        EXPECT_EQ(Child<QLabel>(*window, "progressLabel")->text(), "Progress....");
        QHeaderView* header = List(*window)->horizontalHeader();
        EXPECT_EQ(List(*window)->horizontalHeaderItem(0)->text(), "No");
        EXPECT_EQ(List(*window)->horizontalHeaderItem(1)->text(), "Time");
        EXPECT_EQ(List(*window)->horizontalHeaderItem(2)->text(), "Log");
        EXPECT_GE(header->sectionSize(1), 130);
        EXPECT_EQ(Lines(*window).size(), 0u);
    }
    {
        SCOPED_TRACE("stored 0, 0, 0 and a path");
        Store("Interface_Type", "0");
        Store("Download_Port_Number", "0");
        Store("Download_Baud_Rate", "0");
        Store("Firmware_File_Path", "/srv/fw/update.bin");
        auto window = MakeWindow();
        EXPECT_EQ(PortCombo(*window)->currentText(), "COM1");
        EXPECT_EQ(BaudCombo(*window)->currentText(), "1200");
        EXPECT_TRUE(Child<QRadioButton>(*window, "usbWiringRadio")->isChecked());
        EXPECT_EQ(Child<QLineEdit>(*window, "filePathEdit")->text(), "/srv/fw/update.bin");
    }
    {
        SCOPED_TRACE("255 counts as not stored; the one-wire wiring");
        Store("Interface_Type", "1");
        Store("Download_Port_Number", "255");
        Store("Download_Baud_Rate", "255");
        auto window = MakeWindow();
        EXPECT_TRUE(Child<QRadioButton>(*window, "signalWiringRadio")->isChecked());
        EXPECT_EQ(PortCombo(*window)->currentText(), "COM4");
        EXPECT_EQ(BaudCombo(*window)->currentText(), "115200");
    }
    {
        SCOPED_TRACE("a damaged baud choice and a port beyond the list");
        Store("Download_Port_Number", "19");
        Store("Download_Baud_Rate", "9");
        auto window = MakeWindow();
        EXPECT_EQ(BaudCombo(*window)->currentText(), "115200");
        EXPECT_EQ(Lines(*window),
                  std::vector<std::string>{"[Notice] : The stored baud rate choice 9 is not in "
                                           "the list; 115200 is used. \r\n"});
        // The combo shows no port, but the stored number stands: Program opens COM20.
        EXPECT_EQ(PortCombo(*window)->currentIndex(), -1);
        EXPECT_EQ(window->Choices().portIndex, 19);
    }
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(TamrixDlgTest, SelectionsAddTheirStatusLinesToTheListAndTheLogButStoreNothing) {
    // Entries of earlier runs stay; the new window still numbers its rows from 1.
    ASSERT_TRUE(test::WriteWholeFile(logPath, "2026-01-01 (00:00:00) >> earlier \r\n "));
    auto window = MakeWindow();
    Choose(PortCombo(*window), 6);
    Choose(BaudCombo(*window), 3);
    EXPECT_EQ(Lines(*window), (std::vector<std::string>{"COM Port change: COM7 \r\n",
                                                        "Baud Rate change: 9600 \r\n"}));
    QTableWidget* list = List(*window);
    // Shown on one line without its line end; kept whole.
    EXPECT_EQ(list->item(0, 2)->text(), "COM Port change: COM7 ");
    EXPECT_EQ(list->item(0, 0)->text(), "1");
    EXPECT_EQ(list->item(1, 0)->text(), "2");
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\(\\d\\d:\\d\\d:\\d\\d\\)$")
                    .match(list->item(1, 1)->text())
                    .hasMatch());
    // The newest row is selected and current; the earlier one stays selected.
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 2);

    // Each entry: the time, " >> ", the text unchanged and one blank, appended.
    const std::string log = ReadWholeFile(logPath);
    const QRegularExpression entries(
        "^2026-01-01 \\(00:00:00\\) >> earlier \r\n "
        "\\d{4}-\\d\\d-\\d\\d \\(\\d\\d:\\d\\d:\\d\\d\\) >> COM Port change: COM7 \r\n "
        "\\d{4}-\\d\\d-\\d\\d \\(\\d\\d:\\d\\d:\\d\\d\\) >> Baud Rate change: 9600 \r\n $");
    EXPECT_TRUE(entries.match(QString::fromStdString(log)).hasMatch()) << log;
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(TamrixDlgTest, SearchSelectsThePortItFoundAndKeepsOneAboveTheList) {
    auto window = MakeWindow();
    searchAnswer = 0;
    Press(*window, "searchButton");
    EXPECT_EQ(PortCombo(*window)->currentText(), "COM4");
    EXPECT_TRUE(Lines(*window).empty());

    searchAnswer = 3;
    Press(*window, "searchButton");
    EXPECT_EQ(PortCombo(*window)->currentText(), "COM3");
    EXPECT_EQ(window->Choices().portIndex, 2);
    EXPECT_TRUE(PortCombo(*window)->hasFocus() || QApplication::focusWidget() == nullptr);

    // A USB adapter numbered above the list joins it instead of leaving the window on "COM0".
    searchAnswer = 20;
    Press(*window, "searchButton");
    EXPECT_EQ(PortCombo(*window)->currentText(), "COM20");
    EXPECT_EQ(window->Choices().portIndex, 19);
    Choose(PortCombo(*window), 0);
    Choose(PortCombo(*window), PortCombo(*window)->count() - 1);
    EXPECT_EQ(Lines(*window), (std::vector<std::string>{
                                  "COM Port change: COM3 \r\n", "COM Port change: COM20 \r\n",
                                  "COM Port change: COM1 \r\n", "COM Port change: COM20 \r\n"}));
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(TamrixDlgTest, ProgramRefusesAnEmptyPathAndAPortThatCannotBeOpened) {
    auto window = MakeWindow();
    {
        SCOPED_TRACE("empty path");
        BoxAnswerer answerer(QMessageBox::Ok);
        Press(*window, "programButton");
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].text, "Error opening HEX file for input!");
        EXPECT_EQ(answerer.boxes[0].caption, QCoreApplication::applicationName());
        EXPECT_EQ(ReadWholeFile(logPath), "");
    }
    {
        SCOPED_TRACE("port that cannot be opened");
        MapPort(4, folder.File("no-such-device"));
        Child<QLineEdit>(*window, "filePathEdit")->setText("/srv/fw/update.bin");
        BoxAnswerer answerer(QMessageBox::Ok);
        Press(*window, "programButton");
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].text, "Port Open Fail");
        EXPECT_EQ(answerer.boxes[0].caption, "Channel");
        EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
        const std::string log = ReadWholeFile(logPath);
        EXPECT_NE(log.find(" >> Firmware Download Process Start!!  \r\n "), std::string::npos);
        EXPECT_NE(log.find(" >> Port Open Fail  \r\n "), std::string::npos);
        EXPECT_EQ(log.find("Download Info."), std::string::npos);
    }
    EXPECT_FALSE(window->IsDownloading());
    EXPECT_EQ(Enabled(*window), std::vector<bool>(11, true));
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(TamrixDlgTest, TheTwoSwitchesStartOffAndAreStoredAsSoonAsTheyAreChanged) {
    {
        SCOPED_TRACE("fresh profile");
        auto window = MakeWindow();
        EXPECT_FALSE(VerifyCheck(*window)->isChecked());
        EXPECT_FALSE(RunReportCheck(*window)->isChecked());
        EXPECT_TRUE(profile.writes.empty());
        VerifyCheck(*window)->click();
        RunReportCheck(*window)->click();
        EXPECT_EQ(profile.writes, (std::vector<std::string>{"Firmware_Downloader/Verify",
                                                            "Firmware_Downloader/RunReport"}));
        EXPECT_EQ(profile.values["Firmware_Downloader/Verify"], "1");
        EXPECT_EQ(profile.values["Firmware_Downloader/RunReport"], "1");
    }
    {
        SCOPED_TRACE("both stored on; one turned off again");
        auto window = MakeWindow();
        EXPECT_TRUE(VerifyCheck(*window)->isChecked());
        EXPECT_TRUE(RunReportCheck(*window)->isChecked());
        VerifyCheck(*window)->click();
        EXPECT_EQ(profile.values["Firmware_Downloader/Verify"], "0");
    }
    {
        SCOPED_TRACE("values that are neither 0 nor 1 are off");
        Store("Verify", "yes");
        Store("RunReport", "2");
        auto window = MakeWindow();
        EXPECT_FALSE(VerifyCheck(*window)->isChecked());
        EXPECT_FALSE(RunReportCheck(*window)->isChecked());
        // The report lies beside the process log.
        EXPECT_EQ(window->RunReportPath(), folder.File("TamrixRuns.jsonl"));
    }
}

// A simulated product on a pseudo-terminal, mapped to COM7, and the sample firmware for it.
class TamrixDlgDownloadTest : public TamrixDlgTest {
  protected:
    void StartProduct(uint16_t appVersion, bool pace = false, int baud = 115200) {
        SimOptions options;
        options.chip = "dsPIC30F6014A";
        options.productCode = 12345;
        options.appVersion = appVersion;
        options.pace = pace;
        options.bootBaud = baud;
        options.faults = faults;
        product = std::make_unique<CSimTarget>(options);
        std::string error;
        ASSERT_TRUE(product->Start(&error)) << error;
        MapPort(7, product->DevicePath());
        Store("Download_Port_Number", "6");
        Store("Download_Baud_Rate", QString::number(BaudIndexFromRate(baud)));
        Store("Firmware_File_Path", QString::fromLatin1(kSampleFirmware));
    }
    static std::map<uint32_t, uint8_t> SampleImage() {
        std::string text = ReadWholeFile(kSampleFirmware);
        ApplyKeystream(reinterpret_cast<uint8_t*>(text.data()), text.size());
        std::map<uint32_t, uint8_t> image;
        ParseIntelHex(text.data(), static_cast<int>(text.size()), image);
        return image;
    }

    // The status lines that begin with `start`.
    static std::vector<std::string> LinesStartingWith(CTamrixDlg& window,
                                                      const std::string& start) {
        std::vector<std::string> found;
        for (const std::string& line : Lines(window)) {
            if (line.rfind(start, 0) == 0)
                found.push_back(line);
        }
        return found;
    }
    // The run report's lines, each parsed.
    std::vector<nlohmann::json> RunReports() {
        std::vector<nlohmann::json> reports;
        std::istringstream lines(ReadWholeFile(folder.File("TamrixRuns.jsonl")));
        for (std::string line; std::getline(lines, line);)
            reports.push_back(nlohmann::json::parse(line));
        return reports;
    }

    static constexpr const char* kSampleFirmware = TAMRIX_SAMPLE_FIRMWARE;
    SimFaults faults;
    std::unique_ptr<CSimTarget> product;
};

TEST_F(TamrixDlgDownloadTest, ProgramRunsADownloadAndReturnsTheWindowToIdle) {
    StartProduct(1000);
    const auto before = product->HexImage();
    auto window = MakeWindow();
    BoxAnswerer answerer(QMessageBox::Yes);
    Press(*window, "programButton");

    // Exactly the seven controls are disabled while the worker runs.
    ASSERT_TRUE(window->IsDownloading());
    EXPECT_EQ(Enabled(*window), (std::vector<bool>{false, false, false, false, false, false, false,
                                                   true, true, true, true}));
    EXPECT_EQ(profile.writes, (std::vector<std::string>{"Firmware_Downloader/Interface_Type",
                                                        "Firmware_Downloader/Download_Port_Number",
                                                        "Firmware_Downloader/Download_Baud_Rate",
                                                        "Firmware_Downloader/Firmware_File_Path"}));
    EXPECT_EQ(profile.values["Firmware_Downloader/Download_Port_Number"], "6");

    ASSERT_TRUE(WaitUntil([&] { return !window->IsDownloading(); }));
    EXPECT_EQ(Enabled(*window), std::vector<bool>(11, true));
    EXPECT_TRUE(answerer.boxes.empty()) << answerer.boxes[0].text.toStdString();
    EXPECT_EQ(Child<QProgressBar>(*window, "progressBar")->value(), 100);
    EXPECT_EQ(Child<QLabel>(*window, "progressLabel")->text(), "Programing Successfully...100%");
    EXPECT_TRUE(HasLine(*window, "[Message] : Application Firmware Download \r\n"));
    EXPECT_TRUE(HasLine(*window, "[Message] : Successfully Done !!\r\n"));
    // The download ends with the link line tamrix-cli prints, after the last line of the download.
    EXPECT_EQ(Lines(*window).back().rfind("Link: ", 0), 0u) << Lines(*window).back();
    EXPECT_NE(Lines(*window).back().find(" of the line rate (115200 baud)\r\n"), std::string::npos)
        << Lines(*window).back();

    const std::string log = ReadWholeFile(logPath);
    EXPECT_NE(log.find(" >> Download Info. Port : 7, BaudRate : 115200, SignalType : 0  \r\n "),
              std::string::npos);
    EXPECT_NE(log.find(" >> Link: "), std::string::npos);
    EXPECT_NE(log.find(" >> Flash Program Success! \r\n "), std::string::npos);
    // Every status line of the list is in the log.
    for (const std::string& line : Lines(*window))
        EXPECT_NE(log.find(" >> " + line + " "), std::string::npos) << line;

    ASSERT_TRUE(product->WaitFor([&] { return product->State() == SimState::Application; }, 5000));
    const SimVerifyResult check = VerifySimFlash(*product, SampleImage(), before);
    EXPECT_TRUE(check.matches) << check.difference;
}

TEST_F(TamrixDlgDownloadTest, VerifyStopsAtARowStoredWrongAndTheRunReportRecordsTheRun) {
    faults.corruptProgramRow = 3;  // the fourth row takes one instruction wrong
    StartProduct(1000);
    auto window = MakeWindow();
    VerifyCheck(*window)->click();
    RunReportCheck(*window)->click();
    BoxAnswerer answerer(QMessageBox::Ok);
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] { return !window->IsDownloading(); }));

    const auto failures = LinesStartingWith(*window, "[Error] : Address 0x");
    ASSERT_EQ(failures.size(), 1u) << testing::PrintToString(Lines(*window));
    EXPECT_NE(failures[0].find("Verify Fail!! Written 0x"), std::string::npos) << failures[0];
    EXPECT_FALSE(HasLine(*window, "[Message] : Successfully Done !!\r\n"));
    EXPECT_TRUE(LinesStartingWith(*window, "[Message] : Verify Done").empty());
    EXPECT_EQ(Enabled(*window), std::vector<bool>(11, true));

    const auto reports = RunReports();
    ASSERT_EQ(reports.size(), 1u);
    const nlohmann::json& report = reports[0];
    EXPECT_EQ(report["outcome"], "verify failed");
    EXPECT_EQ(report["success"], false);
    EXPECT_EQ(report["port"], "COM7");
    EXPECT_EQ(report["baud"], 115200);
    EXPECT_EQ(report["verify"], true);
    // Three rows read back equal; the fourth was acknowledged and then found to differ.
    EXPECT_EQ(report["rowsVerified"], 3);
    EXPECT_EQ(report["rowsWritten"], 4);
    EXPECT_EQ(report["program"], "tamrix");
    EXPECT_TRUE(report["exitStatus"].is_null());
    EXPECT_EQ(report["file"]["path"], kSampleFirmware);
    EXPECT_EQ(report["file"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(report["chip"]["name"], "dsPIC30F6014A");
    EXPECT_EQ(report["lastStatusLine"], failures[0].substr(0, failures[0].size() - 2));

    // The same product powered off and on, without the fault: the rows are read back equal, and
    // the second run's line follows the first.
    product->PowerCycle();
    faults.corruptProgramRow = -1;
    product->SetFaults(faults);
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] { return !window->IsDownloading(); }, 120000));
    EXPECT_TRUE(HasLine(*window, "[Message] : Successfully Done !!\r\n"));
    const auto done = LinesStartingWith(*window, "[Message] : Verify Done: ");
    ASSERT_EQ(done.size(), 1u);
    const auto both = RunReports();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1]["outcome"], "success");
    // The report counts the rows the window said were read back.
    const QRegularExpressionMatch counted =
        QRegularExpression("^\\[Message\\] : Verify Done: (\\d+) program rows")
            .match(QString::fromStdString(done[0]));
    ASSERT_TRUE(counted.hasMatch()) << done[0];
    EXPECT_EQ(both[1]["rowsVerified"], counted.captured(1).toInt());
    EXPECT_TRUE(answerer.boxes.empty()) << answerer.boxes[0].text.toStdString();
}

TEST_F(TamrixDlgDownloadTest, ARunReportThatCannotBeWrittenIsSaidAfterTheDownloadsOwnLines) {
    StartProduct(1000);
    // A folder where the report file would be: nothing can be appended to it.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder.File("TamrixRuns.jsonl"))));
    Store("Firmware_File_Path", QString::fromStdString(folder.File("missing.bin")));
    Store("RunReport", "1");
    auto window = MakeWindow();
    BoxAnswerer answerer(QMessageBox::Ok);
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] { return !window->IsDownloading(); }));

    const auto lines = Lines(*window);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back().rfind("[Notice] : The run report " + folder.File("TamrixRuns.jsonl") +
                                     " cannot be written (",
                                 0),
              0u)
        << lines.back();
    EXPECT_EQ(LinesStartingWith(*window, "[Notice] : The run report").size(), 1u);
    // The download's own last line and its link line are still there, just before it.
    EXPECT_EQ(lines[lines.size() - 3],
              "[Message] : File Loading Fail. Download Process Stop! \r\n");
    EXPECT_EQ(lines[lines.size() - 2].rfind("Link: 0 rows, ", 0), 0u) << lines[lines.size() - 2];
    EXPECT_NE(ReadWholeFile(logPath).find(" >> [Notice] : The run report "), std::string::npos);
}

TEST_F(TamrixDlgDownloadTest, ADowngradeAnsweredNoInTheBoxStopsTheDownload) {
    StartProduct(2000);  // the product runs 2.0, the file brings 1.1
    const auto before = product->HexImage();
    auto window = MakeWindow();
    BoxAnswerer answerer(QMessageBox::No);
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] { return !window->IsDownloading(); }));

    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_TRUE(answerer.boxes[0].text.contains("lower than the product version"))
        << answerer.boxes[0].text.toStdString();
    EXPECT_EQ(answerer.boxes[0].buttons, int(QMessageBox::Yes | QMessageBox::No));
    EXPECT_FALSE(HasLine(*window, "[Message] : Successfully Done !!\r\n"));
    EXPECT_EQ(Enabled(*window), std::vector<bool>(11, true));
    EXPECT_EQ(product->HexImage(), before);
}

TEST_F(TamrixDlgDownloadTest, ClosingDuringADownloadAsksStopsItAndReleasesThePort) {
    StartProduct(1000, /*pace=*/true, 57600);
    auto window = MakeWindow();
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] {
        return Child<QLabel>(*window, "progressLabel")->text().startsWith("Flash Programing...");
    }));

    // Declined: the window stays and the download goes on.
    closeAnswer = false;
    window->close();
    EXPECT_EQ(closeQuestions, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->IsDownloading());

    closeAnswer = true;
    window->close();
    EXPECT_EQ(closeQuestions, 2);
    EXPECT_FALSE(window->isVisible());
    const int rowsAtClose = List(*window)->rowCount();
    window->WaitForDownloadEnd();
    // Longer than the window's timer period: a timer left running would report the end.
    QElapsedTimer events;
    events.start();
    while (events.elapsed() < 400)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    // Nothing more reached the closed window; the log says what happened and how the link went.
    EXPECT_EQ(List(*window)->rowCount(), rowsAtClose);
    const std::string log = ReadWholeFile(logPath);
    EXPECT_NE(log.find(" >> Window closed during the download"), std::string::npos);
    EXPECT_NE(log.find(" >> Link: "), std::string::npos) << log;
    window.reset();

    // The port is free at once, and the product, left in its bootloader, takes a new download
    // once it has been powered off and on.
    product->PowerCycle();
    auto again = MakeWindow();
    BoxAnswerer answerer(QMessageBox::Yes);
    Press(*again, "programButton");
    ASSERT_TRUE(WaitUntil([&] { return !again->IsDownloading(); }, 120000));
    EXPECT_TRUE(HasLine(*again, "[Message] : Successfully Done !!\r\n"))
        << testing::PrintToString(Lines(*again));
}

// The close question warns of the download; once that has ended there is nothing to warn of, and
// the question goes by itself and lets the window close.
TEST_F(TamrixDlgDownloadTest, TheCloseQuestionGoesByItselfWhenTheDownloadEnds) {
    StartProduct(1000, /*pace=*/true, 57600);
    windowsOwnCloseQuestion = true;
    auto window = MakeWindow();
    Press(*window, "programButton");
    ASSERT_TRUE(WaitUntil([&] {
        return Child<QLabel>(*window, "progressLabel")->text().startsWith("Flash Programing...");
    }));

    QString asked;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            asked = window->IsDownloading() ? box->text() : "asked after the end";
    });
    // Against a hang: a question still open long after the download has ended is answered No.
    QTimer::singleShot(30000, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::No);
    });
    window->close();  // returns once the question has gone

    EXPECT_TRUE(asked.startsWith("A download is running.")) << asked.toStdString();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->IsDownloading());
    // The download ran to its end: closing did not stop it.
    EXPECT_TRUE(HasLine(*window, "[Message] : Successfully Done !!\r\n"));
}

TEST_F(TamrixDlgTest, TheAboutBoxOpensFromTheHelpEntryAndF1) {
    auto window = MakeWindow();
    QAction* about = nullptr;
    for (QAction* action : window->actions()) {
        if (action->text() == "&About ZKT Orvane Firmware Update Utility")
            about = action;
    }
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->shortcut(), QKeySequence(QKeySequence::HelpContents));

    QStringList seen;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        seen << box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>())
            seen << label->text();
        box->close();
    });
    about->trigger();
    EXPECT_TRUE(seen.contains("ZKT Orvane"));
    EXPECT_TRUE(seen.contains("ZKT Orvane Firmware  Update Utility"));
    EXPECT_TRUE(seen.contains("Ver 1.0"));
}

}  // namespace
}  // namespace tamrix
