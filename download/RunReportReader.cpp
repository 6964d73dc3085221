#include "download/RunReportReader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

namespace tamrix {

namespace {

using nlohmann::json;

// The figure `key` of `report`, or why it cannot be had.
template <typename T>
bool Take(const json& report, const char* key, T& value, std::string& what) {
    const auto it = report.find(key);
    if (it == report.end()) {
        what = std::string("missing field \"") + key + "\"";
        return false;
    }
    try {
        value = it->get<T>();
    } catch (const json::exception&) {
        what = std::string("field \"") + key + "\" is " + it->type_name();
        return false;
    }
    return true;
}

int ProductCodeOf(const json& report) {
    for (const char* holder : {"before", "file"}) {
        const auto it = report.find(holder);
        if (it == report.end() || !it->is_object())
            continue;
        const auto code = it->find("productCode");
        if (code != it->end() && code->is_number_integer())
            return code->get<int>();
    }
    return -1;
}

}  // namespace

bool ParseRunReportLine(const std::string& line, ReportedRun& run, std::string& what) {
    const json report = json::parse(line, nullptr, false);
    if (report.is_discarded()) {
        what = "not valid JSON";
        return false;
    }
    if (!report.is_object()) {
        what = "not a JSON object";
        return false;
    }
    ReportedRun read;
    if (!Take(report, "started", read.started, what) ||
        !Take(report, "seconds", read.seconds, what) || !Take(report, "port", read.port, what) ||
        !Take(report, "outcome", read.outcome, what) ||
        !Take(report, "success", read.success, what) ||
        !Take(report, "rowsWritten", read.rowsWritten, what) ||
        !Take(report, "retries", read.retries, what) ||
        !Take(report, "timeouts", read.timeouts, what) ||
        !Take(report, "lastStatusLine", read.lastStatusLine, what)) {
        return false;
    }
    const auto chip = report.find("chip");
    if (chip != report.end() && chip->is_object()) {
        const auto name = chip->find("name");
        if (name != chip->end() && name->is_string())
            read.chip = name->get<std::string>();
    }
    read.productCode = ProductCodeOf(report);
    run = std::move(read);
    return true;
}

RunReportFile ReadRunReportFile(const std::string& path) {
    RunReportFile file;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        file.error = std::strerror(errno);
        return file;
    }
    file.opened = true;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const bool ended = !in.eof();  // getline stopped at a line end, not at the file's end
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        ReportedRun run;
        std::string what;
        if (ParseRunReportLine(line, run, what)) {
            file.runs.push_back(std::move(run));
        } else {
            file.problems.push_back(
                {number, ended ? what : "truncated line (no line end): " + what});
        }
    }
    if (in.bad()) {
        file.problems.push_back({number + 1, "read error: " + std::string(std::strerror(errno))});
    }
    return file;
}

}  // namespace tamrix
