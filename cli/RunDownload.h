#pragma once
// One download process run from the terminal exactly as the Program button runs it, and the exit
// status that its outcome gives tamrix-cli.

#include <functional>

#include "cli/ExitCodes.h"
#include "cli/StopSignals.h"
#include "cli/TerminalWindow.h"
#include "download/DownloadProcess.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome);

// The checks before the start (empty path, trial opening of the port), the log lines, the worker
// thread, and its end: the exit status. `params.window` must be `window`. A stop signal asks the
// worker to stop at its next safe point; a second one ends the program at once (see
// AwaitEndTakingStops).
int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window, CStopSignals& signals);

// Waits on this thread until the work on another thread has called signals.NotifyEnd(). The
// first stop signal is said on the terminal and in the log, and `requestStop` asks the work to
// stop at its next safe point; a second one ends the program at once with kExitInterrupted,
// after its message and log line (the operating system closes the port with the process).
// Returns the first signal's number, 0 when none came.
int AwaitEndTakingStops(CStopSignals& signals, CTerminalWindow& window,
                        const std::function<void()>& requestStop);

}  // namespace tamrix::cli
