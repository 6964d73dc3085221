// The process log after real runs of tamrix-cli: byte for byte the entries "<time> >> <text> " of
// every log line and status line in the order the run produced them, and appended to by the next
// run, never started over.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "download/ProcessLog.h"
#include "image/FirmwareFile.h"
#include "tests/comm/TestEnvironment.h"
#include "tests/e2e_download/DownloadRun.h"
#include "tests/support/HandshakeLines.h"

namespace tamrix::test {
namespace {

// What the log holds for the programming of a file, status lines and log lines in their order.
const std::vector<std::string> kProgrammingEntries = {
    "[Message] : Reading HexFile \r\n",
    "Hex File Parse Success \r\n",
    "[Message] : Reading Target Data..\r\n",
    "Flash Read Success. Flash Program Start! \r\n",
    "[Message] : Start Firmware upgrade...\r\n",
    "[Message] : Successfully Done !!\r\n",
    "Flash Program Success! \r\n",
};

constexpr size_t kTimeLength = 21;  // "YYYY-MM-DD (hh:mm:ss)"

// Compares `log` from `at` with the entries of `texts`, each "<time> >> <text> " with any valid
// time; moves `at` past them. Reports the first entry that differs.
void ExpectEntries(const std::string& log, size_t& at, const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string time = log.substr(at, kTimeLength);
        ASSERT_TRUE(IsLogTime(time))
            << "entry " << i + 1 << " at byte " << at << ": \"" << log.substr(at, 40) << "\"";
        const std::string expected = " >> " + texts[i] + " ";
        const std::string actual = log.substr(at + kTimeLength, expected.size());
        ASSERT_EQ(actual, expected) << "entry " << i + 1;
        at += kTimeLength + expected.size();
    }
}

TEST(DownloadProcessLogTest, RunIsLoggedEntryByEntryAndTheNextRunAppends) {
    auto target = StartProduct(ProductOptions(kPic30Chip));
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));
    const std::string logPath = folder.File("ProcssLog.log");

    const CliResult first = RunProgram(*target, SimWiring::TwoWire, file, logPath);
    ASSERT_FALSE(first.timedOut) << first.output;
    ASSERT_EQ(first.exitCode, cli::kExitSuccess) << first.output;

    const std::string afterFirst = ReadWholeFile(logPath);
    size_t at = 0;
    std::vector<std::string> firstRun = {
        "Firmware Download Process Start!!  \r\n",
        "Download Info. Port : 0, BaudRate : 115200, SignalType : 0  \r\n",
        "Download File : " + file + "   \r\n"};
    const std::vector<std::string> handshake = HandshakeLines(0x02c3, 1);
    firstRun.insert(firstRun.end(), handshake.begin(), handshake.end());
    firstRun.insert(
        firstRun.end(),
        {
            "[Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot Ver:1.5)\r\n",
            "[Message] : File Info Read From Hex File (P Code:12345, APP Version : 1.1, "
            "Version Flag : 1)  \r\n",
            "Target Version Info Read Success  \r\n",
            "Version Check : Target Boot Version : 0x5dc, Registered Boot Version : "
            "0x0  \r\n",
            "[Message] : Application Firmware Download \r\n",
        });
    firstRun.insert(firstRun.end(), kProgrammingEntries.begin(), kProgrammingEntries.end());
    ASSERT_NO_FATAL_FAILURE(ExpectEntries(afterFirst, at, firstRun));
    EXPECT_EQ(at, afterFirst.size()) << "more in the log: \"" << afterFirst.substr(at) << "\"";

    // A second run, with a file that is not there, adds its entries after those.
    const std::string missing = folder.File("missing.bin");
    const CliResult second = RunProgram(*target, SimWiring::TwoWire, missing, logPath);
    ASSERT_FALSE(second.timedOut) << second.output;
    ASSERT_EQ(second.exitCode, cli::kExitFile) << second.output;

    const std::string afterSecond = ReadWholeFile(logPath);
    ASSERT_GT(afterSecond.size(), afterFirst.size());
    EXPECT_EQ(afterSecond.substr(0, afterFirst.size()), afterFirst);
    const std::vector<std::string> secondRun = {
        "Firmware Download Process Start!!  \r\n",
        "Download Info. Port : 0, BaudRate : 115200, SignalType : 0  \r\n",
        "Download File : " + missing + "   \r\n",
    };
    ASSERT_NO_FATAL_FAILURE(ExpectEntries(afterSecond, at, secondRun));
    const std::vector<std::string> texts = LogTexts(afterSecond.substr(at));
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "[Error] : Bin File Open Fail - Convert\r\n");
    EXPECT_EQ(texts.back(), "[Message] : File Loading Fail. Download Process Stop! \r\n");
}

