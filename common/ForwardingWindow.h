#pragma once
// A window that stands in front of another one: the relay a closing window detaches, the tap that
// remembers the last status line, the dialog's hand-over to its own thread, the tests' recorder.
// Each of the five calls becomes one ReportCall, and the window in front says in one place what
// it does with a call (Forward); passing it on to the window behind is ReportCall::SendTo.

#include <string>
#include <utility>

#include "common/ReportWindow.h"

namespace tamrix {

// One call to a CReportWindow, as a value.
struct ReportCall {
    enum Kind {
        StatusLine,       // SendStatusLine, a programmer's status line
        AddedStatusLine,  // AddStatusLine
        LogLine,          // WriteProcessLog
        Progress,         // SendProgress
        MessageBox        // ShowMessageBox
    };
    ReportCall(Kind k, std::string t, int v = 0) : kind(k), text(std::move(t)), value(v) {}

    Kind kind;
    std::string text;  // status/log text, progress prefix, or message box text
    int value = 0;     // progress value
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;

    // Makes the same call on `window`: its answer to a message box, Ok after anything else. A
    // null window is one that is not there: the answer is Unanswered().
    MessageAnswer SendTo(CReportWindow* window) const;
    // The careful answer when nobody is there to ask: No to a question, Ok to an OK box.
    MessageAnswer Unanswered() const;
};

class CForwardingWindow : public CReportWindow {
  public:
    void SendStatusLine(const std::string& text) override;
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

  protected:
    // Every call comes here, on the thread it was made on; the answer counts for message boxes
    // only.
    virtual MessageAnswer Forward(const ReportCall& call) = 0;
};

}  // namespace tamrix
