#pragma once
// The run report: one JSON object per download, appended as one line of a JSON Lines file, so
// that a service bench or a production line keeps a record of every product it served. What the
// download process knows comes from its DownloadRecord; the caller adds what only it knows (the
// port as the user named it, the exit status).

#include <string>

#include "download/DownloadProcess.h"
#include "download/DownloadRecord.h"

namespace tamrix {

struct RunContext {
    std::string port;  // as the user named it: "COM5" or a device path
    int baudRate = 0;
    Wiring wiring = Wiring::TwoWire;
    std::string filePath;  // the firmware file as given
    DownloadOutcome outcome = DownloadOutcome::NoTarget;
    int exitStatus = -1;  // the command-line tool's; -1: none (the dialog program)
    std::string program;  // who wrote the record, e.g. "tamrix-cli"
    // The program ended in the middle of the download, which never reached its end: the
    // outcome is "interrupted", whatever `outcome` says.
    bool interrupted = false;
};

// How long a run report line waits for another writer's lock on the file before it is written
// without it.
inline constexpr int kRunReportLockWaitMs = 2000;

// What the download's parameters say of the run: port, rate, wiring and file; `program` names
// the writer. The rest is the caller's to fill in.
RunContext RunContextFor(const DownloadParams& params, std::string program);

// The record as one line of JSON, without the line end. Times are UTC, ISO 8601 with
// milliseconds; figures that were never learnt (the versions of a product that was not reached)
// are null. The file's SHA-256 is that of the bytes the download read and programmed; only a
// download that could not load the file gives that of the file as it is now (null when unreadable).
std::string RunReportLine(const DownloadRecord& record, const RunContext& context);

// Appends `line` and a line end to the report file, created when missing. The line goes out in
// one piece under the file's lock and is on the disk before this returns; a write that fails
// part-way is taken back, so the file never holds half a line. False with the cause in `reason`.
[[nodiscard]] bool AppendRunReport(const std::string& path, const std::string& line,
                                   std::string* reason, int lockWaitMs = kRunReportLockWaitMs);

// The SHA-256 of a file's bytes, "" when it cannot be read.
std::string FileSha256(const std::string& path);

// "2026-12-08T09:30:01.250Z"
std::string FormatUtcTime(std::chrono::system_clock::time_point moment);

}  // namespace tamrix
