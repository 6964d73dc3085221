#include "tests/support/RecordingWindow.h"

#include <algorithm>

namespace tamrix::test {

MessageAnswer RecordingWindow::Forward(const ReportCall& call) {
    events.push_back(call);
    if (call.kind != WindowEvent::MessageBox || call.buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    if (answers.empty())
        return MessageAnswer::No;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::vector<std::string> RecordingWindow::StatusLines() const {
    std::vector<std::string> lines;
    for (const auto& e : events) {
        if (e.kind == WindowEvent::StatusLine || e.kind == WindowEvent::AddedStatusLine) {
            lines.push_back(e.text);
        }
    }
    return lines;
}

std::vector<std::string> RecordingWindow::LogLines() const {
    std::vector<std::string> lines;
    for (const auto& e : events) {
        if (e.kind == WindowEvent::LogLine)
            lines.push_back(e.text);
    }
    return lines;
}

std::vector<WindowEvent> RecordingWindow::MessageBoxes() const {
    std::vector<WindowEvent> boxes;
    for (const auto& e : events) {
        if (e.kind == WindowEvent::MessageBox)
            boxes.push_back(e);
    }
    return boxes;
}

std::vector<int> RecordingWindow::ProgressValues() const {
    std::vector<int> values;
    for (const auto& e : events) {
        if (e.kind == WindowEvent::Progress)
            values.push_back(e.value);
    }
    return values;
}

bool RecordingWindow::HasStatus(const std::string& text) const {
    return CountStatus(text) > 0;
}

int RecordingWindow::CountStatus(const std::string& text) const {
    const auto lines = StatusLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

}  // namespace tamrix::test
