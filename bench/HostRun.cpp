#include "bench/HostRun.h"

#include <signal.h>

#include "bench/SimProcess.h"
#include "tests/support/ChildProcess.h"

namespace tamrix::bench {

namespace {

double Milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_usec) / 1000.0;
}

}  // namespace

const TimedLine* HostRun::Find(const std::string& text) const {
    for (const TimedLine& line : lines) {
        if (line.text.find(text) != std::string::npos)
            return &line;
    }
    return nullptr;
}

int HostRun::Count(const std::string& text) const {
    int count = 0;
    for (const TimedLine& line : lines) {
        if (line.text.find(text) != std::string::npos)
            ++count;
    }
    return count;
}

std::string HostRun::Output() const {
    std::string text;
    for (const TimedLine& line : lines)
        text += line.text + "\n";
    return text;
}

HostRun RunHost(const std::vector<std::string>& args, int timeoutSeconds) {
    HostRun run;
    std::vector<std::string> argv{CliProgramPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    test::CChildProcess process;
    std::string error;
    if (!process.Start(argv, "", &error)) {
        run.lines.push_back({0, 0, error});
        return run;
    }
    run.started = true;
    const double limitMs = 1000.0 * timeoutSeconds;
    std::string text;
    while (true) {
        const int leftMs = static_cast<int>(limitMs - process.ElapsedMs());
        if (leftMs <= 0 || !process.ReadLine(text, leftMs)) {
            run.timedOut = leftMs <= 0 || process.TimedOut();
            break;
        }
        // Sampled right after the line arrived; the program has moved on by a few microseconds
        // at most, as it is waiting on the wire nearly all the time.
        run.lines.push_back({process.LineAtMs(), process.CpuMsSoFar(), text});
    }
    if (run.timedOut)
        process.Signal(SIGKILL);
    rusage usage{};
    run.exitCode = process.Wait(&usage, &run.wallMs);
    run.userMs = Milliseconds(usage.ru_utime);
    run.sysMs = Milliseconds(usage.ru_stime);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

}  // namespace tamrix::bench