TEST(DownloadProcessLogTest, OneWireRunNamesItsSignalType) {
    auto target = StartProduct(ProductOptions(kSamChip, SimWiring::OneWireEcho));
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string file = folder.File("sam.bin");
    ASSERT_TRUE(SamApplication().WriteBin(file, kConversionSeed));
    const std::string logPath = folder.File("ProcssLog.log");

    const CliResult run = RunProgram(*target, SimWiring::OneWireEcho, file, logPath);
    ASSERT_FALSE(run.timedOut) << run.output;
    ASSERT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    const std::vector<std::string> texts = LogTexts(ReadWholeFile(logPath));
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Download Info. Port : 0, BaudRate : 115200, SignalType : 1  \r\n");
    // The SAM family's handshake and programming, with no version reading or checks between.
    std::vector<std::string> expected = HandshakeLines(0x0001, 2);
    expected.insert(expected.end(), kProgrammingEntries.begin(), kProgrammingEntries.end());
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 3, texts.end()), expected);
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// A log that cannot be written costs the technician the log, never the download: one warning
// naming the file and the cause, the run and its exit status as without a log. A FIFO is never
// waited on.
TEST(DownloadProcessLogTest, ALogThatCannotBeWrittenIsReportedOnceAndTheDownloadGoesOn) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const struct {
        std::string path;
        std::string reason;
    } logs[] = {
        {folder.File("no-such-folder/ProcssLog.log"), "No such file or directory"},
        {fifo, "not a regular file"},
    };
    for (const auto& log : logs) {
        SCOPED_TRACE(log.path);
        const CliResult run = RunCli({"demo", "--fast", "--log", log.path}, 60);
        ASSERT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
        EXPECT_TRUE(Contains(run.output, PrintedStatus("[Message] : Successfully Done !!\r\n")))
            << run.output;
        EXPECT_EQ(Occurrences(run.output,
                              "cannot write the process log " + log.path + " (" + log.reason + ")"),
                  1u)
            << run.output;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

// Another program holding the log's lock (or stuck holding it) delays an entry by a moment at
// most; every entry is still written, byte for byte as always.
TEST(DownloadProcessLogTest, ALogLockedByAnotherProgramDoesNotStopTheDownload) {
    TempFolder folder;
    const std::string logPath = folder.File("ProcssLog.log");
    const int holder = ::open(logPath.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const CliResult run = RunCli({"demo", "--fast", "--log", logPath}, 60);
    ::close(holder);
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    EXPECT_FALSE(Contains(run.output, "cannot write the process log")) << run.output;
    const std::vector<std::string> texts = LogTexts(ReadWholeFile(logPath));
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts.front(), "Firmware Download Process Start!!  \r\n");
    EXPECT_EQ(texts.back(), "Flash Program Success! \r\n");
}

// The log is only ever appended to; appended to the firmware file it would damage the file.
TEST(DownloadProcessLogTest, ALogThatIsTheFirmwareFileItselfIsACommandLineError) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));
    const std::string before = ReadWholeFile(file);
    std::filesystem::create_directory(folder.File("sub"));
    std::filesystem::create_symlink(file, folder.File("link.log"));

    for (const std::string& log :
         {file, folder.File("sub/../update.bin"), folder.File("link.log")}) {
        SCOPED_TRACE(log);
        const CliResult run =
            RunCli({"program", file, "--port", folder.File("no-port"), "--log", log}, 30);
        ASSERT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, cli::kExitUsage) << run.output;
        EXPECT_TRUE(Contains(run.output, "is the firmware file itself")) << run.output;
    }
    EXPECT_EQ(ReadWholeFile(file), before);
}

// Without --log the log lies beside the program only where the folder may take it: never among
// the system's programs, though root may write there; a folder root owns on its PATH is one.
TEST(DownloadProcessLogTest, TheLogStaysOutOfTheFoldersOfTheSystemsPrograms) {
    TempFolder folder;
    const ScopedEnv stateHome("XDG_STATE_HOME", folder.File("state"));
    const std::string inState = folder.File("state/tamrix/") + kProcessLogName;
    const std::string mine = folder.File("bin");
    std::filesystem::create_directory(mine);
    const std::string onPath = ::geteuid() == 0 ? inState : mine + "/" + kProcessLogName;
    const std::string cases[][3] = {{mine, "/usr/bin", mine + "/" + kProcessLogName},
                                    {mine, "/usr/bin:" + mine, onPath},
                                    {"/usr/bin", "/usr/bin", inState}};
    for (const auto& item : cases) {
        const ScopedEnv path("PATH", item[1]);
        EXPECT_EQ(CProcessLog::ChoosePath(item[0]), item[2]) << item[0] << " PATH=" << item[1];
    }
}

}  // namespace
}  // namespace tamrix::test
