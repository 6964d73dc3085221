#include "cli/RunDownload.h"

#include <cstdio>

#include "download/DownloadStart.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::Success:
            return kExitSuccess;
        case DownloadOutcome::PortOpenFailed:
            return kExitPort;
        case DownloadOutcome::NoTarget:
        case DownloadOutcome::NoProgrammer:
        case DownloadOutcome::VersionReadFailed:
            return kExitHandshake;
        case DownloadOutcome::FileLoadFailed:
        case DownloadOutcome::FileInfoUnreadable:
        case DownloadOutcome::ParseFailed:
            return kExitFile;
        case DownloadOutcome::CheckRefused:
            return kExitCompatibility;
        case DownloadOutcome::BootloaderMissing:
        case DownloadOutcome::BootloaderPlaceholder:
        case DownloadOutcome::BootloaderPassLimit:
        case DownloadOutcome::TargetReadFailed:
        case DownloadOutcome::ProgrammingFailed:
        case DownloadOutcome::Stopped:
            return kExitProgramming;
    }
    return kExitProgramming;
}

int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window) {
    switch (CheckDownloadStart(*params, settings.openChannel)) {
        case StartCheck::EmptyPath:
            return kExitFile;
        case StartCheck::PortOpenFailed:
            return kExitPort;
        case StartCheck::Ok:
            break;
    }
    LogDownloadInfo(*params, settings.portMap);

    // The terminal window outlives the worker (this waits for it), so the worker is handed it
    // without ownership.
    const std::shared_ptr<CReportWindow> reportTo(std::shared_ptr<void>(), &window);
    CDownloadWorker worker;
    if (!worker.Start(std::move(params), settings, reportTo)) {
        std::fprintf(stderr, "tamrix-cli: cannot start the download thread\n");
        return kExitProgramming;
    }
    const DownloadOutcome outcome = worker.Wait();
    window.FinishProgress();
    if (outcome != DownloadOutcome::Success) {
        std::printf("Download stopped: %s\n", DownloadOutcomeName(outcome));
    }
    return ExitCodeFor(outcome);
}

}  // namespace tamrix::cli
