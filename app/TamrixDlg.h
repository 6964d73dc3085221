#pragma once
// CTamrixDlg, the main window: the technician picks the firmware file, the COM port, the baud
// rate and the wiring, presses Program, and follows the download in the status list, the progress
// bar and the process log. The window remembers the four choices, and stores them when a download
// starts. Two switches go with them: read every program row back after writing it, and keep a run
// report (one JSON line per download in "TamrixRuns.jsonl" beside the process log); these are
// stored as soon as they are changed.
//
// Two states: idle, and downloading (Browse, Program, Search, both combo boxes and both switches
// disabled, the worker running, a 250 ms timer watching for its end). The worker reports through a
// hand-over to this window's thread (CGuiHandOver); it never touches a widget.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/DialogChoices.h"
#include "common/ReportWindow.h"
#include "download/DownloadStart.h"
#include "download/RunReport.h"

namespace Ui {
class CTamrixDlg;
}

namespace tamrix {

class CGuiHandOver;
class CProfile;
class CReportRelay;
class CStatusDisplay;

// What the window works with. The program fills it with the real things; tests replace pieces.
struct TamrixDlgServices {
    CProfile* profile = nullptr;  // the settings store (not owned, outlives the window)
    // Seed, bootloader table and clock of every download; `openChannel` empty means serial ports
    // on the chosen COM number through the port map, which is loaded anew for every download.
    DownloadSettings downloadSettings;
    std::string logPath;  // empty: beside the program, else the per-user state folder
    // Browse's file dialog: the chosen path, or an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const QString& initialPath)> chooseFirmwareFile;
    // Search's port dialog: the chosen COM number, 0 when cancelled or nothing was chosen.
    std::function<int(QWidget* parent)> choosePort;
    // The box that asks whether to close the window while a download runs. When the download
    // ends while it is open, there is nothing left to warn of: the window's own box then closes
    // by itself as if Yes had been pressed (see CTamrixDlg::DownloadEnded).
    std::function<bool(QWidget* parent)> confirmCloseDuringDownload;
};

class CTamrixDlg : public QDialog, public CReportWindow {
    Q_OBJECT

  public:
    explicit CTamrixDlg(TamrixDlgServices services, QWidget* parent = nullptr);
    ~CTamrixDlg() override;

    // The window as a download sees it: the status list, progress and log, and the download's
    // message boxes. GUI thread only: the worker's reports come through a CGuiHandOver. A
    // programmer's status line (SendStatusLine) is added as any other.
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

    bool IsDownloading() const { return worker_ != nullptr; }
    // Waits until a download stopped by closing the window has ended, so that the program ends
    // with the port released.
    void WaitForDownloadEnd();

    const DialogChoices& Choices() const { return choices_; }
    const std::string& LogPath() const;
    // The run report file: "TamrixRuns.jsonl" in the process log's folder.
    std::string RunReportPath() const;
    // Where the About box is reached from.
    void OnAbout();

  public slots:
    void done(int result) override;

  signals:
    // The running download has ended and the window is idle again.
    void DownloadEnded();

  protected:
#ifdef Q_OS_WIN
    // The About entry of the window's system menu.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

  private slots:
    void OnComPortChange(int index);
    void OnBaudRateChange(int index);
    void OnBrowse();
    void OnSearch();
    void OnProgram();
    void OnTimer();

  private:
    // The constructor's steps, in their order.
    void UseDefaultServices();
    void FillChoiceLists();
    void SetUpWindowFrame();
    void OpenStatusDisplay();
    void ApplyStoredChoices();
    void ApplyStoredSwitches();
    void SayWhereTheLogIs();
    void ConnectControls();
    void SetUpAboutEntry();
    // The framework's data exchange: the file edit, the wiring radios and the progress label.
    void PullFields();
    void PushFields();
    void EnableDownloadControls(bool enable);
    // The COM number of a combo entry.
    int PortNumberOfItem(int index) const;
    // Selects COM<portNumber> in the combo, adding an entry for a port above the list.
    void SelectPortNumber(int portNumber);
    // Drops the running download's reports and asks it to stop (the window is closing).
    void LetGoOfDownload();
    // Appends the ended download's record to the run report when one was asked for at its start.
    void KeepRunReport(DownloadOutcome outcome);

    std::unique_ptr<Ui::CTamrixDlg> ui_;
    TamrixDlgServices services_;
    DialogChoices choices_;
    std::unique_ptr<CStatusDisplay> status_;
    QTimer timer_;
    std::shared_ptr<CGuiHandOver> handOver_;
    std::shared_ptr<CReportRelay> relay_;
    std::unique_ptr<CDownloadWorker> worker_;
    // What the running download's run report line needs besides its record; empty when no report
    // is to be kept.
    std::optional<RunContext> pendingReport_;
};

}  // namespace tamrix
