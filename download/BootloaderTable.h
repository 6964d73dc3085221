#pragma once
// The bootloaders registered per product: when a PIC target of a registered product runs another
// boot version than the registered one, the download process first programs the registered
// bootloader image and starts over. A table ends with an entry whose product code is 0.

#include <cstdint>

namespace tamrix {

struct BootloaderTableEntry {
    uint16_t productCode;         // the product; 0 marks the end entry
    const char* productName;      // for the maintainers of the table, not read by the program
    uint16_t resourceId;          // the embedded bootloader image to install (LoadBootloaderImage)
    uint16_t bootVersion;         // the registered boot version, in thousandths (1200 = 1.2)
    const char* bootloaderName;   // for the maintainers, not read
    const char* bootVersionText;  // for the maintainers, not read
    const char* releaseCode;      // for the maintainers, not read
};

// The table the program uses. As delivered it registers no product: it holds the end entry only,
// so no download ever replaces a bootloader. A product is registered by adding its entry ahead of
// the end entry (BootloaderTable.cpp).
const BootloaderTableEntry* DeliveredBootloaderTable();

// The entry for `productCode`: the table is walked from its first entry and the walk stops at the
// first entry whose product code is 0 or equals the key. Null when none matched; a key of 0 is
// never found, and a null table finds nothing.
const BootloaderTableEntry* FindBootloaderEntry(const BootloaderTableEntry* table,
                                                uint16_t productCode);

}  // namespace tamrix
