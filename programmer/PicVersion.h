#pragma once
// Where the firmware of a PIC product keeps its identity, and how its version words read: the
// same rules for the target (version request, flash read) and for a firmware file.

#include <cstdint>
#include <string>

namespace tamrix {

// Device addresses of the product code and the application version, and the third address the
// version-address request reports (kept, not read), used when the bootloader cannot tell them.
inline constexpr int kPicProductCodeAddress = 0x0C00;
inline constexpr int kPicVersionAddress = 0x0C02;
inline constexpr int kPicThirdAddress = 0x0BFE;

// The version flag of a version instruction from its upper byte U: 1 when U is 0, marking a
// version that can be compared with another; 0 otherwise.
constexpr int PicVersionFlag(unsigned upperByte) {
    return upperByte == 0 ? 1 : 0;
}

// The application version as shown: hundredths for product codes 0x61xx ("2.30"), else
// thousandths with one decimal ("1.2").
std::string PicAppVersionText(uint16_t productCode, uint16_t appVersion);

}  // namespace tamrix
