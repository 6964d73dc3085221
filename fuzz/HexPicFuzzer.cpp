// Differential fuzzer of the PIC HEX loader: LoadHexBuffer into a PIC image, compared with
// HexModel's reading of the same text. The loader must accept exactly the texts the model
// accepts; then every row must hold what the text's bytes say (HEX byte address = 2 x device
// address, the two bytes of an address in file order in its slot, 0xFF where the text gives none),
// pack them as the bootloader takes them, and the file-information reader must report the very
// bytes the loader placed at 0x0C00 and 0x0C02.
//
// The input's length chooses the image: a dsPIC30F one (32-instruction rows) when it is odd, a
// dsPIC33F one (512-instruction rows) when it is even.

#include <cstdint>
#include <set>
#include <string>

#include "common/Format.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/HexModel.h"
#include "fuzz/HexMutator.h"
#include "image/FamilyCodes.h"
#include "platform/Clock.h"
#include "programmer/PicVersion.h"
#include "programmer/ProgramerPIC.h"

using namespace tamrix;
using fuzz::Disagree;
using fuzz::HexModel;
using fuzz::ModelByte;

namespace {

// The image's rows by their documented geometry, worked out here rather than asked of the
// programmer: table index, first device address and number of device addresses.
struct RowPlace {
    int index = -1;
    uint32_t base = 0;
    uint32_t span = 0;
};

RowPlace PlaceOf(uint64_t device, int family) {
    const uint32_t programSpan = family == kFamilyDsPic30F ? 64 : 1024;
    if (device < uint64_t{1536} * programSpan) {
        const uint32_t n = static_cast<uint32_t>(device / programSpan);
        return {static_cast<int>(n), n * programSpan, programSpan};
    }
    if (device >= 0x7FF000 && device < 0x800000) {
        const uint32_t n = static_cast<uint32_t>((device - 0x7FF000) / 32);
        return {1536 + static_cast<int>(n), 0x7FF000 + 32 * n, 32};
    }
    if (device >= 0xF80000 && device < 0xF80010) {
        const uint32_t n = static_cast<uint32_t>((device - 0xF80000) / 2);
        return {1664 + static_cast<int>(n), 0xF80000 + 2 * n, 2};
    }
    return {};
}

// The slot of a device address: its first HEX byte high, its second low.
unsigned Slot(const HexModel& model, uint32_t device) {
    return ModelByte(model, 2ull * device) << 8 | ModelByte(model, 2ull * device + 1);
}

std::string Hex(uint64_t value) {
    return Format("0x%llx", static_cast<unsigned long long>(value));
}

void CheckRows(CProgramerPIC& programmer, const HexModel& model, int family) {
    std::set<int> loaded;
    int highestProgram = 0;
    for (const auto& [address, value] : model.bytes) {
        const uint32_t device = address / 2;
        const RowPlace place = PlaceOf(device, family);
        if (place.index < 0)
            Disagree("the loader accepted a byte outside every row at " + Hex(address));
        loaded.insert(place.index);
        if (place.index < 1536 && static_cast<int>(device) > highestProgram)
            highestProgram = static_cast<int>(device);
    }
    if (programmer.MaxAddress() != highestProgram) {
        Disagree("maxAddress " + Hex(static_cast<uint64_t>(programmer.MaxAddress())) +
                 ", the highest program address is " + Hex(static_cast<uint64_t>(highestProgram)));
    }

    const auto& rows = programmer.Rows();
    for (size_t index = 0; index < rows.size(); ++index) {
        CMemory& row = *rows[index];
        const bool expectLoaded = loaded.count(static_cast<int>(index)) != 0;
        if ((row.isEmpty == 0) != expectLoaded)
            Disagree("row " + std::to_string(index) + " isEmpty " + std::to_string(row.isEmpty));
        if (!expectLoaded)
            continue;
        const RowPlace place = PlaceOf(static_cast<uint32_t>(row.baseAddress), family);
        if (place.index != static_cast<int>(index))
            Disagree("row " + std::to_string(index) + " starts at " + Hex(row.baseAddress));
        for (uint32_t device = place.base; device < place.base + place.span; ++device) {
            int value = -1;
            const unsigned expected = Slot(model, device);
            if (row.GetWord(static_cast<int>(device), value) != 1 ||
                static_cast<unsigned>(value) != expected) {
                Disagree("device address " + Hex(device) + " holds " + Hex(value & 0xFFFF) +
                         ", the text says " + Hex(expected));
            }
        }

        // What goes to the bootloader: L M U of every instruction, the two bytes of every EEPROM
        // word, L M U of the configuration word.
        row.PackRow();
        std::string expected;
        if (row.kind == kRowProgram) {
            for (uint32_t i = 0; i < place.span / 2; ++i) {
                const uint64_t at = 2ull * (place.base + 2 * i);
                expected += static_cast<char>(ModelByte(model, at));
                expected += static_cast<char>(ModelByte(model, at + 1));
                expected += static_cast<char>(ModelByte(model, at + 2));
            }
        } else if (row.kind == kRowEeprom) {
            for (uint32_t j = 0; j < 16; ++j) {
                const uint64_t at = 2ull * (place.base + 2 * j);
                expected += static_cast<char>(ModelByte(model, at));
                expected += static_cast<char>(ModelByte(model, at + 1));
            }
        } else {
            const uint64_t at = 2ull * place.base;
            for (int k = 0; k < 3; ++k)
                expected += static_cast<char>(ModelByte(model, at + static_cast<uint64_t>(k)));
        }
        if (std::string(row.packed.begin(), row.packed.end()) != expected)
            Disagree("the packed bytes of row " + std::to_string(index) + " differ");
    }

    const int productSlot = loaded.count(PlaceOf(kPicProductCodeAddress, family).index) != 0
                                ? static_cast<int>(Slot(model, kPicProductCodeAddress))
                                : 0;
    if (programmer.GetImageProductCode() != productSlot)
        Disagree("GetImageProductCode " +
                 Hex(static_cast<uint64_t>(programmer.GetImageProductCode())));
}

void CheckFileInfo(CProgramerPIC& programmer, const char* text, int length, const HexModel& model) {
    const uint64_t code = 2ull * kPicProductCodeAddress;
    const uint64_t version = 2ull * kPicVersionAddress;
    const auto given = [&model](uint64_t address) { return model.bytes.count(address) != 0; };
    const bool expectFound =
        (given(code) || given(code + 1)) && (given(version) || given(version + 1));

    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    int versionFlag = -1;
    const bool found =
        programmer.ReadFileInfoFromBuffer(text, length, kPicProductCodeAddress, productCode,
                                          kPicVersionAddress, appVersion, versionFlag);
    if (found != expectFound)
        Disagree(std::string("ReadFileInfoFromBuffer says ") + (found ? "found" : "not found"));
    if (!found)
        return;
    // Both words low byte first, as the firmware keeps them; the flag from the version's upper
    // byte.
    const unsigned expectCode = ModelByte(model, code) | ModelByte(model, code + 1) << 8;
    const unsigned expectVersion = ModelByte(model, version) | ModelByte(model, version + 1) << 8;
    const int expectFlag = ModelByte(model, version + 2) == 0 ? 1 : 0;
    if (productCode != expectCode || appVersion != expectVersion || versionFlag != expectFlag) {
        Disagree("file information " + Hex(productCode) + "/" + Hex(appVersion) + "/" +
                 std::to_string(versionFlag) + ", the text says " + Hex(expectCode) + "/" +
                 Hex(expectVersion) + "/" + std::to_string(expectFlag));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20)
        return -1;
    const int family = size % 2 == 1 ? kFamilyDsPic30F : kFamilyDsPic33F;
    const char* text = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);
    const HexModel model = fuzz::ReadHexModel(data, size);
    CVirtualClock clock;
    CProgramerPIC programmer(nullptr, clock);
    programmer.BuildMemoryMap(family);
    const int loaded = programmer.LoadHexBuffer(text, length);

    // The model accepts the bytes' syntax; the image's address ranges decide the rest.
    bool expectLoaded = model.accepted;
    for (const auto& entry : model.bytes) {
        if (expectLoaded && PlaceOf(entry.first / 2, family).index < 0)
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
    CheckRows(programmer, model, family);
    CheckFileInfo(programmer, text, length, model);
    return 0;
}

// Record-aware mutations (HexMutator.h) besides libFuzzer's own.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
    return fuzz::MutateHexText(data, size, maxSize, seed);
}
