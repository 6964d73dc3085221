#include "download/FirmwareFileLoad.h"

#include "common/ReportWindow.h"
#include "image/FirmwareFile.h"

namespace tamrix {

void ReportFileLoadingFail(CReportWindow* window) {
    if (window != nullptr)
        window->AddStatusLine("[Message] : File Loading Fail. Download Process Stop! \r\n");
}

std::optional<std::vector<uint8_t>> ReadFirmwareFileText(const std::string& path, uint32_t seed,
                                                         CReportWindow* window) {
    std::vector<uint8_t> buffer(kImageBufferSize, 0);
    int size = 0;
    if (ConvertBinFile(buffer.data(), window, path, size, seed) == 0) {
        ReportFileLoadingFail(window);
        return std::nullopt;
    }
    return std::vector<uint8_t>(buffer.begin(), buffer.begin() + size);
}

}  // namespace tamrix
