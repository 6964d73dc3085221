#pragma once
// The window's side of a download: every report of the worker thread goes through Qt's event
// queue to the GUI thread, and the worker waits until the window has handled it
// (Qt::BlockingQueuedConnection), as a window message sent to the window would make it wait. No
// widget is ever touched from the worker's thread.
//
// Calls made on the GUI thread itself (the checks before the worker starts) are handled at once:
// a blocking queued call to one's own thread would wait for ever.
// When the window goes away it abandons the hand-over: a worker waiting for the window is let go,
// a report not yet handled is dropped, and a question is answered No (an OK box: Ok); a box the
// window has open at that moment gets that answer too, once it closes.
//
// The reports are queued to the hand-over itself, not to the window, so that taking them back
// takes nothing else queued to the window. Whoever calls holds the hand-over (the relay does, for
// the length of each call), so it outlives every call queued to it; its last holder may be the
// worker, which then destroys it on its own thread, when nothing is queued to it any more.

#include <QObject>
#include <condition_variable>
#include <mutex>

#include "app/WindowHandOver.h"

namespace tamrix {

class CTamrixDlg;

class CGuiHandOver : public QObject, public CWindowHandOver {
    Q_OBJECT

  public:
    // GUI thread.
    explicit CGuiHandOver(CTamrixDlg* window);

    // Has the window run its slot `slot` (its name) once its thread turns its event loop, without
    // waiting for it; nothing once abandoned. Any thread.
    void PostToWindow(const char* slot);

    // The window's timer slot, at once.
    void NotifyDownloadEnded() override { PostToWindow("OnTimer"); }

    // GUI thread only; the window calls it when it closes and before it is destroyed. From now on
    // nothing reaches the window; a waiting worker goes on.
    void Abandon() override;

  protected:
    MessageAnswer Forward(const ReportCall& call) override;

  private slots:
    // The worker's call, on the window's thread.
    void Deliver();

  private:
    // The worker's call while it waits for the window's thread.
    struct Waiting {
        const ReportCall* call;
        MessageAnswer answer;
        bool delivering = false;  // the window is handling it
    };

    CTamrixDlg* const window_;  // valid until Abandon, which the window calls before it goes
    // Guards what follows. Qt's queue orders the worker's writes before the window's thread reads
    // them, but inside Qt, where a thread checker cannot see it: this lock says it in our code.
    std::mutex mutex_;
    bool abandoned_ = false;
    Waiting* waiting_ = nullptr;    // one at a time: a download reports from one thread
    std::condition_variable left_;  // a waiting worker has gone on
};

}  // namespace tamrix
