#pragma once
// From the outcome of a download process to the exit status of tamrix-cli.

#include "cli/ExitCodes.h"
#include "download/DownloadProcess.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome);

}  // namespace tamrix::cli
