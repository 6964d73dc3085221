#pragma once
// The microcontrollers the program can identify: a constant table of 90 rows and an all-zero end
// row, looked up by the (device identifier, PI) pair the bootloader reports in the handshake.
// A library of its own (tamrix_devices), which the simulated target shares.

#include <cstdint>
#include <string>

#include "image/FamilyCodes.h"

namespace tamrix {

struct DeviceTableEntry {
    const char* name;   // shown to the user; null only in the end row
    uint16_t deviceId;  // reply bytes 0 and 1 of the identification
    uint16_t pi;        // high nibble of reply byte 5
    int32_t family;     // kFamilyDsPic30F ... kFamilyAtmega128 (FamilyCodes.h)
};

inline constexpr int kDeviceTableRows = 90;
extern const DeviceTableEntry DeviceTable[kDeviceTableRows + 1];

// Identifiers that choose the programmer (the family does not).
inline constexpr uint16_t kSamDeviceId = 0x0001;
inline constexpr uint16_t kAtmegaDeviceId = 0x0002;

// First row whose deviceId and pi both match; the end row (family 0, null name) when none does.
DeviceTableEntry LookupDevice(uint16_t deviceId, uint16_t pi);

// First row of that name, or null. For the simulated target and the command line.
const DeviceTableEntry* FindDeviceByName(const std::string& name);

enum class ProgrammerKind { None, Pic, Sam };
// Which programmer serves a row: Sam for identifier 0x0001, none for the ATmega128 row (0x0002)
// and the end row, Pic for every other identifier.
ProgrammerKind ProgrammerKindFor(const DeviceTableEntry& entry);

}  // namespace tamrix
