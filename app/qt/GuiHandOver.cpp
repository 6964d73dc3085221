#include "app/qt/GuiHandOver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <chrono>

#include "app/qt/TamrixDlg.h"

namespace tamrix {

CGuiHandOver::CGuiHandOver(CTamrixDlg* window) : window_(window) {}

MessageAnswer CGuiHandOver::Forward(const ReportCall& call) {
    if (QThread::currentThread() == thread()) {
        bool abandoned = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            abandoned = abandoned_;
        }
        return abandoned ? call.Unanswered() : call.SendTo(window_);
    }

    Waiting waiting{&call, call.Unanswered()};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_)
            return waiting.answer;
        waiting_ = &waiting;
    }
    // Back once Deliver has run, or once Abandon has taken the call off the queue unrun.
    QMetaObject::invokeMethod(this, "Deliver", Qt::BlockingQueuedConnection);
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_ = nullptr;
    left_.notify_all();
    return waiting.answer;
}

void CGuiHandOver::Deliver() {
    const ReportCall* call = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_ || waiting_ == nullptr)
            return;
        waiting_->delivering = true;
        call = waiting_->call;
    }
    // Without the lock: a message box turns an event loop of its own.
    const MessageAnswer answer = call->SendTo(window_);
    std::lock_guard<std::mutex> lock(mutex_);
    // A window that went away while its box was open gives the careful answer instead.
    if (!abandoned_)
        waiting_->answer = answer;
}

void CGuiHandOver::PostToWindow(const char* slot) {
    // Posted under the lock that Abandon takes, so never to a window that is being destroyed; a
    // call still queued when the window goes is dropped by Qt.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!abandoned_)
        QMetaObject::invokeMethod(window_, slot, Qt::QueuedConnection);
}

void CGuiHandOver::Abandon() {
    std::unique_lock<std::mutex> lock(mutex_);
    abandoned_ = true;
    // A worker whose call is queued, or about to be, is let go: its call is taken off the queue
    // unrun, which ends Qt's wait. A call the window is handling (a box open further down this
    // thread's stack) ends when the box does.
    const auto gone = [this] { return waiting_ == nullptr || waiting_->delivering; };
    while (!gone()) {
        lock.unlock();
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        lock.lock();
        // The worker may be between its check and its post: take it off once it is queued.
        left_.wait_for(lock, std::chrono::milliseconds(1), gone);
    }
}

}  // namespace tamrix
