#pragma once
// One download process run from the terminal exactly as the Program button runs it, and the exit
// status that its outcome gives tamrix-cli.

#include <functional>
#include <memory>

#include "cli/ExitCodes.h"
#include "cli/StopSignals.h"
#include "cli/TerminalWindow.h"
#include "download/DownloadProcess.h"
#include "download/DownloadStart.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome);

// How one download ended: its outcome, the exit status it gives, and its record.
struct DownloadEnd {
    DownloadOutcome outcome = DownloadOutcome::NoTarget;
    int exitCode = kExitHandshake;
    DownloadRecord record;
};

// The checks before the start (empty path, trial opening of the port), the log lines, and the
// worker started on `worker`, which calls `onEnd` on its thread when it is done. False when
// nothing was started: `end` then says why (an empty path, a port that does not open).
// `params.window` must be `window`.
bool StartDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                   CTerminalWindow& window, CDownloadWorker& worker, std::function<void()> onEnd,
                   DownloadEnd& end);

// Waits for the worker, ends the progress bar, says how the download ended when it did not
// succeed ("Download stopped: ...") and prints the link summary (and the advice about the cable
// when the link needed many retries).
DownloadEnd FinishDownload(CDownloadWorker& worker, CTerminalWindow& window, int baudRate);

// StartDownload, then the wait on this thread: a stop signal asks the worker to stop at its next
// safe point; a second one ends the program at once (see AwaitEndTakingStops). Then
// FinishDownload; its result in *end when given. Returns the exit status.
int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window, CStopSignals& signals, DownloadEnd* end = nullptr);

// Waits on this thread until the work on another thread has called signals.NotifyEnd(). The
// first stop signal is said on the terminal and in the log, and `requestStop` asks the work to
// stop at its next safe point; a second one ends the program at once with kExitInterrupted,
// after its message and log line and `beforeEndingAtOnce` (which must return within a couple of
// seconds whatever happens: the operating system closes the port with the process).
// Returns the first signal's number, 0 when none came.
int AwaitEndTakingStops(CStopSignals& signals, CTerminalWindow& window,
                        const std::function<void()>& requestStop,
                        const std::function<void()>& beforeEndingAtOnce = {});

}  // namespace tamrix::cli
