#include "download/FirmwareFileLoad.h"

#include "common/Format.h"
#include "common/ReportWindow.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "programmer/FirmwareTextRules.h"

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

FirmwareTextFault CheckFirmwareText(const std::vector<uint8_t>& text, CReportWindow* window) {
    const auto status = [window](const std::string& line) {
        if (window != nullptr)
            window->AddStatusLine(line);
    };
    // A byte-order mark, an end-of-file mark or padding around the records: the loader would
    // refuse the text later, after the product was woken, and without saying what is wrong.
    const std::string stray = HexStrayBytesText(reinterpret_cast<const char*>(text.data()),
                                                static_cast<int>(text.size()));
    if (!stray.empty()) {
        status(Format("[Error] : Hex file %s!!\r\n", stray.c_str()));
        ReportFileLoadingFail(window);
        return FirmwareTextFault::StrayBytes;
    }
    if (!ReadFirmwareText(reinterpret_cast<const char*>(text.data()), static_cast<int>(text.size()),
                          status)) {
        status("[Message] : File Parse Fail. Download Process Stop! \r\n");
        return FirmwareTextFault::Records;
    }
    return FirmwareTextFault::None;
}

}  // namespace tamrix
