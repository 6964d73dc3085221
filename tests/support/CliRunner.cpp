#include "tests/support/CliRunner.h"

#include <signal.h>

#include "tests/support/ChildProcess.h"

#ifndef TAMRIX_CLI_PATH
#error "TAMRIX_CLI_PATH must name the tamrix-cli executable"
#endif

namespace tamrix::test {

std::string CliPath() {
    return TAMRIX_CLI_PATH;
}

CliResult RunChild(const std::string& program, const std::vector<std::string>& args,
                   const ChildOptions& options) {
    CliResult result;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    CChildProcess child;
    if (!child.Start(argv, "", nullptr, options.environment))
        return result;
    if (options.started)
        options.started(child.Pid());
    const double limitMs = 1000.0 * options.timeoutSeconds;
    while (child.ReadSome(result.output, static_cast<int>(limitMs - child.ElapsedMs()))) {
    }
    if (child.TimedOut()) {
        result.timedOut = true;
        child.Signal(SIGKILL);
    }
    const int status = child.Wait(nullptr, nullptr);
    if (!result.timedOut) {
        result.exitCode = status;
        result.signal = child.EndSignal();
    }
    return result;
}

CliResult RunCli(const std::vector<std::string>& args, int timeoutSeconds) {
    ChildOptions options;
    options.timeoutSeconds = timeoutSeconds;
    return RunChild(CliPath(), args, options);
}

}  // namespace tamrix::test
