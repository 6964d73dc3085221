#include "download/StatusTap.h"

namespace tamrix {

void CStatusTap::Remember(const std::string& text) {
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = std::move(line);
}

std::string CStatusTap::LastStatusLine() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

MessageAnswer CStatusTap::Forward(const ReportCall& call) {
    if (call.kind == ReportCall::StatusLine || call.kind == ReportCall::AddedStatusLine)
        Remember(call.text);
    return call.SendTo(target_);
}

}  // namespace tamrix
