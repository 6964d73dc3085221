#pragma once
// The Windows dialog's hand-over from the download's worker thread: every report is sent to the
// dialog window with SendMessage, so the worker waits until the window's thread has handled it.
// A programmer's status line is WM_STATUS_LINE (wParam: the text's string), progress is
// WM_PROGRESS (wParam: the value's int, lParam: the label prefix's string); the window handler
// copies what it needs before it returns. The download's own status lines, log lines and
// message boxes come as WM_REPORT_CALL (wParam: a ReportDelivery).
//
// Abandoned when the window closes: a report not yet sent is dropped, a question answered No
// (an OK box: Ok), and Abandon returns once no worker is inside SendMessage any more.

#include <windows.h>

#include <mutex>

#include "app/WindowHandOver.h"

namespace tamrix {

inline constexpr UINT WM_STATUS_LINE = WM_USER + 1;
inline constexpr UINT WM_PROGRESS = WM_USER + 2;
inline constexpr UINT WM_REPORT_CALL = WM_APP + 1;
inline constexpr UINT WM_DOWNLOAD_ENDED = WM_APP + 2;
// Posted by the window to itself: show the progress label it holds (CTamrixDlg::ShowLabel).
inline constexpr UINT WM_SHOW_PROGRESS_LABEL = WM_APP + 3;

class CMessageHandOver;

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

  protected:
    MessageAnswer Forward(const ReportCall& call) override;

  private:
    [[nodiscard]] MessageAnswer Send(const ReportCall& call);

    const HWND window_;
    mutable std::mutex mutex_;
    bool abandoned_ = false;
    int sending_ = 0;  // workers inside SendMessage
};

}  // namespace tamrix
