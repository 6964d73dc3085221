// The run report's line and the link lines at the end of a download, from records made up here:
// what is not known stays null, text that is not UTF-8 never costs the record, and the advice
// about the cable comes only when the retries are out of proportion.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "download/LinkSummary.h"
#include "download/RunReport.h"

namespace tamrix {
namespace {

using nlohmann::json;

TEST(RunReportTest, AProductNeverReachedLeavesItsFiguresNull) {
    DownloadRecord record;
    record.started =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1765186201250));
    record.ended = record.started + std::chrono::milliseconds(10500);
    RunContext context;
    context.port = "COM5";
    context.baudRate = 9600;
    context.wiring = Wiring::OneWireEcho;
    context.filePath = std::string("/bench/\xff\xfe update.bin");  // not UTF-8
    context.outcome = DownloadOutcome::NoTarget;
    context.exitStatus = 11;

    const json line = json::parse(RunReportLine(record, context));
    EXPECT_EQ(line["started"], "2025-12-08T09:30:01.250Z");
    EXPECT_EQ(line["seconds"], 10.5);
    EXPECT_EQ(line["wiring"], "signal");
    EXPECT_EQ(line["chip"], nullptr);
    EXPECT_EQ(line["before"], nullptr);
    EXPECT_EQ(line["after"], nullptr);
    EXPECT_EQ(line["file"]["sha256"], nullptr);
    EXPECT_EQ(line["file"]["productCode"], nullptr);
    EXPECT_EQ(line["outcome"], "no target");
    EXPECT_EQ(line["exitStatus"], 11);
    EXPECT_NE(line["file"]["name"].get<std::string>().find("update.bin"), std::string::npos);

    // The dialog program has no exit status; a version learnt from the file is not the
    // product's until the download succeeded.
    context.exitStatus = -1;
    context.outcome = DownloadOutcome::ProgrammingFailed;
    record.fileInfoRead = true;
    record.fileProductCode = 12345;
    const json failed = json::parse(RunReportLine(record, context));
    EXPECT_EQ(failed["exitStatus"], nullptr);
    EXPECT_EQ(failed["after"], nullptr);
    EXPECT_EQ(failed["file"]["productCode"], 12345);
}

TEST(LinkSummaryTest, TheCableIsQuestionedOnlyWhenRetriesAreOutOfProportion) {
    LinkStatistics link;
    link.rowsWritten = 100;
    link.retries = 2;  // too few to mean anything
    EXPECT_FALSE(LinkNeedsAdvice(link));
    link.retries = 3;  // but one in 33 rows
    EXPECT_TRUE(LinkNeedsAdvice(link));
    link.rowsWritten = 150;  // one in 50: what a sound link may meet
    EXPECT_FALSE(LinkNeedsAdvice(link));

    link.rowsWritten = 40;
    EXPECT_EQ(LinkAdvice(link, 115200),
              "Link: 3 retries for 40 rows is more than a sound link needs: check the cable and "
              "its contacts, or choose a lower baud rate (57600 baud).");
    EXPECT_EQ(LinkAdvice(link, 1200).find("(", 0), std::string::npos) << "no lower rate to name";
}

TEST(LinkSummaryTest, ThroughputIsTheRowsAgainstTheLineRate) {
    DownloadRecord record;
    record.link.rowsWritten = 1;
    record.link.retries = 1;
    record.programmingMs = 2000;
    record.programmingBytes = 11520;  // 5760 bytes a second: half of 115200 baud
    EXPECT_EQ(LinkSummaryLine(record, 115200),
              "Link: 1 row, 1 retry, 0 NACKs, 0 time-outs; 0.0 KiB sent, 0.0 KiB received; rows "
              "programmed at 5.6 KiB/s, 50 % of the line rate (115200 baud)");
    record.link.rowsWritten = 0;  // frames went out, none was written
    EXPECT_EQ(LinkSummaryLine(record, 115200).find("programmed at"), std::string::npos);
    record.link.rowsWritten = 1;
    record.programmingMs = 0;  // nothing was programmed
    EXPECT_EQ(LinkSummaryLine(record, 115200).find("programmed at"), std::string::npos);
}

}  // namespace
}  // namespace tamrix
