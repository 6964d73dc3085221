#pragma once
// CTamrixDlg, the Qt main window: the technician picks the firmware file, the COM port, the baud
// rate and the wiring, presses Program, and follows the download in the status list, the progress
// bar and the process log. Two switches go with the choices: read every program row back after
// writing it, and keep a run report. What each control does is CDialogLogic's; this window draws
// it, reads its controls and forwards. The worker reports through a hand-over to this window's
// thread (CGuiHandOver); it never touches a widget.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/DialogLogic.h"
#include "app/DialogView.h"
#include "common/ReportWindow.h"

namespace Ui {
class CTamrixDlg;
}

namespace tamrix {

class CProfile;
class CStatusDisplay;

// What the window works with: what its logic works with, and the Qt dialogs it opens. The program
// fills it with the real things; tests replace pieces.
struct TamrixDlgServices : DialogLogicServices {
    // Browse's file dialog: the chosen path, or an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const QString& initialPath)> chooseFirmwareFile;
    // Search's port dialog: the chosen COM number, 0 when cancelled or nothing was chosen.
    std::function<int(QWidget* parent)> choosePort;
    // The box that asks whether to close the window while a download runs. When the download
    // ends while it is open, there is nothing left to warn of: the window's own box then closes
    // by itself as if Yes had been pressed (see CTamrixDlg::DownloadEnded).
    std::function<bool(QWidget* parent)> confirmCloseDuringDownload;
};

class CTamrixDlg : public QDialog, public CReportWindow, private CDialogView {
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

    bool IsDownloading() const { return logic_->IsDownloading(); }
    // Waits until a download stopped by closing the window has ended, so that the program ends
    // with the port released.
    void WaitForDownloadEnd() { logic_->WaitForDownloadEnd(); }

    const DialogChoices& Choices() const { return logic_->Choices(); }
    const std::string& LogPath() const { return logic_->LogPath(); }
    // The run report file: "TamrixRuns.jsonl" in the process log's folder.
    std::string RunReportPath() const { return logic_->RunReportPath(); }
    // Where the About box is reached from.
    void OnAbout();

  public slots:
    void done(int result) override;

  signals:
    // The running download has ended and the window is idle again.
    void DownloadEnded();

  private slots:
    void OnComPortChange(int index);
    void OnBaudRateChange(int index);
    void OnBrowse();
    void OnSearch();
    void OnProgram();
    void OnTimer();

  private:
    // What the logic asks of the window.
    void AppendStatusRow(int number, const std::string& time, const std::string& text) override;
    void ShowProgress(int value, const std::string& label) override;
    MessageAnswer ShowBox(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons) override;
    void EnableDownloadControls(bool enable) override;
    void PushFields() override;
    void SetTimerRunning(bool running) override;
    std::shared_ptr<CWindowHandOver> MakeHandOver() override;
    bool ConfirmCloseDuringDownload() override;
    bool IsShown() const override { return isVisible(); }

    // The constructor's steps, in their order.
    void UseDefaultServices();
    void FillChoiceLists();
    void SetUpWindowFrame();
    void ApplyStoredChoices();
    void ApplyStoredSwitches();
    void ConnectControls();
    void SetUpAboutEntry();
    // The framework's data exchange from the controls: the file edit and the wiring radios.
    void PullFields();
    // The COM number of a combo entry.
    int PortNumberOfItem(int index) const;
    // Selects COM<portNumber> in the combo, adding an entry for a port above the list.
    void SelectPortNumber(int portNumber);

    std::unique_ptr<Ui::CTamrixDlg> ui_;
    TamrixDlgServices services_;
    std::unique_ptr<CStatusDisplay> status_;
    std::unique_ptr<CDialogLogic> logic_;
    QTimer timer_;
};

}  // namespace tamrix
