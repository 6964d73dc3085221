#include "cli/RunDownload.h"

#include <cstdio>
#include <cstdlib>

#include "common/Format.h"
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
        case DownloadOutcome::VerifyFailed:
            return kExitProgramming;
        case DownloadOutcome::VerifyUnavailable:
            return kExitUsage;  // the product cannot do what the command line asked
        case DownloadOutcome::Stopped:
            return kExitInterrupted;  // only a stop signal asks the download to stop
    }
    return kExitProgramming;
}

int AwaitEndTakingStops(CStopSignals& signals, CTerminalWindow& window,
                        const std::function<void()>& requestStop) {
    int first = 0;
    while (const int signal = signals.Wait()) {
        const char* name = CStopSignals::Name(signal);
        if (first == 0) {
            first = signal;
            window.Notice(
                Format("[Notice] : %s received: the download stops after the row or "
                       "step in progress. %s again ends tamrix-cli at once. \r\n",
                       name, name));
            requestStop();
            continue;
        }
        // Whatever the download is doing, it goes with the process; the operating system closes
        // the port and drops its lock. No finish byte was sent.
        window.Notice(
            Format("[Notice] : %s received again: tamrix-cli ends at once, in the "
                   "middle of the download. A product that was woken stays in its "
                   "bootloader: power it off and on, then run the download again. \r\n",
                   name));
        std::fflush(stdout);
        std::_Exit(kExitInterrupted);
    }
    return first;
}

int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window, CStopSignals& signals) {
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
    if (!worker.Start(std::move(params), settings, reportTo, [&signals] { signals.NotifyEnd(); })) {
        std::fprintf(stderr, "tamrix-cli: cannot start the download thread\n");
        return kExitProgramming;
    }
    AwaitEndTakingStops(signals, window, [&worker] { worker.RequestStop(); });
    const DownloadOutcome outcome = worker.Wait();
    window.FinishProgress();
    if (outcome != DownloadOutcome::Success) {
        std::printf("Download stopped: %s\n", DownloadOutcomeName(outcome));
    }
    return ExitCodeFor(outcome);
}

}  // namespace tamrix::cli
