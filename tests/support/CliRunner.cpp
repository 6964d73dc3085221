#include "tests/support/CliRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#ifndef TAMRIX_CLI_PATH
#error "TAMRIX_CLI_PATH must name the tamrix-cli executable"
#endif

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

}  // namespace

std::string CliPath() {
    return TAMRIX_CLI_PATH;
}

CliResult RunChild(const std::string& program, const std::vector<std::string>& args,
                   const ChildOptions& options) {
    CliResult result;
    // Everything the child needs is prepared before fork: the tests run simulated products on
    // threads of their own, and a child of a threaded process may not allocate before exec (a
    // lock held by another thread at the fork would never be released).
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), args.begin(), args.end());
    std::vector<char*> argv = Pointers(arguments);
    std::vector<std::string> environment = EnvironmentWith(options.environment);
    std::vector<char*> envp = Pointers(environment);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        if (devNull > STDERR_FILENO)
            close(devNull);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (options.started)
        options.started(pid);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (!result.timedOut && WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

CliResult RunCli(const std::vector<std::string>& args, int timeoutSeconds) {
    ChildOptions options;
    options.timeoutSeconds = timeoutSeconds;
    return RunChild(CliPath(), args, options);
}

}  // namespace tamrix::test
