#pragma once
// Reading run reports back: each line of a JSON Lines report as the few figures a production
// lead looks at, and each line that cannot be read as its number and what is wrong with it.

#include <string>
#include <vector>

namespace tamrix {

// One download as its report line tells it.
struct ReportedRun {
    std::string started;  // as stored: UTC, "2026-12-08T09:30:01.250Z"
    double seconds = 0;
    std::string port;
    std::string chip;      // "" when the product was never identified
    int productCode = -1;  // the product's as it said, else the file's; -1 when neither
    std::string outcome;   // "success", "no target", "interrupted"...
    bool success = false;
    long long rowsWritten = 0;
    long long retries = 0;
    long long timeouts = 0;
    std::string lastStatusLine;
};

// A report line that was skipped: its number (from 1) and why.
struct ReportProblem {
    int line = 0;
    std::string what;
};

struct RunReportFile {
    bool opened = false;
    std::string error;  // why the file could not be read, when !opened
    std::vector<ReportedRun> runs;
    std::vector<ReportProblem> problems;
};

// One line without its line end. False with the reason in `what` when it is not JSON, not an
// object, or lacks a figure (or holds one of the wrong kind).
[[nodiscard]] bool ParseRunReportLine(const std::string& line, ReportedRun& run, std::string& what);

// Every line of a report file. Blank lines are passed over; a last line without its line end
// that cannot be read is named as truncated (a writer that died part-way).
RunReportFile ReadRunReportFile(const std::string& path);

}  // namespace tamrix
