#pragma once
// The window's side of a download: every report of the worker thread is handed to the GUI thread
// and the worker waits until the window has handled it, as a window message sent to the window
// would make it wait. No widget is ever touched from the worker's thread.
//
// Calls made on the GUI thread itself (the checks before the worker starts) are handled at once.
// When the window goes away it abandons the hand-over: a worker waiting for the window is let go
// at once, a report not yet handled is dropped, and a question is answered No (an OK box: Ok).

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "common/ReportWindow.h"

class QThread;

namespace tamrix {

class CTamrixDlg;

class CGuiHandOver : public CReportWindow {
  public:
    explicit CGuiHandOver(CTamrixDlg* window);

    void SendStatusLine(const std::string& text) override;
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

    // Has `work` run on the window's thread without waiting for it (dropped once abandoned).
    // Any thread.
    void Post(std::function<void(CTamrixDlg&)> work);

    // GUI thread only; the window calls it before it is destroyed. From now on nothing reaches
    // the window; a waiting worker goes on.
    void Abandon();

  private:
    // Runs `work` on the window's thread and waits for it: its result, or `unhandled` when the
    // window has gone (the work then does not run).
    int RunOnWindowThread(std::function<int(CTamrixDlg&)> work, int unhandled = 0);

    // One hand-over; shared with the queued call, which may outlive the waiting worker's frame.
    struct Call {
        bool done = false;
        int result = 0;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable handled;
        bool abandoned = false;
    };

    CTamrixDlg* const window_;  // valid until Abandon, which the window calls before it goes
    QThread* const windowThread_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace tamrix
