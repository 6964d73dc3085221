// soak: many downloads by tamrix-cli against simulated products with random, seeded faults (see
// Soak.h for the rules every run is held to). Prints a line per run, every broken rule with the
// command that repeats the run, and the figures at the end. Exit status 0 when no run broke a
// rule, 1 otherwise, 2 for a wrong command line.
//
//   soak [--runs N] [--seed S] [--from I] [--jobs J] [--short] [--keep DIR] [--quiet]
//        [--report FILE] [--cli PATH --leak-check PATH --sim PATH]

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Format.h"
#include "tests/soak/Soak.h"

#ifndef TAMRIX_CLI_PATH
#error "TAMRIX_CLI_PATH must name the tamrix-cli executable"
#endif
#ifndef TAMRIX_SIM_PATH
#error "TAMRIX_SIM_PATH must name the tamrix-sim executable"
#endif
#ifndef TAMRIX_LEAK_CHECK_PATH
#error "TAMRIX_LEAK_CHECK_PATH must name the leak-check library"
#endif

using namespace tamrix;
using namespace tamrix::test;

namespace {

struct Options {
    int runs = 500;
    uint32_t seed = 1;
    int from = 0;
    int jobs = 3;
    bool shortProfile = false;
    std::string keep = "/tmp";
    bool quiet = false;
    std::string report;
};

struct Totals {
    int runs = 0;
    int succeeded = 0;
    std::map<std::string, int> outcomes;  // by what the program said
    int falseSuccesses = 0;
    int falseFailures = 0;
    int crashes = 0;
    int hangs = 0;
    int leaks = 0;
    int withProblems = 0;
    int echoesLost = 0;
    int strayBytes = 0;
    int rowFrames = 0;
    int rowsNacked = 0;
    double longestRun = 0;
    std::vector<std::string> failedRuns;  // their replay commands
};

std::string Replay(const std::string& self, const Options& options, const SoakPrograms& programs,
                   int index) {
    std::string command = Format("%s --seed %u --from %d --runs 1%s", self.c_str(), options.seed,
                                 index, options.shortProfile ? " --short" : "");
    if (programs.cli != TAMRIX_CLI_PATH)
        command += " --cli " + programs.cli;
    if (programs.leakCheck != TAMRIX_LEAK_CHECK_PATH)
        command += " --leak-check " + programs.leakCheck;
    if (programs.sim != TAMRIX_SIM_PATH)
        command += " --sim " + programs.sim;
    return command;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"Downloads by tamrix-cli against simulated products with random, seeded faults"};
    app.add_option("--runs", options.runs, "how many runs")->check(CLI::PositiveNumber);
    app.add_option("--seed", options.seed, "seed of the whole soak");
    app.add_option("--from", options.from, "number of the first run (to repeat one: --runs 1)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--jobs", options.jobs, "runs at the same time")->check(CLI::Range(1, 16));
    app.add_flag("--short", options.shortProfile,
                 "fast rates and small images only (the test suite's soak)");
    app.add_option("--keep", options.keep,
                   "folder below which a run that breaks a rule is kept (\"\": none)");
    app.add_flag("--quiet", options.quiet, "print only the runs that break a rule");
    app.add_option("--report", options.report,
                   "run report every download appends its line to (read it with tamrix-cli runs)");
    // A long soak can run copies of the programs, so that building meanwhile does not replace
    // them under it.
    SoakPrograms programs{TAMRIX_CLI_PATH, TAMRIX_LEAK_CHECK_PATH, TAMRIX_SIM_PATH};
    app.add_option("--cli", programs.cli, "the tamrix-cli to run")->capture_default_str();
    app.add_option("--leak-check", programs.leakCheck, "the leak-check library to load into it")
        ->capture_default_str();
    app.add_option("--sim", programs.sim, "the tamrix-sim named in the commands that play a run")
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    const SoakProfile profile = options.shortProfile ? SoakProfile::Short : SoakProfile::Long;
    const std::string self = argv[0];
    std::printf("soak: %d runs from run %d of seed %u, %d at a time%s\n", options.runs,
                options.from, options.seed, options.jobs,
                options.shortProfile ? ", short profile" : "");
    std::fflush(stdout);

    Totals totals;
    std::mutex mutex;
    std::atomic<int> next{options.from};
    const int end = options.from + options.runs;
    const auto started = std::chrono::steady_clock::now();
    auto work = [&] {
        for (int index = next++; index < end; index = next++) {
            const SoakPlan plan = PlanSoakRun(options.seed, index, profile);
            const std::string keep =
                options.keep.empty()
                    ? std::string()
                    : Format("%s/tamrix-soak-%u-%d", options.keep.c_str(), options.seed, index);
            const SoakRunResult result = ExecuteSoakRun(plan, programs, keep, options.report);

            std::lock_guard<std::mutex> lock(mutex);
            ++totals.runs;
            totals.succeeded += result.outcome == "success";
            ++totals.outcomes[result.outcome.empty() ? "(none)" : result.outcome];
            totals.falseSuccesses += result.falseSuccess;
            totals.falseFailures += result.falseFailure;
            totals.crashes += result.crashed;
            totals.hangs += result.hung;
            totals.leaks += result.leaked;
            totals.echoesLost += result.counters.echoesLost;
            totals.strayBytes += result.counters.strayBytesSent;
            totals.rowFrames += result.counters.rowFrames;
            totals.rowsNacked += result.counters.rowsNacked;
            totals.longestRun = std::max(totals.longestRun, result.seconds);
            const bool broken = !result.problems.empty();
            if (broken || !options.quiet) {
                std::printf("[%4d/%d] run %d: %s; %s -> %s (%d) in %.1f s%s\n", totals.runs,
                            options.runs, index, plan.Describe().c_str(), plan.faultText.c_str(),
                            result.outcome.c_str(), result.exitCode, result.seconds,
                            broken ? "  BROKEN" : "");
            }
            if (broken) {
                ++totals.withProblems;
                for (const std::string& problem : result.problems)
                    std::printf("         - %s\n", problem.c_str());
                std::printf("         repeat: %s\n",
                            Replay(self, options, programs, index).c_str());
                if (!keep.empty())
                    std::printf("         kept in %s (by-hand.txt: the commands to play it)\n",
                                keep.c_str());
                totals.failedRuns.push_back(Replay(self, options, programs, index));
            }
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 0; j < options.jobs; ++j)
        workers.emplace_back(work);
    for (auto& worker : workers)
        worker.join();
    const double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60;

    std::printf("\nsoak: %d runs of seed %u in %.1f min (longest run %.1f s)\n", totals.runs,
                options.seed, minutes, totals.longestRun);
    std::printf("  outcomes:");
    for (const auto& [outcome, count] : totals.outcomes)
        std::printf(" %s %d;", outcome.c_str(), count);
    std::printf("\n  faults met: %d row frames, %d refused, %d echoes lost, %d stray bytes\n",
                totals.rowFrames, totals.rowsNacked, totals.echoesLost, totals.strayBytes);
    std::printf(
        "  false successes %d, false failures %d, crashes %d, hangs %d, leaks %d; runs that "
        "broke a rule: %d\n",
        totals.falseSuccesses, totals.falseFailures, totals.crashes, totals.hangs, totals.leaks,
        totals.withProblems);
    for (const std::string& replay : totals.failedRuns)
        std::printf("  repeat: %s\n", replay.c_str());
    return totals.withProblems == 0 ? 0 : 1;
}
