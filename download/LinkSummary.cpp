#include "download/LinkSummary.h"

#include "common/Format.h"
#include "common/LinkChoices.h"

namespace tamrix {

namespace {

std::string Plural(int count, const char* one, const char* many) {
    return Format("%d %s", count, count == 1 ? one : many);
}

}  // namespace

std::string LinkSummaryLine(const DownloadRecord& record, int baudRate) {
    const LinkStatistics& link = record.link;
    std::string line =
        Format("Link: %s, %s, %s, %s", Plural(link.rowsWritten, "row", "rows").c_str(),
               Plural(link.retries, "retry", "retries").c_str(),
               Plural(link.nacks, "NACK", "NACKs").c_str(),
               Plural(link.timeouts, "time-out", "time-outs").c_str());
    if (link.damagedFrames > 0)
        line += Format(", %d damaged on the line", link.damagedFrames);
    if (record.verifyAsked)
        line += Format(", %d read back", link.rowsVerified);
    if (link.rowsUncertain > 0) {
        line += Format(", %d uncertain (answers out of step; %d written again)", link.rowsUncertain,
                       link.rowsRewritten);
    }
    if (link.answersMissing > 0)
        line += Format(", %s never came", Plural(link.answersMissing, "answer", "answers").c_str());
    line += Format("; %.1f KiB sent, %.1f KiB received", link.bytesSent / 1024.0,
                   link.bytesReceived / 1024.0);
    // A download that wrote no row has no throughput to speak of, however long it tried.
    if (link.rowsWritten > 0 && record.programmingMs > 0 && record.programmingBytes > 0 &&
        baudRate > 0) {
        // Ten bits a byte on the wire; the link runs one way at a time.
        const double bytesPerSecond = record.programmingBytes * 1000.0 / record.programmingMs;
        const double lineBytesPerSecond = baudRate / 10.0;
        line +=
            Format("; rows programmed at %.1f KiB/s, %.0f %% of the line rate (%d baud)",
                   bytesPerSecond / 1024.0, 100.0 * bytesPerSecond / lineBytesPerSecond, baudRate);
    }
    return line;
}

bool LinkNeedsAdvice(const LinkStatistics& link) {
    return link.retries >= kAdviceRetries &&
           static_cast<int64_t>(link.retries) * kAdviceRowsPerRetry > link.rowsWritten;
}

std::string LinkAdvice(const LinkStatistics& link, int baudRate) {
    std::string lower;
    for (int index = BaudRateCount() - 1; index >= 0; --index) {
        if (BaudRateFromIndex(index) < baudRate) {
            lower = Format(" (%d baud)", BaudRateFromIndex(index));
            break;
        }
    }
    return Format(
        "Link: %s for %s is more than a sound link needs: check the cable and its "
        "contacts, or choose a lower baud rate%s.",
        Plural(link.retries, "retry", "retries").c_str(),
        Plural(link.rowsWritten, "row", "rows").c_str(), lower.c_str());
}

}  // namespace tamrix
