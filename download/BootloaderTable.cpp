#include "download/BootloaderTable.h"

namespace tamrix {

namespace {

// Registered products go above the end entry, for example
//   {14900, "product", 165, 1200, "bootloader", "1.2", "00000"},
const BootloaderTableEntry kBootloaderTable[] = {
    {0, "NONE", 0, 0, "NONE", "0.0", "00000"},
};

}  // namespace

const BootloaderTableEntry* DeliveredBootloaderTable() {
    return kBootloaderTable;
}

const BootloaderTableEntry* FindBootloaderEntry(const BootloaderTableEntry* table,
                                                uint16_t productCode) {
    if (table == nullptr)
        return nullptr;
    for (const BootloaderTableEntry* entry = table; entry->productCode != 0; ++entry) {
        if (entry->productCode == productCode)
            return entry;
    }
    return nullptr;
}

}  // namespace tamrix
