#include "programmer/PicVersion.h"

#include "common/Format.h"

namespace tamrix {

namespace {

constexpr int kHundredthsProductLine = 0x61;  // product codes 0x61xx count versions in hundredths

}  // namespace

std::string PicAppVersionText(uint16_t productCode, uint16_t appVersion) {
    if ((productCode >> 8) == kHundredthsProductLine)
        return Format("%0.2f", appVersion / 100.0);
    return Format("%0.1f", appVersion / 1000.0);
}

}  // namespace tamrix
