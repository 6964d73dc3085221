// tamrix-cli's command line and its surroundings as a script meets them: option values and the
// port map file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// An empty --baud (a script's unset variable) is a command-line error for every command that has
// the option, never the default rate; so is text that is not a number.
TEST(CliCommandLineTest, AnEmptyOrNonNumericBaudIsACommandLineError) {
    TempFolder folder;
    const std::string port = folder.File("no-port");
    const std::string file = folder.File("missing.bin");
    const std::vector<std::vector<std::string>> commands = {
        {"program", file, "--port", port},
        {"detect", "--port", port},
        {"program-hex", file, "--port", port},
        {"demo", "--fast"},
    };
    for (const auto& command : commands) {
        for (const std::string baud : {"", "fast"}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--baud", baud, "--no-log"});
            SCOPED_TRACE(command[0] + " --baud \"" + baud + "\"");
            const CliResult run = RunCli(args, 30);
            ASSERT_FALSE(run.timedOut) << run.output;
            EXPECT_EQ(run.exitCode, cli::kExitUsage) << run.output;
            EXPECT_TRUE(Contains(run.output, "--baud")) << run.output;
        }
    }
}

}  // namespace
}  // namespace tamrix::test
