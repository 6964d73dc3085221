#pragma once
// What the Program button does before and around the worker, shared by the GUI and tamrix-cli:
// refuse an empty path, log the start, try the port once, log what is about to happen, and run
// the download process on a worker thread of its own.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "download/DownloadProcess.h"

namespace tamrix {

enum class StartCheck { Ok, EmptyPath, PortOpenFailed };

// The checks before a download starts, with their messages: the "Error opening HEX file for
// input!" box for an empty path (nothing logged); otherwise the start log line and a trial opening
// of the port, which on failure logs "Port Open Fail" and shows the "Channel" box.
StartCheck CheckDownloadStart(const DownloadParams& params, const ChannelOpener& openChannel);

// What a trial opening found: true when the port opened, else why not.
struct PortTrial {
    bool opened = false;
    OpenFailure failure;
    explicit operator bool() const { return opened; }
};

// Opens and closes the port once, as a test. When it does not open: the log line "Port Open
// Fail" and the "Channel" message box, then, when the channel says why, a status line that names
// the device, the reason and what to do (OpenFailureAdvice).
PortTrial TrialOpenPort(const ChannelOpener& openChannel, int baudRate, Wiring wiring,
                        CReportWindow* window);

// "Port Open Fail" for a port that did open for the trial but not for the download itself: the log
// line, the "Channel" box and, when known, what went wrong.
void ReportPortOpenFail(CReportWindow* window, const OpenFailure& failure);

// The two log lines that name the port, rate, wiring and file of the download being started. A
// port given as a device is logged under the COM number `portMap` gives it (0 when none).
void LogDownloadInfo(const DownloadParams& params, const CPortMap& portMap);

// The worker thread of one download process. The window polls IsRunning to notice the end and
// then collects the outcome. The thread owns everything it uses: the parameters, the settings
// (with the channel opener and its port lease) and the window it reports to, which it keeps alive
// until it ends. So the object may go away while the download runs (a window closed mid-download):
// its destructor never waits, and the download finishes its step on its own; to drop its reports
// from then on, hand it a CReportRelay and detach that.
class CDownloadWorker {
  public:
    CDownloadWorker() = default;
    ~CDownloadWorker();
    CDownloadWorker(const CDownloadWorker&) = delete;
    CDownloadWorker& operator=(const CDownloadWorker&) = delete;

    // Starts the worker reporting to `window` (params->window is set to it). False when the
    // thread could not be created: nothing runs, and the caller re-enables its controls and says
    // so. `onEnd`, when given, is called on the worker's thread once IsRunning has turned false,
    // so a window need not wait for its next poll to notice the end.
    bool Start(std::unique_ptr<DownloadParams> params, DownloadSettings settings,
               std::shared_ptr<CReportWindow> window, std::function<void()> onEnd = {});
    // Asks the download to stop at its next safe point (between steps or rows); any thread.
    void RequestStop();
    // True from Start until the download process has ended.
    bool IsRunning() const { return state_ != nullptr && state_->running.load(); }
    // Waits for the end and returns the outcome.
    DownloadOutcome Wait();
    // What the download did; complete once Wait has returned (or IsRunning turned false).
    DownloadRecord Record() const;

  private:
    // Shared with the thread, so that it outlives this object when needed.
    struct State {
        std::atomic<bool> running{true};
        std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
        DownloadOutcome outcome = DownloadOutcome::NoTarget;  // set before running turns false
        DownloadRecord record;                                // likewise
    };

    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace tamrix
