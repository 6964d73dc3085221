#pragma once
// A program run as a child process, for the end-to-end tests, the fault soak and the benchmarks:
// started from an argument list with its standard output in a pipe, read line by line with the
// moment each line arrived or as it came, and its CPU time read while it runs and when it ends.
// The benchmarks run the host program and the simulated product each in one of these, so the
// host's own CPU time can be told apart from the simulator's. POSIX only; no test framework.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

namespace tamrix::test {

class CChildProcess {
  public:
    CChildProcess() = default;
    // A child still running is killed and reaped: nobody leaves a process behind.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts argv[0] with the arguments argv[1..], in this process's environment with
    // `environment` ("NAME=value") replacing or adding entries. Standard input is /dev/null;
    // standard output goes into a pipe that ReadLine and ReadSome read; standard error goes to
    // `stderrPath`, or into the same pipe when that is empty. False with a reason when the process
    // cannot be started.
    bool Start(const std::vector<std::string>& argv, const std::string& stderrPath,
               std::string* error, const std::vector<std::string>& environment = {});

    // The next whole line of output (without its line end), waiting at most `timeoutMs`. False
    // at the end of the output or when the time ran out (TimedOut() tells which).
    bool ReadLine(std::string& line, int timeoutMs);
    // Appends to `text` what the output holds now, waiting at most `timeoutMs` for something to
    // arrive; false as ReadLine. For output taken as it is; a caller uses one of the two reads.
    bool ReadSome(std::string& text, int timeoutMs);
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
    // ended it (EndSignal() then names it). `usage` receives its resource use; `wallMs`, the time
    // from Start to its end.
    int Wait(rusage* usage, double* wallMs);
    int EndSignal() const { return endSignal_; }

    pid_t Pid() const { return pid_; }

  private:
    using Clock = std::chrono::steady_clock;

    struct Line {
        double atMs;
        std::string text;
    };

    // Waits until the pipe has output or has ended, at most until `deadlineMs` after Start; false
    // at the end of the output or when the time ran out first (TimedOut() set).
    bool WaitForOutput(double deadlineMs);
    // Reads what the pipe holds into `buffer`; 0 at the end of the output.
    size_t ReadPipe(char* buffer, size_t size);
    // Reads what the pipe holds and queues the whole lines in it.
    void ReadChunk();
    void KillAndReap();

    pid_t pid_ = -1;
    int outFd_ = -1;
    Clock::time_point started_{};
    std::string partial_;     // output after the last line end
    std::deque<Line> lines_;  // whole lines not yet returned
    bool ended_ = false;      // the pipe reported its end
    bool timedOut_ = false;
    double lineAtMs_ = 0;
    int endSignal_ = 0;
};

}  // namespace tamrix::test
