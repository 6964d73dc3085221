#pragma once
// Runs the real tamrix-cli program (built alongside the tests) as a child process and collects
// what it printed and its exit status: end-to-end tests go through the front end a technician uses.

#include <functional>
#include <string>
#include <vector>

namespace tamrix::test {

struct CliResult {
    int exitCode = -1;   // the program's exit status; -1 when it did not end normally
    int signal = 0;      // the signal that ended it (0: it exited, or it was killed on time-out)
    std::string output;  // standard output and standard error, interleaved as printed
    bool timedOut = false;
};

// How a child is run besides its arguments.
struct ChildOptions {
    int timeoutSeconds = 120;              // then it is killed (SIGKILL) and timedOut is set
    std::vector<std::string> environment;  // "NAME=value" entries set on top of this process's
    std::function<void(int pid)> started;  // called once it runs, before its output is read
};

// Runs `program` with `args`; standard input is /dev/null (no terminal).
CliResult RunChild(const std::string& program, const std::vector<std::string>& args,
                   const ChildOptions& options);

// Runs tamrix-cli with `args`; standard input is /dev/null (no terminal). Kills it after
// `timeoutSeconds`.
CliResult RunCli(const std::vector<std::string>& args, int timeoutSeconds = 120);

// Path of the tamrix-cli executable under test.
std::string CliPath();

}  // namespace tamrix::test
