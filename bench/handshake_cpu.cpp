// How much CPU the host program burns while it wakes the product and waits for its bootloader:
// `tamrix-cli detect` against a paced tamrix-sim (its own process, a fresh one per run), host CPU
// time (user + system, from the kernel's account of the finished process) over wall time.
//
// Against the simulator the start signal comes a few milliseconds after the port is opened, so
// the polling wait is also measured on its own against a bootloader that never signals: the
// program then polls for the whole ten seconds before it gives up.
//
//   handshake_cpu [--repetitions N] [--silent-repetitions M] [--chip NAME] [--baud RATE]

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/HostRun.h"
#include "bench/SimProcess.h"
#include "bench/Statistics.h"
#include "tests/support/FirmwareBuilder.h"

using namespace tamrix::bench;

namespace {

struct Options {
    int repetitions = 5;
    int silentRepetitions = 1;
    std::string chip = "dsPIC33FJ256GP710";
    int baud = 115200;
};

constexpr int kRunTimeoutSeconds = 60;

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    double startupCpuMs = 0;  // until the first status line: start-up, port trial, wake-up
    double waitMs = 0;        // from the first status line until the start signal (or give-up)
    double waitCpuMs = 0;
};

// One detect against a fresh simulator; false (with the reason printed) when it did not end as
// expected: identified, or, against a silent bootloader, given up after the time-out.
bool RunOnce(const Options& options, bool silent, Sample& sample) {
    tamrix::test::TempFolder folder;
    const std::string link = folder.File("port");
    std::vector<std::string> simArgs{"--chip", options.chip, "--pace", "--boot-baud",
                                     std::to_string(options.baud)};
    if (silent)
        simArgs.push_back("--silent");
    CSimProcess sim;
    std::string error;
    if (!sim.Start(simArgs, link, "", &error)) {
        std::fprintf(stderr, "handshake_cpu: %s\n", error.c_str());
        return false;
    }
    const HostRun run = RunHost({"detect", "--port", link, "--baud", std::to_string(options.baud),
                                 "--log", folder.File("ProcssLog.log")},
                                kRunTimeoutSeconds);
    sim.Stop();
    const TimedLine* waiting = run.Find("Waiting for Hardware Reset");
    const TimedLine* ended = run.Find(silent ? "Found not target device" : "Start Command Checked");
    const bool expected = silent ? run.exitCode != 0 : run.exitCode == 0 && run.Find("Identified:");
    if (!expected || !waiting || !ended) {
        std::fprintf(stderr, "handshake_cpu: detect did not end as expected (exit %d)%s\n%s",
                     run.exitCode, run.timedOut ? ", timed out" : "", run.Output().c_str());
        return false;
    }
    sample.wallMs = run.wallMs;
    sample.cpuMs = run.CpuMs();
    sample.startupCpuMs = waiting->cpuMs;
    sample.waitMs = ended->atMs - waiting->atMs;
    sample.waitCpuMs = ended->cpuMs - waiting->cpuMs;
    return true;
}

bool RunAll(const Options& options, bool silent, int repetitions, std::vector<Sample>& samples) {
    for (int i = 0; i < repetitions; ++i) {
        Sample sample;
        if (!RunOnce(options, silent, sample))
            return false;
        samples.push_back(sample);
    }
    return true;
}

template <typename Field>
std::string Describe(const std::vector<Sample>& samples, Field field, const char* format) {
    std::vector<double> values;
    for (const Sample& sample : samples)
        values.push_back(field(sample));
    return DescribeSpread(SpreadOf(values), format);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app("Host CPU time over wall time of `tamrix-cli detect` against a paced simulator");
    app.add_option("-n,--repetitions", options.repetitions, "runs against a signalling bootloader")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    app.add_option("--silent-repetitions", options.silentRepetitions,
                   "runs against a bootloader that never signals (about 11 s each; 0: none)")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    app.add_option("--chip", options.chip, "chip the simulator plays")->capture_default_str();
    app.add_option("--baud", options.baud, "bootloader baud rate")->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    std::vector<Sample> found;
    std::vector<Sample> silent;
    if (!RunAll(options, false, options.repetitions, found) ||
        !RunAll(options, true, options.silentRepetitions, silent)) {
        return 1;
    }

    std::printf(
        "Handshake CPU: tamrix-cli detect, %s, paced tamrix-sim at %d baud, fresh simulator per "
        "run; median (min..max) of %d runs\n",
        options.chip.c_str(), options.baud, options.repetitions);
    std::printf("  host CPU / wall      : %s %%   (target: under 10 %% of one core)\n",
                Describe(
                    found, [](const Sample& s) { return 100 * s.cpuMs / s.wallMs; }, "%.2f")
                    .c_str());
    std::printf("  host CPU (user+sys)  : %s ms, of which start-up, port trial and wake-up %s ms\n",
                Describe(
                    found, [](const Sample& s) { return s.cpuMs; }, "%.1f")
                    .c_str(),
                Describe(
                    found, [](const Sample& s) { return s.startupCpuMs; }, "%.1f")
                    .c_str());
    std::printf("  wall time            : %s ms  (the wake-up's pauses alone: 600 ms)\n",
                Describe(
                    found, [](const Sample& s) { return s.wallMs; }, "%.0f")
                    .c_str());
    std::printf("  start-signal wait    : %s ms\n",
                Describe(
                    found, [](const Sample& s) { return s.waitMs; }, "%.1f")
                    .c_str());
    if (!silent.empty()) {
        std::printf(
            "  waiting for a bootloader that never signals (%zu run%s, until the program "
            "gives up):\n",
            silent.size(), silent.size() == 1 ? "" : "s");
        std::printf(
            "    host CPU / wall while waiting: %s %% over %s ms\n",
            Describe(
                silent, [](const Sample& s) { return 100 * s.waitCpuMs / s.waitMs; }, "%.2f")
                .c_str(),
            Describe(
                silent, [](const Sample& s) { return s.waitMs; }, "%.0f")
                .c_str());
        std::printf("    host CPU / wall, whole run   : %s %%\n",
                    Describe(
                        silent, [](const Sample& s) { return 100 * s.cpuMs / s.wallMs; }, "%.2f")
                        .c_str());
    }
    return 0;
}
