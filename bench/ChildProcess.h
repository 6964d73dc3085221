#pragma once
// A child process for the benchmarks: started from an argument list with its standard output in
// a pipe, read line by line with the moment each line arrived, and its CPU time read while it
// runs and when it ends. The host program and the simulated product each run in one of these,
// so the host's own CPU time can be told apart from the simulator's.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

namespace tamrix::bench {

class CChildProcess {
  public:
    CChildProcess() = default;
    // A child still running is killed and reaped: no benchmark leaves a process behind.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts argv[0] with the arguments argv[1..]. Standard input is /dev/null; standard output
    // goes into a pipe that ReadLine reads; standard error goes to `stderrPath`, or into the same
    // pipe when that is empty. False with a reason when the process cannot be started.
    bool Start(const std::vector<std::string>& argv, const std::string& stderrPath,
               std::string* error);

    // The next whole line of output (without its line end), waiting at most `timeoutMs`. False
    // at the end of the output or when the time ran out (TimedOut() tells which).
    bool ReadLine(std::string& line, int timeoutMs);
    bool TimedOut() const { return timedOut_; }
    // When the line last returned by ReadLine arrived, in milliseconds since Start.
    double LineAtMs() const { return lineAtMs_; }

    // Milliseconds since Start.
    double ElapsedMs() const;
    // CPU time the running child has used so far, all its threads, in milliseconds: from the
    // scheduler's nanosecond account where the kernel keeps one, else user plus system time in
    // clock ticks. Negative when it cannot be read.
    double CpuMsSoFar() const;

    bool Signal(int signalNumber);
    // Waits for the child to end and reaps it. Returns its exit status, or -1 when a signal
    // ended it. `usage` receives its resource use; `wallMs`, the time from Start to its end.
    int Wait(rusage* usage, double* wallMs);

    pid_t Pid() const { return pid_; }

  private:
    using Clock = std::chrono::steady_clock;

    struct Line {
        double atMs;
        std::string text;
    };

    // Reads what the pipe holds and queues the whole lines in it; false at the end of output.
    bool ReadChunk();
    void KillAndReap();

    pid_t pid_ = -1;
    int outFd_ = -1;
    Clock::time_point started_{};
    std::string partial_;     // output after the last line end
    std::deque<Line> lines_;  // whole lines not yet returned
    bool ended_ = false;      // the pipe reported its end
    bool timedOut_ = false;
    double lineAtMs_ = 0;
};

}  // namespace tamrix::bench
