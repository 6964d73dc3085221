#include "cli/Outcome.h"

namespace tamrix::cli {

int ExitCodeFor(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::Success:
            return kExitSuccess;
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
        case DownloadOutcome::BootloaderPassLimit:
        case DownloadOutcome::TargetReadFailed:
        case DownloadOutcome::ProgrammingFailed:
            return kExitProgramming;
    }
    return kExitProgramming;
}

}  // namespace tamrix::cli
