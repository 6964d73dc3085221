#pragma once
// CTamrixDlg, the main window on Windows: a native dialog from template 102. The technician picks
// the firmware file, the COM port, the baud rate and the wiring, presses Program, and follows the
// download in the status list, the progress bar and the process log. What each control does is
// CDialogLogic's; this window draws it, reads its controls and forwards. The worker reports with
// SendMessage, its progress with a posted message (CMessageHandOver); the two switches (verify
// rows, keep a run report) are entries of the system menu, below the About entry.

#include <windows.h>

#include <memory>
#include <string>

#include "app/DialogLogic.h"
#include "app/DialogView.h"

namespace tamrix {

class CMessageHandOver;
class CProfile;

class CTamrixDlg : private CDialogView {
  public:
    explicit CTamrixDlg(CProfile& profile);
    ~CTamrixDlg() override;

    // Runs the window until Exit, Escape or the close box ends it; a download stopped by closing
    // the window has ended (and released its port) when this returns.
    void DoModal(HINSTANCE instance);

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    [[nodiscard]] INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The status list asks for the infotip of a row.
    [[nodiscard]] INT_PTR OnNotify(NMHDR& header);
    [[nodiscard]] bool OnReport(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void SetUpStatusList();
    void SetUpSystemMenu();
    void ApplyStoredChoices();
    void OnCommand(int id, int code);
    void OnSysCommand(UINT command);
    void OnComPortChange();
    void OnBrowse();
    void OnSearch();
    void OnProgram();
    void OnTimer();
    void OnClose(int result);
    void OnPaintIconic();
    // The framework's data exchange from the controls: the file edit and the wiring radios.
    void PullFields();
    int PortNumberOfItem(int index) const;
    void SelectPortNumber(int portNumber);
    void CheckSwitchEntries();
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }

    // What the logic asks of the window.
    void AppendStatusRow(int number, const std::string& time, const std::string& text) override;
    void ShowProgress(int value, const std::string& label) override;
    // Shows the progress label once the current report has been answered.
    void ShowLabel(const std::string& label);
    MessageAnswer ShowBox(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons) override;
    void EnableDownloadControls(bool enable) override;
    void PushFields() override;
    void SetTimerRunning(bool running) override;
    std::shared_ptr<CWindowHandOver> MakeHandOver() override;
    bool ConfirmCloseDuringDownload() override;
    bool IsShown() const override { return window_ != nullptr && !closed_; }

    CProfile& profile_;
    std::unique_ptr<CDialogLogic> logic_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    bool closed_ = false;
    bool askingToClose_ = false;
    std::weak_ptr<CMessageHandOver> handOver_;  // the latest download's, for its progress
    std::string label_;                         // the progress label to show
    bool labelPosted_ = false;                  // WM_SHOW_PROGRESS_LABEL is on its way
};

}  // namespace tamrix
