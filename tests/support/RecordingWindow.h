#pragma once
// A window that records everything reported to it and answers message boxes from a script.

#include <deque>
#include <string>
#include <vector>

#include "common/ForwardingWindow.h"

namespace tamrix::test {

// One recorded call: its kind, text, progress value, and a box's caption, icon and buttons.
using WindowEvent = ReportCall;

class RecordingWindow : public CForwardingWindow {
  public:
    std::vector<WindowEvent> events;
    // Answers for Yes/No boxes, in order; when empty the answer is No.
    std::deque<MessageAnswer> answers;

    // Status lines from programmers (SendStatusLine) and the download process (AddStatusLine).
    std::vector<std::string> StatusLines() const;
    std::vector<std::string> LogLines() const;  // WriteProcessLog only
    std::vector<WindowEvent> MessageBoxes() const;
    std::vector<int> ProgressValues() const;
    bool HasStatus(const std::string& text) const;
    int CountStatus(const std::string& text) const;

  protected:
    MessageAnswer Forward(const ReportCall& call) override;
};

}  // namespace tamrix::test
