#pragma once
// One run of tamrix-cli as a child process: every line it printed with the moment it arrived and
// the CPU time the program had used by then, its exit status, its wall time and its CPU time.
// tamrix-cli flushes every status line as it writes it, so the arrival of a line marks when the
// program reached that step, to well under a millisecond on an idle machine.

#include <string>
#include <vector>

namespace tamrix::bench {

struct TimedLine {
    double atMs = 0;   // since the program was started
    double cpuMs = 0;  // CPU time used by then (test::CChildProcess::CpuMsSoFar)
    std::string text;
};

struct HostRun {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    double wallMs = 0;  // from the start of the program to its end
    double userMs = 0;  // CPU time of the whole run, from the kernel's account at its end
    double sysMs = 0;
    long peakKiB = 0;  // the most memory it held at once (resident set)
    std::vector<TimedLine> lines;

    double CpuMs() const { return userMs + sysMs; }
    // The first line that contains `text`; null when there is none.
    const TimedLine* Find(const std::string& text) const;
    // How many lines contain `text`.
    int Count(const std::string& text) const;
    // Everything it printed, for a report when a run went wrong.
    std::string Output() const;
};

// Runs tamrix-cli with `args`; kills it after `timeoutSeconds`.
HostRun RunHost(const std::vector<std::string>& args, int timeoutSeconds);

}  // namespace tamrix::bench
