#include "app/win32/MessageHandOver.h"

#include <utility>

namespace tamrix {

void CMessageHandOver::NotifyDownloadEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!abandoned_)
        ::PostMessageA(window_, WM_DOWNLOAD_ENDED, 0, 0);
}

bool CMessageHandOver::IsAbandoned() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
}

void CMessageHandOver::Abandon() {
    std::unique_lock<std::mutex> lock(mutex_);
    abandoned_ = true;
    while (sending_ > 0) {
        lock.unlock();
        // A message sent to this thread's window is handled inside PeekMessage; the window sees
        // the hand-over abandoned and gives the careful answer.
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        ::Sleep(1);
        lock.lock();
    }
}

std::optional<ProgressReport> CMessageHandOver::TakeProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    progressPosted_ = false;
    if (abandoned_)
        return std::nullopt;
    return std::exchange(progress_, std::nullopt);
}

bool CMessageHandOver::PostProgress(const ReportCall& call) {
    progress_ = ProgressReport{call.value, call.text};
    if (!progressPosted_)
        progressPosted_ = ::PostMessageA(window_, WM_PROGRESS, 0, 0) != FALSE;
    return progressPosted_;
}

MessageAnswer CMessageHandOver::Forward(const ReportCall& call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_)
            return call.Unanswered();
        // A full message queue leaves progress to be sent as the other reports are.
        if (call.kind == ReportCall::Progress && PostProgress(call))
            return MessageAnswer::Ok;
        ++sending_;
    }
    const MessageAnswer answer = Send(call);
    std::lock_guard<std::mutex> lock(mutex_);
    --sending_;
    return answer;
}

MessageAnswer CMessageHandOver::Send(const ReportCall& call) {
    switch (call.kind) {
        case ReportCall::StatusLine:
            ::SendMessageA(window_, WM_STATUS_LINE, reinterpret_cast<WPARAM>(&call.text), 0);
            return MessageAnswer::Ok;
        case ReportCall::Progress: {
            int value = call.value;
            ::SendMessageA(window_, WM_PROGRESS, reinterpret_cast<WPARAM>(&value),
                           reinterpret_cast<LPARAM>(&call.text));
            return MessageAnswer::Ok;
        }
        default: {
            ReportDelivery delivery{&call, call.Unanswered(), this};
            ::SendMessageA(window_, WM_REPORT_CALL, reinterpret_cast<WPARAM>(&delivery), 0);
            return delivery.answer;
        }
    }
}

}  // namespace tamrix
