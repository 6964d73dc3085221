#pragma once
// The demonstration's sample firmware: resources/sample/demo-firmware.bin, an Upgrade Binary File
// made by `tamrix-cli convert` from resources/sample/demo-firmware.hex, compiled into the program.

#include <cstddef>

namespace tamrix {

extern const unsigned char kDemoFirmware[];
extern const size_t kDemoFirmwareSize;

// What the sample firmware is for: the simulated product the demonstration starts.
inline constexpr const char* kDemoChip = "dsPIC30F6014A";
inline constexpr unsigned kDemoProductCode = 12345;
inline constexpr unsigned kDemoTargetAppVersion = 1000;  // the file brings 1100

}  // namespace tamrix
