// tamrix-cli runs over a report made of lines RunReportLine wrote: the tables as text and as CSV,
// one port alone, and a truncated last line named without costing the rest.

#include <gtest/gtest.h>

#include <string>

#include "cli/ExitCodes.h"
#include "download/RunReport.h"
#include "tests/support/CliRunner.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

std::string Line(const char* port, const char* chip, DownloadOutcome outcome, int seconds,
                 int retries, const char* status) {
    DownloadRecord record;
    record.started =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1796722201000));
    record.ended = record.started + std::chrono::seconds(seconds);
    record.chip = chip;
    record.link.rowsWritten = 100;
    record.link.retries = retries;
    record.lastStatusLine = status;
    RunContext context;
    context.port = port;
    context.outcome = outcome;
    return RunReportLine(record, context) + "\n";
}

TEST(RunsCommandTest, TablesPerPortAndChipCsvOnePortAndATruncatedLine) {
    test::TempFolder folder;
    const std::string path = folder.File("runs.jsonl");
    const std::string good = Line("COM5", "dsPIC30F6014A", DownloadOutcome::Success, 10, 2, "");
    ASSERT_TRUE(test::WriteWholeFile(
        path, good + Line("COM5", "", DownloadOutcome::NoTarget, 14, 0, "[Error] : No target") +
                  Line("COM6", "dsPIC30F6014A", DownloadOutcome::Success, 11, 0, "") +
                  good.substr(0, 40)));

    const test::CliResult text = test::RunCli({"runs", path});
    EXPECT_EQ(text.exitCode, cli::kExitSuccess) << text.output;
    EXPECT_TRUE(Contains(text.output, path + ":4: truncated line")) << text.output;
    EXPECT_TRUE(Contains(text.output,
                         "COM5     2          1       1      12.0               1.0"
                         "                 0.0  no target 1\nCOM6     1          1       0"))
        << text.output;
    EXPECT_TRUE(Contains(text.output, "\ndsPIC30F6014A        2          2       0      10.5"))
        << text.output;
    EXPECT_TRUE(Contains(text.output,
                         "2026-12-08T09:30:01.000Z  COM5  -        no target  "
                         "[Error] : No target"))
        << text.output;

    const test::CliResult csv = test::RunCli({"runs", path, "--csv", "--port", "COM5"});
    EXPECT_EQ(csv.exitCode, cli::kExitSuccess) << csv.output;
    EXPECT_TRUE(Contains(csv.output,
                         "Port,Runs,Succeeded,Failed,Median s,Retries/100 rows,"
                         "Time-outs/100 rows,Failed by outcome\nCOM5,2,1,1,12.0,1.0,"
                         "0.0,no target 1\n\n"))
        << csv.output;
    EXPECT_FALSE(Contains(csv.output, "COM6")) << csv.output;
}

}  // namespace
}  // namespace tamrix
