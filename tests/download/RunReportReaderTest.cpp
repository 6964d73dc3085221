// Reading run reports back: a line RunReportLine wrote gives its figures, and every way a line can
// be spoilt is named with its line number instead of costing the rest of the file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/RunReport.h"
#include "download/RunReportReader.h"
#include "tests/download/TempDir.h"

namespace tamrix {
namespace {

TEST(RunReportReaderTest, ReadsGoodLinesAndNamesEachSpoiltOne) {
    DownloadRecord record;
    record.started =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1765186201250));
    record.ended = record.started + std::chrono::milliseconds(12500);
    record.chip = "dsPIC30F6014A";
    record.fileInfoRead = true;
    record.fileProductCode = 4321;
    record.link.rowsWritten = 200;
    RunContext context;
    context.port = "COM5";
    context.outcome = DownloadOutcome::Success;
    const std::string good = RunReportLine(record, context);
    std::string noOutcome = good;
    noOutcome.replace(noOutcome.find("\"outcome\""), 9, "\"result\"");

    struct Case {
        std::string text;
        const char* problem;  // nullptr: read as a run
    };
    const std::vector<Case> cases = {
        {good + "\n", nullptr},
        {"\n", nullptr},  // blank: passed over
        {"{\"started\": \"2026\n", "not valid JSON"},
        {noOutcome + "\n", "missing field \"outcome\""},
        {good + "\r\n", nullptr},
        {good.substr(0, good.size() / 2), "truncated line (no line end): not valid JSON"},
    };
    std::string text;
    for (const Case& c : cases)
        text += c.text;
    test::TempDir dir;
    const RunReportFile file =
        ReadRunReportFile(dir.Write("runs.jsonl", std::vector<uint8_t>(text.begin(), text.end())));
    ASSERT_TRUE(file.opened);
    size_t problem = 0;
    for (size_t line = 0; line < cases.size(); ++line) {
        if (cases[line].problem == nullptr)
            continue;
        ASSERT_LT(problem, file.problems.size());
        EXPECT_EQ(file.problems[problem].line, static_cast<int>(line + 1));
        EXPECT_EQ(file.problems[problem++].what, cases[line].problem);
    }
    EXPECT_EQ(problem, file.problems.size());
    ASSERT_EQ(file.runs.size(), 2u);
    EXPECT_EQ(file.runs[0].started, "2025-12-08T09:30:01.250Z");
    EXPECT_EQ(file.runs[0].chip, "dsPIC30F6014A");
    EXPECT_EQ(file.runs[0].productCode, 4321);
    EXPECT_EQ(file.runs[0].outcome, "success");
    EXPECT_EQ(file.runs[0].rowsWritten, 200);

    EXPECT_FALSE(ReadRunReportFile(dir.Path("absent.jsonl")).opened);
}

}  // namespace
}  // namespace tamrix
