#include "download/RunReport.h"

#include <nlohmann/json.hpp>

#include "common/Format.h"
#include "common/LinkChoices.h"
#include "image/FirmwareFile.h"
#include "platform/Clock.h"
#include "platform/FileAccess.h"
#include "platform/LocalTime.h"
#include "platform/Sha256.h"

namespace tamrix {

namespace {

using nlohmann::json;

// A firmware file is never larger than the buffer it is converted into.
constexpr uint64_t kLargestHashedFile = kImageBufferSize;

}  // namespace

std::string FormatUtcTime(std::chrono::system_clock::time_point moment) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(moment.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(sinceEpoch / 1000);
    std::tm utc{};
    if (sinceEpoch < 0 || !ToUtcTime(seconds, utc))
        return std::string();
    return Format("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(sinceEpoch % 1000));
}

RunContext RunContextFor(const DownloadParams& params, std::string program) {
    RunContext context;
    context.port = params.port.Text();
    context.baudRate = params.baudRate;
    context.wiring = params.wiring;
    context.filePath = params.filePath;
    context.program = std::move(program);
    return context;
}

std::string RunReportLine(const DownloadRecord& record, const RunContext& context) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(record.ended - record.started);
    json report;
    report["started"] = FormatUtcTime(record.started);
    report["ended"] = FormatUtcTime(record.ended);
    report["seconds"] = static_cast<double>(ms.count()) / 1000.0;
    report["port"] = context.port;
    report["baud"] = context.baudRate;
    report["wiring"] = WiringChoiceFor(context.wiring).shortName;
    if (record.chip.empty()) {
        report["chip"] = nullptr;
    } else {
        report["chip"] =
            json{{"name", record.chip}, {"deviceId", record.deviceId}, {"family", record.family}};
    }
    // What the product ran before, as it said; after a successful download it holds the file's
    // firmware.
    report["before"] = record.targetVersionRead ? json{{"productCode", record.before.productCode},
                                                       {"appVersion", record.before.appVersion},
                                                       {"bootVersion", record.before.bootVersion}}
                                                : json(nullptr);
    const bool success = context.outcome == DownloadOutcome::Success && !context.interrupted;
    report["after"] = success && record.fileInfoRead ? json{{"productCode", record.fileProductCode},
                                                            {"appVersion", record.fileAppVersion}}
                                                     : json(nullptr);
    const std::string sha256 =
        record.fileSha256.empty() ? FileSha256(context.filePath) : record.fileSha256;
    const size_t slash = context.filePath.find_last_of("/\\");
    report["file"] =
        json{{"name",
              slash == std::string::npos ? context.filePath : context.filePath.substr(slash + 1)},
             {"path", context.filePath},
             {"sha256", sha256.empty() ? json(nullptr) : json(sha256)},
             {"productCode", record.fileInfoRead ? json(record.fileProductCode) : json(nullptr)},
             {"appVersion", record.fileInfoRead ? json(record.fileAppVersion) : json(nullptr)}};
    const LinkStatistics& link = record.link;
    report["verify"] = record.verifyAsked;
    report["rowsWritten"] = link.rowsWritten;
    report["rowsVerified"] = link.rowsVerified;
    report["rowsUncertain"] = link.rowsUncertain;
    report["rowsRewritten"] = link.rowsRewritten;
    report["answersMissing"] = link.answersMissing;
    report["retries"] = link.retries;
    report["nacks"] = link.nacks;
    report["timeouts"] = link.timeouts;
    report["damagedFrames"] = link.damagedFrames;
    report["bytesSent"] = link.bytesSent;
    report["bytesReceived"] = link.bytesReceived;
    report["passes"] = record.passes;
    report["bootloaderPasses"] = record.bootloaderPasses;
    report["outcome"] = context.interrupted ? "interrupted" : DownloadOutcomeName(context.outcome);
    report["success"] = success;
    report["exitStatus"] = context.exitStatus >= 0 ? json(context.exitStatus) : json(nullptr);
    report["lastStatusLine"] = record.lastStatusLine;
    report["program"] = context.program;
    // Text that is not UTF-8 (a file name from an old archive) is replaced, never a reason to
    // lose the record.
    return report.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool AppendRunReport(const std::string& path, const std::string& line, std::string* reason,
                     int lockWaitMs) {
    return AppendToFile(path, line + "\n", CSystemClock::Instance(), lockWaitMs, reason, true) ==
           FileError::None;
}

std::string FileSha256(const std::string& path) {
    const FileReadResult file = ReadRegularFile(path, kLargestHashedFile);
    if (file.error != FileError::None)
        return std::string();
    return Sha256Hex(file.bytes.data(), file.bytes.size());
}

}  // namespace tamrix
