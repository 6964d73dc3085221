#pragma once
// Reading the firmware file a download programs, for the download process and for tamrix-cli's
// sessions that read it once for several products: the same unscrambling, the same words when
// it fails.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamrix {

class CReportWindow;

// The status line that says the download stops because its firmware file cannot be used (nothing
// without a window).
void ReportFileLoadingFail(CReportWindow* window);

// The unscrambled text of the firmware file at `path` (see ConvertBinFile); nothing, after
// ConvertBinFile's status line and ReportFileLoadingFail, when it cannot be read.
[[nodiscard]] std::optional<std::vector<uint8_t>> ReadFirmwareFileText(const std::string& path,
                                                                       uint32_t seed,
                                                                       CReportWindow* window);

}  // namespace tamrix
