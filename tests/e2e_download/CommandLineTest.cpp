// tamrix-cli's command line and its surroundings as a script meets them: option values and the
// port map file.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/ExitCodes.h"
#include "comm/PortMap.h"
#include "tests/comm/TestEnvironment.h"
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

// The program says its version, names the commands when one is mistyped, and every command's
// help ends with the exit statuses.
TEST(CliCommandLineTest, VersionCommandsAndExitStatusesAreSaid) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"--version"}, cli::kExitSuccess, "tamrix-cli 1.1.3\n"},
        {{"prgram", "firmware.bin"},
         cli::kExitUsage,
         "unknown command \"prgram\"; the commands are"},
        {{"program", "--help"}, cli::kExitSuccess, "16 when no product was served.\n\nExit status: 0"},
        {{"detect", "--help"}, cli::kExitSuccess, "Exit status: 0 done"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const CliResult run = RunCli(c.args, 30);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
    }
}

// Before any port is touched: one product named twice (under one name, or as one device under
// two: a link and its node, two links, a COM number mapped to a link), or a report that would be
// written into the firmware file, is a command-line error; and the help says why a SAM product
// cannot be verified.
TEST(CliCommandLineTest, ProgramRefusesAPortTwiceAndAReportInTheFirmwareFile) {
    TempFolder folder;
    const std::string port = folder.File("no-port");
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(WriteWholeFile(file, "firmware"));
    const CliResult twice =
        RunCli({"program", file, "--port", port, "--port", port, "--no-log"}, 30);
    EXPECT_EQ(twice.exitCode, cli::kExitUsage) << twice.output;
    EXPECT_TRUE(Contains(twice.output, port + " is given twice")) << twice.output;

    const CliResult report = RunCli({"program", file, "--port", port, "--report", file}, 30);
    EXPECT_EQ(report.exitCode, cli::kExitUsage) << report.output;
    EXPECT_TRUE(Contains(report.output,
                         "is the firmware file itself; choose another file with "
                         "--report"))
        << report.output;
    EXPECT_EQ(ReadWholeFile(file), "firmware");

    const CliResult help = RunCli({"program", "--help"}, 30);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Contains(help.output, "the S3F8 bootloader has no command to read its flash"))
        << help.output;

    const std::string link = folder.File("null");
    const std::string other = folder.File("null2");
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    ASSERT_EQ(::symlink(link.c_str(), other.c_str()), 0);
    std::ofstream(folder.File("ports")) << "COM9 = " << link << "\n";
    const ScopedEnv env(kPortMapEnvironment, folder.File("ports"));
    const std::vector<std::string> pairs[] = {{link, "/dev/null"}, {link, other}, {"COM9", other}};
    for (const auto& pair : pairs) {
        const CliResult run =
            RunCli({"program", file, "--port", pair[0], "--port", pair[1], "--no-log"}, 30);
        EXPECT_EQ(run.exitCode, cli::kExitUsage) << run.output;
        EXPECT_TRUE(Contains(run.output, " is given twice (as --port " + pair[1] + ")"))
            << run.output;
    }
}

// No two of the files a command reads and writes may be one file, however it is spelled (a
// link, "..", two names of a file not made yet): refused as a command-line error before anything
// is read, written or sent, naming both and the file, and nothing is changed or made.
TEST(CliCommandLineTest, NoTwoFilesOfACommandAreOneFile) {
    TempFolder folder;
    const std::string port = folder.File("no-port");
    const std::string hex = folder.File("plain.hex");
    ASSERT_TRUE(WriteWholeFile(hex, ":00000001FF\r\n"));
    std::filesystem::create_directory(folder.File("sub"));
    std::filesystem::create_symlink(folder.File("runs.txt"), folder.File("dangling.log"));
    const std::pair<std::vector<std::string>, std::string> clashes[] = {
        {{"program", hex, "--port", port, "--log", folder.File("out.txt"), "--report",
          folder.File("sub/../out.txt")},
         "out.txt is the process log (--log) itself; choose another file with --report"},
        {{"program", hex, "--port", port, "--log", folder.File("dangling.log"), "--report",
          folder.File("runs.txt")},
         "runs.txt is the process log (--log) itself; choose another file with --report"},
        {{"program-hex", hex, "--port", port, "--log", hex},
         "plain.hex is the Intel HEX file itself; choose another file with --log"},
        {{"convert", hex, folder.File("sub/../plain.hex")},
         "plain.hex is the input file (INPUT) itself; choose another OUTPUT"},
    };
    for (const auto& [args, said] : clashes) {
        const CliResult run = RunCli(args, 30);
        EXPECT_EQ(run.exitCode, cli::kExitUsage) << run.output;
        EXPECT_TRUE(Contains(run.output, said)) << run.output;
    }
    EXPECT_EQ(ReadWholeFile(hex), ":00000001FF\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.txt")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs.txt")));
}

// One malformed line in the port map costs only that line: `ports` lists the ports present, shows
// every good line and names the bad one with its file and line, and a command on a COM port warns
// about it once. A FIFO as map file is never waited on: it is named and ignored. Control
// characters in the map (a terminal's escape sequences) are shown escaped, never sent raw.
TEST(CliCommandLineTest, PortMapProblemsAreShownAndEveryGoodLineIsKept) {
    TempFolder folder;
    const std::string mapFile = folder.File("bench.ports");
    const std::string device = folder.File("ttyNone");
    std::ofstream(mapFile) << "COM5 = /dev/ttyUSB0\nCOM6 =\nCOM7 = " << device << "\n";
    const std::string fifo = folder.File("fifo.ports");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string controls = folder.File("controls.ports");
    std::ofstream(controls) << "COM7 = " << device << "\x1b[2J\noops\x1b]0;owned\x07\n";

    const struct {
        std::string file;
        std::string problem;
        std::string entry;
    } maps[] = {
        {mapFile, mapFile + " line 2: expected COMn", "COM7   " + device},
        {fifo, fifo + ": not a regular file", "COM4   /dev/ttyS3"},
        {controls, controls + " line 2: expected COMn = /dev/..., not \"oops\\x1B]0;owned\\x07\"",
         "COM7   " + device + "\\x1B[2J"},
    };
    for (const auto& map : maps) {
        SCOPED_TRACE(map.file);
        const ScopedEnv env(kPortMapEnvironment, map.file);
        const CliResult ports = RunCli({"ports"}, 10);
        ASSERT_FALSE(ports.timedOut) << ports.output;
        EXPECT_EQ(ports.exitCode, cli::kExitSuccess) << ports.output;
        EXPECT_TRUE(Contains(ports.output, "Ports present:")) << ports.output;
        EXPECT_TRUE(Contains(ports.output, map.entry)) << ports.output;
        EXPECT_EQ(Occurrences(ports.output, map.problem), 1u) << ports.output;

        const CliResult detect = RunCli({"detect", "--port", "COM7", "--no-log"}, 30);
        ASSERT_FALSE(detect.timedOut) << detect.output;
        EXPECT_EQ(detect.exitCode, cli::kExitPort) << detect.output;
        EXPECT_EQ(Occurrences(detect.output, map.problem), 1u) << detect.output;
        EXPECT_TRUE(Contains(detect.output, "tamrix-cli: warning: ")) << detect.output;
        for (const std::string& output : {ports.output, detect.output})
            EXPECT_EQ(output.find_first_of("\x1b\x07"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tamrix::test
