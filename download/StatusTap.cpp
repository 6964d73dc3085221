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

void CStatusTap::SendStatusLine(const std::string& text) {
    Remember(text);
    if (target_ != nullptr)
        target_->SendStatusLine(text);
}

void CStatusTap::SendProgress(int value, const std::string& labelPrefix) {
    if (target_ != nullptr)
        target_->SendProgress(value, labelPrefix);
}

void CStatusTap::AddStatusLine(const std::string& text) {
    Remember(text);
    if (target_ != nullptr)
        target_->AddStatusLine(text);
}

void CStatusTap::WriteProcessLog(const std::string& text) {
    if (target_ != nullptr)
        target_->WriteProcessLog(text);
}

MessageAnswer CStatusTap::ShowMessageBox(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) {
    if (target_ != nullptr)
        return target_->ShowMessageBox(text, caption, icon, buttons);
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

}  // namespace tamrix
