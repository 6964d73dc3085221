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

// What is wrong with a firmware text as a whole, found before any product is woken.
enum class FirmwareTextFault {
    None,
    StrayBytes,  // bytes around the records: a byte-order mark, an end-of-file mark, padding
    Records,     // a record that does not check out, no end record, records after it
};

// Checks the whole text as the download process does before it wakes the product, with the
// words the programmer would use: the status lines that say what is wrong go to `window` (none
// when it is null), then ReportFileLoadingFail for stray bytes, or "File Parse Fail" for the
// records; the message box is the caller's. Where the data may lie depends on the chip and is
// judged after the handshake.
[[nodiscard]] FirmwareTextFault CheckFirmwareText(const std::vector<uint8_t>& text,
                                                  CReportWindow* window);

}  // namespace tamrix
