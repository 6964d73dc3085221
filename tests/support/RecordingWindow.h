#pragma once
// A window that records everything reported to it and answers message boxes from a script.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "common/ReportWindow.h"

namespace tamrix::test {

struct WindowEvent {
    enum Kind { StatusLine, AddedStatusLine, LogLine, Progress, MessageBox };
    WindowEvent(Kind k, std::string t, int v = 0) : kind(k), text(std::move(t)), value(v) {}
    Kind kind;
    std::string text;  // status/log text, progress prefix, or message box text
    int value = 0;     // progress value
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

class RecordingWindow : public CReportWindow {
  public:
    std::vector<WindowEvent> events;
    // Answers for Yes/No boxes, in order; when empty the answer is No.
    std::deque<MessageAnswer> answers;

    void SendStatusLine(const std::string& text) override;
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

    // Status lines from programmers (SendStatusLine) and the download process (AddStatusLine).
    std::vector<std::string> StatusLines() const;
    std::vector<std::string> LogLines() const;  // WriteProcessLog only
    std::vector<WindowEvent> MessageBoxes() const;
    std::vector<int> ProgressValues() const;
    bool HasStatus(const std::string& text) const;
    int CountStatus(const std::string& text) const;
};

}  // namespace tamrix::test
