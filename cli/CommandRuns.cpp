// `tamrix-cli runs`: the run reports read back for a production lead, as tables per port and per
// chip and the list of the runs that failed.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "common/Format.h"
#include "download/RunReportReader.h"

namespace tamrix::cli {

namespace {

struct RunsOptions {
    std::vector<std::string> files;
    std::string since;
    std::string port;
    bool csv = false;
};

// "2026-12-08", "2026-12-08T09:30", "2026-12-08 09:30:15" (UTC) as the report stores a start
// time, so that the two compare as text; "" when it is none of these.
std::string NormalisedSince(const std::string& text) {
    static const char* const kForm = "dddd-dd-dd?dd:dd:dd";
    std::string time = text;
    if (!time.empty() && (time.back() == 'Z' || time.back() == 'z'))
        time.pop_back();
    const size_t fraction = time.find('.');
    const size_t whole = fraction == std::string::npos ? time.size() : fraction;
    if ((whole != 10 && whole != 16 && whole != 19) ||
        (fraction != std::string::npos && whole != 19))
        return std::string();
    for (size_t i = 0; i < time.size(); ++i) {
        const char want = i < whole ? kForm[i] : (i == whole ? '.' : 'd');
        const char got = time[i];
        const bool digit = std::isdigit(static_cast<unsigned char>(got)) != 0;
        if (want == 'd' ? !digit : want == '?' ? got != 'T' && got != ' ' : got != want)
            return std::string();
    }
    if (whole > 10)
        time[10] = 'T';
    return time;
}

// What the runs of one port or one chip add up to.
struct Group {
    std::vector<double> seconds;
    int succeeded = 0;
    std::map<std::string, int> failures;  // by outcome
    long long rows = 0;
    long long retries = 0;
    long long timeouts = 0;
};

std::string Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Format("%.1f", median);
}

std::string Per100Rows(long long count, long long rows) {
    return rows > 0 ? Format("%.1f", 100.0 * static_cast<double>(count) / static_cast<double>(rows))
                    : std::string("-");
}

using Table = std::vector<std::vector<std::string>>;

Table GroupTable(const char* key, const std::map<std::string, Group>& groups) {
    Table table{{key, "Runs", "Succeeded", "Failed", "Median s", "Retries/100 rows",
                 "Time-outs/100 rows", "Failed by outcome"}};
    for (const auto& [name, group] : groups) {
        int failed = 0;
        std::string byOutcome;
        for (const auto& [outcome, count] : group.failures) {
            failed += count;
            byOutcome += (byOutcome.empty() ? "" : ", ") + outcome + " " + std::to_string(count);
        }
        table.push_back({name, std::to_string(group.seconds.size()),
                         std::to_string(group.succeeded), std::to_string(failed),
                         Median(group.seconds), Per100Rows(group.retries, group.rows),
                         Per100Rows(group.timeouts, group.rows), byOutcome});
    }
    return table;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// Numbers right-aligned, text left; the last column runs free.
void PrintTable(const Table& table, bool csv) {
    if (csv) {
        for (const auto& row : table) {
            std::string line;
            for (size_t i = 0; i < row.size(); ++i)
                line += (i ? "," : "") + CsvField(row[i]);
            std::printf("%s\n", line.c_str());
        }
        return;
    }
    std::vector<size_t> widths(table.front().size(), 0);
    // A column is numeric when every cell is a number or "-" and one at least is a number.
    std::vector<bool> numeric(widths.size(), true);
    std::vector<bool> digits(widths.size(), false);
    for (size_t r = 0; r < table.size(); ++r) {
        for (size_t i = 0; i < widths.size(); ++i) {
            widths[i] = std::max(widths[i], table[r][i].size());
            if (r > 0 && table[r][i].find_first_not_of("0123456789.-") != std::string::npos)
                numeric[i] = false;
            if (r > 0 && table[r][i].find_first_of("0123456789") != std::string::npos)
                digits[i] = true;
        }
    }
    for (size_t r = 0; r < table.size(); ++r) {
        std::string line;
        for (size_t i = 0; i < widths.size(); ++i) {
            const bool last = i + 1 == widths.size();
            const int width = last ? 0 : static_cast<int>(widths[i]);
            const bool right = numeric[i] && digits[i] && r > 0;
            line += Format(right ? "%*s" : "%-*s", width, table[r][i].c_str());
            if (!last)
                line += "  ";
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

int RunRuns(const RunsOptions& options) {
    std::vector<ReportedRun> runs;
    bool missing = false;
    for (const std::string& path : options.files) {
        RunReportFile file = ReadRunReportFile(path);
        if (!file.opened) {
            std::fprintf(stderr, "tamrix-cli: cannot read %s: %s\n", EscapeControls(path).c_str(),
                         file.error.c_str());
            missing = true;
            continue;
        }
        for (const ReportProblem& problem : file.problems) {
            std::fprintf(stderr, "%s:%d: %s\n", EscapeControls(path).c_str(), problem.line,
                         problem.what.c_str());
        }
        for (ReportedRun& run : file.runs)
            runs.push_back(std::move(run));
    }
    if (missing)
        return kExitFile;

    const std::string since = NormalisedSince(options.since);
    std::map<std::string, Group> byPort;
    std::map<std::string, Group> byChip;
    Table failed{{"Started", "Port", "Product", "Outcome", "Last status line"}};
    for (const ReportedRun& run : runs) {
        if (!since.empty() && run.started < since)
            continue;
        if (!options.port.empty() && run.port != options.port)
            continue;
        const std::string port = EscapeControls(run.port);
        const std::string chip = run.chip.empty() ? "(not identified)" : EscapeControls(run.chip);
        for (Group* group : {&byPort[port], &byChip[chip]}) {
            group->seconds.push_back(run.seconds);
            if (run.success)
                ++group->succeeded;
            else
                ++group->failures[EscapeControls(run.outcome)];
            group->rows += run.rowsWritten;
            group->retries += run.retries;
            group->timeouts += run.timeouts;
        }
        if (!run.success) {
            std::string product = run.chip.empty() ? "-" : EscapeControls(run.chip);
            if (run.productCode >= 0)
                product += " / " + std::to_string(run.productCode);
            failed.push_back({EscapeControls(run.started), port, product,
                              EscapeControls(run.outcome), EscapeControls(run.lastStatusLine)});
        }
    }

    if (byPort.empty() && !options.csv) {
        std::printf("No runs%s.\n", since.empty() && options.port.empty()
                                        ? " in the report"
                                        : " match --since and --port");
        return kExitSuccess;
    }
    PrintTable(GroupTable("Port", byPort), options.csv);
    std::printf("\n");
    PrintTable(GroupTable("Chip", byChip), options.csv);
    std::printf("\n");
    if (!options.csv)
        std::printf("Failed runs:%s\n", failed.size() == 1 ? " none" : "");
    if (options.csv || failed.size() > 1)
        PrintTable(failed, options.csv);
    return kExitSuccess;
}

}  // namespace

void AddRunsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RunsOptions>();
    auto* command = app.add_subcommand(
        "runs",
        "read run reports (--report) back: runs, failures and link figures per port and "
        "per chip, and the runs that failed");
    command->add_option("FILE", options->files, "run report written by program --report (.jsonl)")
        ->required();
    command
        ->add_option("--since", options->since,
                     "only runs started at or after TIME (UTC): 2026-12-08 or "
                     "2026-12-08T09:30[:00]")
        ->type_name("TIME")
        ->check([](const std::string& text) {
            return NormalisedSince(text).empty() ? "not an ISO date or date-time: " + text
                                                 : std::string();
        });
    command->add_option("--port", options->port, "only the runs on this port, as reported")
        ->type_name("NAME");
    command->add_flag("--csv", options->csv, "the tables as CSV instead of aligned text");
    command->footer(
        "Three tables: per port, per chip, then the failed runs; with --csv each is CSV with its "
        "own header line, a blank line between them. Retries and time-outs are counted per 100 "
        "rows written. A line that cannot be read is named on standard error as FILE:LINE and "
        "passed over; a report that cannot be read is a file error.\n\n" +
        std::string(kExitStatusHelp));
    command->callback([options, &exitCode]() { exitCode = RunRuns(*options); });
}

}  // namespace tamrix::cli
