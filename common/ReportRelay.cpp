#include "common/ReportRelay.h"

namespace tamrix {

CReportRelay::CReportRelay(std::shared_ptr<CReportWindow> target) : target_(std::move(target)) {}

void CReportRelay::Detach() {
    std::shared_ptr<CReportWindow> released;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released = std::move(target_);
    }
    // The window's last reference may go here, outside the lock.
}

bool CReportRelay::IsDetached() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return target_ == nullptr;
}

std::shared_ptr<CReportWindow> CReportRelay::Target() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return target_;
}

void CReportRelay::SendStatusLine(const std::string& text) {
    if (const auto target = Target())
        target->SendStatusLine(text);
}

void CReportRelay::SendProgress(int value, const std::string& labelPrefix) {
    if (const auto target = Target())
        target->SendProgress(value, labelPrefix);
}

void CReportRelay::AddStatusLine(const std::string& text) {
    if (const auto target = Target())
        target->AddStatusLine(text);
}

void CReportRelay::WriteProcessLog(const std::string& text) {
    if (const auto target = Target())
        target->WriteProcessLog(text);
}

MessageAnswer CReportRelay::ShowMessageBox(const std::string& text, const std::string& caption,
                                           MessageIcon icon, MessageButtons buttons) {
    if (const auto target = Target())
        return target->ShowMessageBox(text, caption, icon, buttons);
    // Nobody to ask: the careful answer.
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

}  // namespace tamrix
