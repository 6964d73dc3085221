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

MessageAnswer CReportRelay::Forward(const ReportCall& call) {
    // Held for the length of the call; nobody there to ask gets the careful answer.
    const std::shared_ptr<CReportWindow> target = Target();
    return call.SendTo(target.get());
}

}  // namespace tamrix
