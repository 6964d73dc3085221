#pragma once
// The window's side of a download: every report of the worker thread is handed over to the
// window's own thread, and the worker waits until the window has handled it, as a window message
// sent to the window would make it wait. No control is ever touched from the worker's thread.
// Each dialog brings its own (a blocking queued call in Qt, SendMessage on Windows).
//
// When the window goes away it abandons the hand-over: a worker waiting for the window is let go,
// a report not yet handled is dropped, and a question is answered No (an OK box: Ok).

#include "common/ForwardingWindow.h"

namespace tamrix {

class CWindowHandOver : public CForwardingWindow {
  public:
    // Any thread: the download has ended; the window looks at once instead of at its next timer
    // tick. Nothing once abandoned.
    virtual void NotifyDownloadEnded() = 0;

    // GUI thread only; the window calls it when it closes and before it is destroyed. From now on
    // nothing reaches the window; a waiting worker goes on.
    virtual void Abandon() = 0;
};

}  // namespace tamrix
