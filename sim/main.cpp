// tamrix-sim: a simulated product on a pseudo-terminal, until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "image/IntelHex.h"
#include "sim/CommandLine.h"
#include "sim/SimTarget.h"

using namespace tamrix;

namespace {

bool WriteDump(const std::string& path, const CSimTarget& target) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string text = FormatIntelHex(target.HexImage());
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file.flush());
}

void PrintSummary(const CSimTarget& target) {
    const SimCounters c = target.Counters();
    const SimVersions v = target.Versions();
    std::fprintf(stderr,
                 "tamrix-sim: %s; wake-ups %d, start signals %d, identifications %d, row frames "
                 "%d (ACK %d, NACK %d), finishes %d, noise bytes %d, echoes lost %d, stray "
                 "bytes sent %d; product code %u, application version %u, boot version %u\n",
                 SimStateName(target.State()), c.wakeUps, c.startSignals, c.identifications,
                 c.rowFrames, c.rowsAcked, c.rowsNacked, c.finishes, c.noiseBytes, c.echoesLost,
                 c.strayBytesSent, v.productCode, v.appVersion, v.bootVersion);
}

}  // namespace

int main(int argc, char** argv) {
    SimCommandLine commandLine;
    const int exitCode = ParseSimCommandLine(argc, argv, commandLine);
    if (exitCode >= 0)
        return exitCode;
    std::string error;
    if (!LoadInitialImage(commandLine, &error)) {
        std::fprintf(stderr, "tamrix-sim: %s\n", error.c_str());
        return 1;
    }
    if (commandLine.verbose) {
        commandLine.options.onTrace = [](const SimTraceEntry& entry) {
            std::fputs(FormatTraceLine(entry).c_str(), stderr);
        };
    }

    // The signals are taken by sigtimedwait below, never by a handler in the middle of the
    // simulator's thread: block them before that thread exists.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CSimTarget target(commandLine.options);
    if (!target.Start(&error)) {
        std::fprintf(stderr, "tamrix-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", target.DevicePath().c_str());
    std::fflush(stdout);

    // Until SIGINT or SIGTERM, or until the product has hung up (a fault that ends its life).
    // SIGUSR1 is the power switch: off and on, as a technician recovers a product that was left
    // in its bootloader.
    const timespec period{0, 200 * 1000 * 1000};
    while (true) {
        const int caught = sigtimedwait(&signals, nullptr, &period);
        if (caught == SIGUSR1) {
            target.PowerCycle();
            if (commandLine.verbose)
                std::fputs("tamrix-sim: powered off and on\n", stderr);
            continue;
        }
        if (caught >= 0 || target.State() == SimState::HungUp)
            break;
    }
    target.Stop();
    if (commandLine.verbose)
        PrintSummary(target);
    if (!commandLine.dumpPath.empty() && !WriteDump(commandLine.dumpPath, target)) {
        std::fprintf(stderr, "tamrix-sim: cannot write %s\n", commandLine.dumpPath.c_str());
        return 1;
    }
    return 0;
}
