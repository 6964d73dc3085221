#pragma once
// The main window's logic, free of any toolkit: what the selections, Program, the timer, the two
// switches and closing during a download do, with the settings, the status list's numbering, the
// process log and the run report. Both dialogs (Qt on Linux, the native one on Windows) read their
// controls, call in here and draw what CDialogView is told; neither decides anything itself.
//
// Two states: idle, and downloading (the download controls disabled, the worker running, the
// 250 ms timer watching for its end). GUI thread only: the worker's reports reach this object
// through the window's hand-over (CWindowHandOver), on the GUI thread.

#include <memory>
#include <optional>
#include <string>

#include "app/DialogChoices.h"
#include "app/DialogView.h"
#include "download/DownloadStart.h"
#include "download/ProcessLog.h"
#include "download/RunReport.h"

namespace tamrix {

class CProfile;
class CReportRelay;
class CWindowHandOver;

// What the logic works with. The program fills it with the real things; tests replace pieces.
struct DialogLogicServices {
    CProfile* profile = nullptr;  // the settings store (not owned, outlives the window)
    // Seed, bootloader table and clock of every download; `openChannel` empty means serial ports
    // on the chosen COM number through the port map, which is loaded anew for every download.
    DownloadSettings downloadSettings;
    std::string logPath;  // empty: beside the program, else the per-user state folder
};

// The question asked when the window is closed while a download runs.
inline constexpr const char* kCloseDuringDownloadQuestion =
    "A download is running.\n\n"
    "If you close the window now, the download stops after the row being written, and the "
    "product stays in its bootloader without complete firmware. To finish it, run the download "
    "again.\n\n"
    "Close the window anyway?";

// The run report file, kept in the process log's folder.
inline constexpr const char* kRunReportName = "TamrixRuns.jsonl";

class CDialogLogic : public CReportWindow {
  public:
    CDialogLogic(CDialogView& view, DialogLogicServices services);
    ~CDialogLogic() override;
    CDialogLogic(const CDialogLogic&) = delete;
    CDialogLogic& operator=(const CDialogLogic&) = delete;

    // Start-up, once the window's controls exist: the stored choices and switches, and a word
    // when a stored baud choice is damaged or the log is not kept beside the program. The window
    // then puts Choices() into its controls.
    void Start();

    // The window's fields: it writes the file path and the wiring before Program (its pull from
    // the controls) and reads them back to push them.
    DialogChoices& Choices() { return choices_; }
    const DialogChoices& Choices() const { return choices_; }

    // The two switches, stored as soon as they are changed.
    [[nodiscard]] bool Verify() const { return verify_; }
    [[nodiscard]] bool RunReport() const { return runReport_; }
    void SetVerify(bool on);
    void SetRunReport(bool on);

    // The selections: `portIndex` is the chosen port number - 1 (-1 for no selection).
    void OnComPortChange(int portIndex);
    void OnBaudRateChange(int baudIndex);
    // Program, with the fields already pulled from the controls.
    void OnProgram();
    // The timer (and the worker's notice of its end): true when the download has just ended and
    // the window is idle again.
    [[nodiscard]] bool OnTimer();
    // Exit or the close box: false when the window is to stay open (a download runs and the
    // technician said No). On true a running download has been let go of.
    [[nodiscard]] bool OnClose();
    // Waits until a download stopped by closing the window has ended, so that the program ends
    // with the port released; its run report line is written then.
    void WaitForDownloadEnd();

    [[nodiscard]] bool IsDownloading() const { return worker_ != nullptr; }
    [[nodiscard]] const std::string& LogPath() const { return log_.Path(); }
    [[nodiscard]] std::string RunReportPath() const;
    // The progress label as the window keeps it between updates ("Progress...." at first).
    [[nodiscard]] const std::string& ProgressText() const { return progressText_; }

    // The window as a download sees it, on the GUI thread.
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

  private:
    void ApplyStoredChoices();
    void SayWhereTheLogIs();
    void AppendRow(const std::string& text);
    [[nodiscard]] std::unique_ptr<DownloadParams> MakeParams(DownloadSettings& settings,
                                                             CReportWindow* window) const;
    // Drops the running download's reports and asks it to stop (the window is closing).
    void LetGoOfDownload();
    // The link line of the ended download (and its hint), in the list and the log.
    void SayHowTheLinkWent();
    void SayAfterTheDownload(const std::string& text);
    // Appends the ended download's record to the run report when one was asked for at its start.
    void KeepRunReport(DownloadOutcome outcome);

    CDialogView& view_;
    DialogLogicServices services_;
    DialogChoices choices_;
    bool verify_ = false;
    bool runReport_ = false;
    CProcessLog log_;
    bool logFailureShown_ = false;
    int rows_ = 0;
    std::string progressText_ = "Progress....";
    std::shared_ptr<CWindowHandOver> handOver_;
    std::shared_ptr<CReportRelay> relay_;
    std::unique_ptr<CDownloadWorker> worker_;
    // What the running download's run report line needs besides its record; empty when no report
    // is to be kept.
    std::optional<RunContext> pendingReport_;
    int downloadBaudRate_ = 0;  // the running download's rate, for its link line
};

// The folder part of `path`, up to its last '/' or '\\' ("" when it has none).
[[nodiscard]] std::string FolderOfPath(const std::string& path);

}  // namespace tamrix
