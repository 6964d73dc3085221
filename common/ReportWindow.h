#pragma once
// The main window as the core sees it. The programmers, the serial port and the download process
// report through this interface only: the GUI implements it by a blocking hand-over to its own
// thread, the command-line tool on the terminal, the tests as a recorder.
//
// Threads: every call may arrive on the download worker's thread, and before a worker exists on
// the thread that starts the download (the trial opening's "Port Open Fail", the start's log
// lines). Calls never overlap: one download reports from one thread at a time. Each call returns
// only once it has been handled (a message box once it has been answered), as a window message
// sent to a window would. An implementation that lives on another thread hands the call over and
// waits; one that may go away while a download runs is reached through a CReportRelay
// (ReportRelay.h), which it detaches when it closes.

#include <string>

namespace tamrix {

enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Caption used by message boxes that carry the application's own title.
inline constexpr const char* kApplicationCaption = "";

class CReportWindow {
  public:
    virtual ~CReportWindow() = default;

    // A status line sent by a programmer (the window message WM_STATUS_LINE): the window appends
    // it to the status list and the process log, exactly as AddStatusLine does.
    virtual void SendStatusLine(const std::string& text) { AddStatusLine(text); }

    // A progress report (WM_PROGRESS): value 0..100 and the label prefix; the label shown is
    // prefix + value + "%".
    virtual void SendProgress(int value, const std::string& labelPrefix) = 0;

    // One entry in the status list and the process log.
    virtual void AddStatusLine(const std::string& text) = 0;

    // One entry in the process log only.
    virtual void WriteProcessLog(const std::string& text) = 0;

    // A modal message box; blocks the caller until the user has answered. An empty caption means
    // the application's title.
    virtual MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) = 0;
};

}  // namespace tamrix
