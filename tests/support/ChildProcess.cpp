#include "tests/support/ChildProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/RetryOnInterrupt.h"

extern char** environ;

namespace tamrix::test {

namespace {

// This process's environment with `overrides` ("NAME=value") replacing or adding entries.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        bool replaced = false;
        for (const std::string& override : overrides) {
            const size_t equals = override.find('=');
            if (equals != std::string::npos &&
                text.compare(0, equals + 1, override, 0, equals + 1) == 0) {
                replaced = true;
            }
        }
        if (!replaced)
            entries.push_back(text);
    }
    entries.insert(entries.end(), overrides.begin(), overrides.end());
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// CPU time of every thread of `pid` from the scheduler's own account (nanoseconds, the first
// field of each thread's schedstat); negative when the kernel keeps none.
double ScheduledCpuMs(pid_t pid) {
    DIR* tasks = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    if (tasks == nullptr)
        return -1;
    double totalNs = 0;
    bool any = false;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + entry->d_name +
                           "/schedstat");
        unsigned long long ns = 0;
        if (file >> ns) {
            totalNs += static_cast<double>(ns);
            any = true;
        }
    }
    ::closedir(tasks);
    return any ? totalNs / 1e6 : -1;
}

// The same from the process's user and system time in clock ticks (10 ms steps, usually).
double TickCpuMs(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(file, text))
        return -1;
    // The fields after the command name, which is in parentheses and may hold blanks: state is
    // field 3, utime field 14 and stime field 15.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int number = 3; number <= 15 && (fields >> field); ++number) {
        if (number == 14)
            utime = std::stoull(field);
        if (number == 15)
            stime = std::stoull(field);
    }
    const long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(ticks)
                     : -1;
}

}  // namespace

CChildProcess::~CChildProcess() {
    KillAndReap();
}

void CChildProcess::KillAndReap() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        static_cast<void>(RetryOnInterrupt([&] { return ::waitpid(pid_, &status, 0); }));
        pid_ = -1;
    }
    if (outFd_ >= 0) {
        ::close(outFd_);
        outFd_ = -1;
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const std::string& stderrPath,
                          std::string* error, const std::vector<std::string>& environment) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (pid_ > 0)
        return fail("already started");
    if (argv.empty())
        return fail("no program");
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return fail(std::string("pipe: ") + std::strerror(errno));

    // Everything the child needs is prepared before fork: the tests run simulated products on
    // threads of their own, and a child of a threaded process may not allocate before exec (a
    // lock held by another thread at the fork would never be released).
    std::vector<std::string> arguments(argv);
    std::vector<char*> args = Pointers(arguments);
    std::vector<std::string> entries = EnvironmentWith(environment);
    std::vector<char*> envp = Pointers(entries);
    const int errFd = stderrPath.empty() ? -1
                                         : ::open(stderrPath.c_str(),
                                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (!stderrPath.empty() && errFd < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return fail("cannot write " + stderrPath);
    }

    started_ = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (errFd >= 0)
            ::close(errFd);
        return fail(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(errFd >= 0 ? errFd : pipeFds[1], STDERR_FILENO);
        if (devNull > STDERR_FILENO)
            ::close(devNull);
        ::execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    if (errFd >= 0)
        ::close(errFd);
    pid_ = pid;
    outFd_ = pipeFds[0];
    ended_ = false;
    timedOut_ = false;
    endSignal_ = 0;
    partial_.clear();
    lines_.clear();
    return true;
}

double CChildProcess::ElapsedMs() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
}

bool CChildProcess::WaitForOutput(double deadlineMs) {
    while (!ended_ && outFd_ >= 0) {
        const double left = deadlineMs - ElapsedMs();
        if (left <= 0) {
            timedOut_ = true;
            return false;
        }
        pollfd ready{outFd_, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left) + 1);
        if (polled > 0)
            return true;
        if (polled < 0 && errno != EINTR)
            ended_ = true;
    }
    return false;
}

size_t CChildProcess::ReadPipe(char* buffer, size_t size) {
    const ssize_t got = RetryOnInterrupt([&] { return ::read(outFd_, buffer, size); });
    if (got <= 0) {
        ended_ = true;
        return 0;
    }
    return static_cast<size_t>(got);
}

void CChildProcess::ReadChunk() {
    char buffer[4096];
    const size_t got = ReadPipe(buffer, sizeof buffer);
    if (got == 0) {
        if (!partial_.empty()) {
            lines_.push_back({ElapsedMs(), partial_});
            partial_.clear();
        }
        return;
    }
    const double at = ElapsedMs();
    partial_.append(buffer, got);
    size_t start = 0;
    for (size_t end = partial_.find('\n'); end != std::string::npos;
         end = partial_.find('\n', start)) {
        lines_.push_back({at, partial_.substr(start, end - start)});
        start = end + 1;
    }
    partial_.erase(0, start);
}

bool CChildProcess::ReadLine(std::string& line, int timeoutMs) {
    timedOut_ = false;
    const double deadline = ElapsedMs() + timeoutMs;
    while (lines_.empty() && WaitForOutput(deadline))
        ReadChunk();
    if (lines_.empty())
        return false;
    line = std::move(lines_.front().text);
    lineAtMs_ = lines_.front().atMs;
    lines_.pop_front();
    return true;
}

bool CChildProcess::ReadSome(std::string& text, int timeoutMs) {
    timedOut_ = false;
    if (!WaitForOutput(ElapsedMs() + timeoutMs))
        return false;
    char buffer[4096];
    const size_t got = ReadPipe(buffer, sizeof buffer);
    text.append(buffer, got);
    return got > 0;
}

double CChildProcess::CpuMsSoFar() const {
    if (pid_ <= 0)
        return -1;
    const double precise = ScheduledCpuMs(pid_);
    return precise >= 0 ? precise : TickCpuMs(pid_);
}

bool CChildProcess::Signal(int signalNumber) {
    return pid_ > 0 && ::kill(pid_, signalNumber) == 0;
}

int CChildProcess::Wait(rusage* usage, double* wallMs) {
    if (pid_ <= 0)
        return -1;
    int status = 0;
    rusage used{};
    const pid_t reaped = RetryOnInterrupt([&] { return ::wait4(pid_, &status, 0, &used); });
    if (wallMs)
        *wallMs = ElapsedMs();
    if (usage)
        *usage = used;
    pid_ = -1;
    // Output still in the pipe stays readable.
    endSignal_ = reaped >= 0 && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (reaped < 0 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace tamrix::test
