#pragma once
// One download process run from the terminal exactly as the Program button runs it, and the exit
// status that its outcome gives tamrix-cli.

#include "cli/ExitCodes.h"
#include "cli/TerminalWindow.h"
#include "download/DownloadProcess.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome);

// The checks before the start (empty path, trial opening of the port), the log lines, the worker
// thread, and its end: the exit status. `params.window` must be `window`.
int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window);

}  // namespace tamrix::cli
