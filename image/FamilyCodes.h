#pragma once
// The family codes of the device table: which kind of microcontroller a chip is. The device
// table, the PIC and SAM images and the tools all speak of families by these names; the PIC image
// needs them below the programmers, so they and the table live here, beside the images.
//
// Inside the program a family is a Family; the device table, the rows' `family` field and the
// programmers' BuildMemoryMap and ReadTargetData keep the number (FamilyCode, FamilyOf).

#include <cstdint>

namespace tamrix {

enum class Family : int32_t {
    None = 0,      // no chip: the device table's end row
    DsPic30F = 1,  // 32-instruction program rows
    DsPic33F = 2,  // 512-instruction program rows, as PIC24H/F
    Pic24H = 3,
    Pic24F = 4,
    S3F828B = 101,  // Samsung S3F8, served by the SAM bootloader
    S3F84ZB = 102,
    S3F84YB = 103,
    Atmega128 = 201,  // identified, never programmed
};

constexpr int32_t FamilyCode(Family family) {
    return static_cast<int32_t>(family);
}
// The family a device-table number names (a number of no family stays as it is, unnamed).
constexpr Family FamilyOf(int32_t code) {
    return static_cast<Family>(code);
}

inline constexpr int32_t kFamilyDsPic30F = FamilyCode(Family::DsPic30F);
inline constexpr int32_t kFamilyDsPic33F = FamilyCode(Family::DsPic33F);
inline constexpr int32_t kFamilyPic24H = FamilyCode(Family::Pic24H);
inline constexpr int32_t kFamilyPic24F = FamilyCode(Family::Pic24F);
inline constexpr int32_t kFamilyS3F828B = FamilyCode(Family::S3F828B);
inline constexpr int32_t kFamilyS3F84ZB = FamilyCode(Family::S3F84ZB);
inline constexpr int32_t kFamilyS3F84YB = FamilyCode(Family::S3F84YB);
inline constexpr int32_t kFamilyAtmega128 = FamilyCode(Family::Atmega128);

}  // namespace tamrix
