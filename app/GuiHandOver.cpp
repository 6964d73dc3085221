#include "app/GuiHandOver.h"

#include <QMetaObject>
#include <QThread>

#include "app/TamrixDlg.h"

namespace tamrix {

namespace {

// Held while a call is posted, and taken first by the call when it runs. The call's captures are
// written by the posting thread; Qt's event queue orders those writes before the call reads them,
// but inside Qt, where a thread checker cannot see it. This lock states the same order in our own
// code. Nothing of ours is taken while it is held, so it cannot deadlock.
std::mutex& PostLock() {
    static std::mutex lock;
    return lock;
}

void AwaitPosting() {
    std::lock_guard<std::mutex> posted(PostLock());
}

}  // namespace

CGuiHandOver::CGuiHandOver(CTamrixDlg* window) : window_(window), windowThread_(window->thread()) {}

int CGuiHandOver::RunOnWindowThread(std::function<int(CTamrixDlg&)> work, int unhandled) {
    CTamrixDlg* window = window_;
    if (QThread::currentThread() == windowThread_) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            if (shared_->abandoned)
                return unhandled;
        }
        return work(*window);
    }

    // The work runs in the window's event loop. The call is posted under the lock that Abandon
    // takes, so it is never posted to a window that is being destroyed; a call still queued when
    // the window goes is dropped by Qt, and Abandon has let this thread go by then.
    auto call = std::make_shared<Call>();
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->abandoned)
            return unhandled;
        std::lock_guard<std::mutex> posting(PostLock());
        QMetaObject::invokeMethod(
            window,
            [shared = shared_, call, work = std::move(work), window]() {
                AwaitPosting();
                {
                    std::lock_guard<std::mutex> lock(shared->mutex);
                    if (shared->abandoned)
                        return;
                }
                const int result = work(*window);
                std::lock_guard<std::mutex> lock(shared->mutex);
                call->result = result;
                call->done = true;
                shared->handled.notify_all();
            },
            Qt::QueuedConnection);
    }

    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->handled.wait(lock, [&] { return call->done || shared_->abandoned; });
    return call->done ? call->result : unhandled;
}

void CGuiHandOver::Post(std::function<void(CTamrixDlg&)> work) {
    CTamrixDlg* window = window_;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->abandoned)
        return;
    std::lock_guard<std::mutex> posting(PostLock());
    QMetaObject::invokeMethod(
        window,
        [shared = shared_, work = std::move(work), window]() {
            AwaitPosting();
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (shared->abandoned)
                    return;
            }
            work(*window);
        },
        Qt::QueuedConnection);
}

void CGuiHandOver::Abandon() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->abandoned = true;
    shared_->handled.notify_all();
}

void CGuiHandOver::SendStatusLine(const std::string& text) {
    RunOnWindowThread([text](CTamrixDlg& window) {
        window.OnStatusLine(text);
        return 1;
    });
}

void CGuiHandOver::SendProgress(int value, const std::string& labelPrefix) {
    RunOnWindowThread([value, labelPrefix](CTamrixDlg& window) {
        window.OnProgress(value, labelPrefix);
        return 1;
    });
}

void CGuiHandOver::AddStatusLine(const std::string& text) {
    RunOnWindowThread([text](CTamrixDlg& window) {
        window.AddStatusLine(text);
        return 1;
    });
}

void CGuiHandOver::WriteProcessLog(const std::string& text) {
    RunOnWindowThread([text](CTamrixDlg& window) {
        window.WriteProcessLog(text);
        return 1;
    });
}

MessageAnswer CGuiHandOver::ShowMessageBox(const std::string& text, const std::string& caption,
                                           MessageIcon icon, MessageButtons buttons) {
    const MessageAnswer unanswered =
        buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    return static_cast<MessageAnswer>(RunOnWindowThread(
        [text, caption, icon, buttons](CTamrixDlg& window) {
            return static_cast<int>(window.ShowMessageBox(text, caption, icon, buttons));
        },
        static_cast<int>(unanswered)));
}

}  // namespace tamrix
