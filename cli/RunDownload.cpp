#include "cli/RunDownload.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/Format.h"
#include "download/DownloadStart.h"
#include "download/LinkSummary.h"

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
        case DownloadOutcome::AnswersOutOfStep:
            return kExitProgramming;
        case DownloadOutcome::VerifyUnavailable:
            return kExitUsage;  // the product cannot do what the command line asked
        case DownloadOutcome::Stopped:
            return kExitInterrupted;  // only a stop signal asks the download to stop
    }
    return kExitProgramming;
}

int AwaitEndTakingStops(CStopSignals& signals, CTerminalWindow& window,
                        const std::function<void()>& requestStop,
                        const std::function<void()>& beforeEndingAtOnce) {
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
                   "bootloader: run the download again (power the product off and on first "
                   "if it is not found). \r\n",
                   name));
        std::fflush(stdout);
        if (beforeEndingAtOnce)
            beforeEndingAtOnce();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(kExitInterrupted);
    }
    return first;
}

bool StartDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                   CTerminalWindow& window, CDownloadWorker& worker, std::function<void()> onEnd,
                   DownloadEnd& end) {
    end = DownloadEnd();
    end.record.started = std::chrono::system_clock::now();
    end.record.ended = end.record.started;
    end.record.verifyAsked = settings.verify;
    const StartCheck check = CheckDownloadStart(*params, settings.openChannel);
    // A download that never started still names what stopped it in its run report.
    end.record.lastStatusLine = window.LastStatusLine();
    switch (check) {
        case StartCheck::EmptyPath:
            end.outcome = DownloadOutcome::FileLoadFailed;
            end.exitCode = kExitFile;
            return false;
        case StartCheck::PortOpenFailed:
            end.outcome = DownloadOutcome::PortOpenFailed;
            end.exitCode = kExitPort;
            return false;
        case StartCheck::Ok:
            break;
    }
    LogDownloadInfo(*params, settings.portMap);

    // The terminal window outlives the worker (the caller waits for it), so the worker is handed
    // it without ownership.
    const std::shared_ptr<CReportWindow> reportTo(std::shared_ptr<void>(), &window);
    if (!worker.Start(std::move(params), settings, reportTo, std::move(onEnd))) {
        std::fprintf(stderr, "tamrix-cli: cannot start the download thread\n");
        end.outcome = DownloadOutcome::ProgrammingFailed;
        end.exitCode = kExitProgramming;
        return false;
    }
    return true;
}

DownloadEnd FinishDownload(CDownloadWorker& worker, CTerminalWindow& window, int baudRate) {
    DownloadEnd end;
    end.outcome = worker.Wait();
    end.exitCode = ExitCodeFor(end.outcome);
    end.record = worker.Record();
    window.FinishProgress();
    if (end.outcome != DownloadOutcome::Success)
        window.Say(Format("Download stopped: %s", DownloadOutcomeName(end.outcome)));
    window.Say(LinkSummaryLine(end.record, baudRate));
    if (LinkNeedsAdvice(end.record.link))
        window.Say(LinkAdvice(end.record.link, baudRate));
    return end;
}

int RunDownload(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                CTerminalWindow& window, CStopSignals& signals, DownloadEnd* end) {
    const int baudRate = params->baudRate;
    CDownloadWorker worker;
    DownloadEnd result;
    if (StartDownload(
            std::move(params), settings, window, worker, [&signals] { signals.NotifyEnd(); },
            result)) {
        AwaitEndTakingStops(signals, window, [&worker] { worker.RequestStop(); });
        result = FinishDownload(worker, window, baudRate);
    }
    if (end != nullptr)
        *end = result;
    return result.exitCode;
}

}  // namespace tamrix::cli
