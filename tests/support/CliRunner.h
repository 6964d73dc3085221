#pragma once
// Runs the real tamrix-cli program (built alongside the tests) as a child process and collects
// what it printed and its exit status: end-to-end tests go through the front end a technician uses.

#include <string>
#include <vector>

namespace tamrix::test {

struct CliResult {
    int exitCode = -1;   // the program's exit status; -1 when it did not end normally
    std::string output;  // standard output and standard error, interleaved as printed
    bool timedOut = false;
};

// Runs tamrix-cli with `args`; standard input is /dev/null (no terminal). Kills it after
// `timeoutSeconds`.
CliResult RunCli(const std::vector<std::string>& args, int timeoutSeconds = 120);

// Path of the tamrix-cli executable under test.
std::string CliPath();

}  // namespace tamrix::test
