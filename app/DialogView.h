#pragma once
// What the dialog's logic (CDialogLogic) asks of the window that draws it. The window draws, reads
// its controls and forwards; it decides nothing. GUI thread only.

#include <memory>
#include <string>

#include "common/ReportWindow.h"

namespace tamrix {

class CWindowHandOver;

class CDialogView {
  public:
    virtual ~CDialogView() = default;

    // A row at the end of the status list: its number (1 for the first), the time text and the
    // status text exactly as given (line end included), scrolled into view, selected and focused.
    virtual void AppendStatusRow(int number, const std::string& time, const std::string& text) = 0;
    // The progress bar at `value` (0..100) and its label.
    virtual void ShowProgress(int value, const std::string& label) = 0;
    // A modal message box over the window; an empty caption means the program's own.
    virtual MessageAnswer ShowBox(const std::string& text, const std::string& caption,
                                  MessageIcon icon, MessageButtons buttons) = 0;
    // Browse, Program, Search, both combo boxes and the two switches, in this order.
    virtual void EnableDownloadControls(bool enable) = 0;
    // The choices into the controls: the file edit, the wiring radios, the progress label.
    virtual void PushFields() = 0;
    // The 250 ms timer that watches for the end of a download.
    virtual void SetTimerRunning(bool running) = 0;
    // A new hand-over from a worker thread to this window's thread.
    virtual std::shared_ptr<CWindowHandOver> MakeHandOver() = 0;
    // The question whether to close while a download runs (kCloseDuringDownloadQuestion): true
    // for Yes. A download that ends while it is open leaves nothing to warn of: the window's own
    // box then closes by itself as if Yes had been pressed.
    virtual bool ConfirmCloseDuringDownload() = 0;
    // The window is on the screen (not yet closed).
    virtual bool IsShown() const = 0;
};

}  // namespace tamrix
