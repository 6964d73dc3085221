#pragma once
// The end-of-download lines about the link: what the row writes met and how fast the rows went
// compared with what the line rate allows, and a hint when the link needed more retries than a
// sound cable does.

#include <string>

#include "download/DownloadRecord.h"

namespace tamrix {

// "Link: 96 rows, 0 retries, 0 NACKs, 0 time-outs; 151.0 KiB sent, 0.2 KiB received; rows
// programmed at 11.2 KiB/s, 97 % of the line rate (115200 baud)". The throughput part is left out
// when nothing was programmed.
std::string LinkSummaryLine(const DownloadRecord& record, int baudRate);

// True when the retries are more than a sound link needs: at least kAdviceRetries, and more than
// one for every kAdviceRowsPerRetry rows written.
bool LinkNeedsAdvice(const LinkStatistics& link);
inline constexpr int kAdviceRetries = 3;
inline constexpr int kAdviceRowsPerRetry = 50;

// The hint itself (when LinkNeedsAdvice), naming the rate a lower step would be.
std::string LinkAdvice(const LinkStatistics& link, int baudRate);

}  // namespace tamrix
