#pragma once
// The Windows dialog's hand-over from the download's worker thread. A programmer's status line
// is sent to the dialog window with SendMessage as WM_STATUS_LINE (wParam: the text's string), so
// the worker waits until the window's thread has handled it; the download's own status lines,
// log lines and message boxes likewise, as WM_REPORT_CALL (wParam: a ReportDelivery). The window
// handler copies what it needs before it returns.
//
// Progress is the exception: the worker need not wait for the bar to move, and a wait for the
// window's thread after every row would hold the next row back. The hand-over keeps the latest
// value and label and posts one WM_PROGRESS (wParam and lParam 0) while none is on its way; the
// window takes the latest with TakeProgress when the message comes.
//
// Abandoned when the window closes: a report not yet sent is dropped, a question answered No
// (an OK box: Ok), and Abandon returns once no worker is inside SendMessage any more.

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

#include "app/WindowHandOver.h"

namespace tamrix {

inline constexpr UINT WM_STATUS_LINE = WM_USER + 1;
inline constexpr UINT WM_PROGRESS = WM_USER + 2;
inline constexpr UINT WM_REPORT_CALL = WM_APP + 1;
inline constexpr UINT WM_DOWNLOAD_ENDED = WM_APP + 2;
// Posted by the window to itself: show the progress label it holds (CTamrixDlg::ShowLabel).
inline constexpr UINT WM_SHOW_PROGRESS_LABEL = WM_APP + 3;

class CMessageHandOver;

// The progress the window is to show.
struct ProgressReport {
    int value;
    std::string labelPrefix;
};

// What WM_REPORT_CALL carries: the call, and the answer the window gives.
struct ReportDelivery {
    const ReportCall* call;
    MessageAnswer answer;
    CMessageHandOver* handOver;
};

class CMessageHandOver : public CWindowHandOver {
  public:
    explicit CMessageHandOver(HWND window) : window_(window) {}

    // Posts WM_DOWNLOAD_ENDED to the window.
    void NotifyDownloadEnded() override;
    // GUI thread; handles the messages of workers still inside SendMessage while it waits.
    void Abandon() override;
    [[nodiscard]] bool IsAbandoned() const;
    // GUI thread, on WM_PROGRESS: the latest progress not yet taken; none once abandoned.
    [[nodiscard]] std::optional<ProgressReport> TakeProgress();

  protected:
    MessageAnswer Forward(const ReportCall& call) override;

  private:
    [[nodiscard]] MessageAnswer Send(const ReportCall& call);
    // Keeps the progress for the window and posts WM_PROGRESS if none is on its way; false
    // when it cannot be posted. Under the lock.
    [[nodiscard]] bool PostProgress(const ReportCall& call);

    const HWND window_;
    mutable std::mutex mutex_;
    bool abandoned_ = false;
    int sending_ = 0;                         // workers inside SendMessage
    std::optional<ProgressReport> progress_;  // not yet taken by the window
    bool progressPosted_ = false;             // WM_PROGRESS is on its way
};

}  // namespace tamrix
