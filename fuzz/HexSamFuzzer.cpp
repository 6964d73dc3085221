// Differential fuzzer of the SAM HEX loader: LoadHexBuffer into a SAM image, compared with
// HexModel's reading of the same text. The loader must accept exactly the texts the model accepts
// whose bytes all lie in program memory (0x00000-0x0FFFF), EEPROM (0x10000-0x13FFF) or the four
// fuse bytes (0x20000-0x20003); then every row must hold the text's bytes at their own addresses,
// 0xFF where the text gives none, and nothing else may be touched.

#include <cstdint>
#include <set>
#include <string>

#include "common/Format.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/HexModel.h"
#include "fuzz/HexMutator.h"
#include "image/FamilyCodes.h"
#include "image/MemorySAM.h"
#include "platform/Clock.h"
#include "programmer/ProgramerSAM.h"

using namespace tamrix;
using fuzz::Disagree;
using fuzz::HexModel;
using fuzz::ModelByte;

namespace {

// Table index and first address of the row that holds a byte address, by the documented layout;
// -1 outside the image.
struct RowPlace {
    int index = -1;
    uint32_t base = 0;
    uint32_t bytes = 0;
};

RowPlace PlaceOf(uint32_t address) {
    if (address < 0x10000)
        return {static_cast<int>(address / 128), address / 128 * 128, 128};
    if (address < 0x14000) {
        return {512 + static_cast<int>((address - 0x10000) / 128),
                0x10000 + (address - 0x10000) / 128 * 128, 128};
    }
    if (address >= 0x20000 && address < 0x20004)
        return {640, 0x20000, 4};
    return {};
}

std::string Hex(uint64_t value) {
    return Format("0x%llx", static_cast<unsigned long long>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20)
        return -1;
    const HexModel model = fuzz::ReadHexModel(data, size);
    CVirtualClock clock;
    CProgramerSAM programmer(nullptr, clock);
    programmer.BuildMemoryMap(kFamilyS3F828B);
    const int loaded =
        programmer.LoadHexBuffer(reinterpret_cast<const char*>(data), static_cast<int>(size));

    bool expectLoaded = model.accepted;
    for (const auto& entry : model.bytes) {
        if (expectLoaded && PlaceOf(entry.first).index < 0)
            expectLoaded = false;
    }
    if ((loaded == 1) != expectLoaded) {
        Disagree("LoadHexBuffer returned " + std::to_string(loaded) + "; the model " +
                 (expectLoaded ? "accepts the text"
                               : "refuses it: " +
                                     (model.accepted ? "a byte outside every row" : model.why)));
    }
    if (loaded != 1)
        return 0;

    std::set<int> loadedRows;
    uint32_t highestProgram = 0;
    for (const auto& [address, value] : model.bytes) {
        loadedRows.insert(PlaceOf(address).index);
        if (address < 0x10000 && address > highestProgram)
            highestProgram = address;
    }
    if (programmer.MaxAddress() != static_cast<int>(highestProgram))
        Disagree("maxAddress " + Hex(static_cast<uint64_t>(programmer.MaxAddress())));

    const auto& rows = programmer.Rows();
    for (size_t index = 0; index < rows.size(); ++index) {
        CMemory& row = *rows[index];
        const bool expectFilled = loadedRows.count(static_cast<int>(index)) != 0;
        if ((row.isEmpty == 0) != expectFilled)
            Disagree("row " + std::to_string(index) + " isEmpty " + std::to_string(row.isEmpty));
        if (!expectFilled)
            continue;
        const RowPlace place = PlaceOf(static_cast<uint32_t>(row.baseAddress));
        if (place.index != static_cast<int>(index) ||
            row.wordCount != static_cast<int>(place.bytes))
            Disagree("row " + std::to_string(index) + " starts at " + Hex(row.baseAddress));
        row.PackRow();
        for (uint32_t i = 0; i < place.bytes; ++i) {
            const unsigned expected = ModelByte(model, place.base + i);
            const bool given = model.bytes.count(place.base + i) != 0;
            if (row.words[i] != (given ? expected : 0xFFFFu) || row.packed[i] != expected) {
                Disagree("address " + Hex(place.base + i) + " holds " + Hex(row.words[i]) +
                         ", the text says " + Hex(expected));
            }
        }
    }
    return 0;
}

// Record-aware mutations (HexMutator.h) besides libFuzzer's own.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
    return fuzz::MutateHexText(data, size, maxSize, seed);
}
