#pragma once
// A link between a download and the window it reports to, for windows that may close while the
// download goes on. The worker holds the relay (and so the relay stays alive as long as the worker
// needs it); the window detaches it when it closes. From then on status lines, log lines and
// progress are dropped and every question is answered No (an OK box: Ok), so the worker finishes
// its step on its own and never calls into a window that is gone.
//
// A call already in the window when it detaches completes there: the relay holds the window by
// shared ownership for the length of each call, so the window object outlives it. A window that
// hands calls over to its own thread must answer a pending hand-over (or abandon it) when it
// closes, or the worker would wait for a thread that no longer listens.

#include <memory>
#include <mutex>

#include "common/ForwardingWindow.h"

namespace tamrix {

class CReportRelay : public CForwardingWindow {
  public:
    explicit CReportRelay(std::shared_ptr<CReportWindow> target);

    // Safe from any thread, also while a call is in flight; calls after it reach nothing.
    void Detach();
    bool IsDetached() const;

  protected:
    MessageAnswer Forward(const ReportCall& call) override;

  private:
    // The window while attached, null after Detach.
    std::shared_ptr<CReportWindow> Target() const;

    mutable std::mutex mutex_;
    std::shared_ptr<CReportWindow> target_;
};

}  // namespace tamrix
