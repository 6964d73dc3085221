#pragma once
// The family codes of the device table: which kind of microcontroller a chip is. The device
// table, the PIC and SAM images and the tools all speak of families by these names; the PIC image
// needs them below the programmers, so they live here rather than with the table.

#include <cstdint>

namespace tamrix {

inline constexpr int32_t kFamilyDsPic30F = 1;  // 32-instruction program rows
inline constexpr int32_t kFamilyDsPic33F = 2;  // 512-instruction program rows, as PIC24H/F
inline constexpr int32_t kFamilyPic24H = 3;
inline constexpr int32_t kFamilyPic24F = 4;
inline constexpr int32_t kFamilyS3F828B = 101;  // Samsung S3F8, served by the SAM bootloader
inline constexpr int32_t kFamilyS3F84ZB = 102;
inline constexpr int32_t kFamilyS3F84YB = 103;
inline constexpr int32_t kFamilyAtmega128 = 201;  // identified, never programmed

}  // namespace tamrix
