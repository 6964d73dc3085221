// CProgramerPIC: Intel HEX text into the PIC image, and the product code and version a firmware
// file carries.
//
// A HEX byte address is twice the device address; every four hex digits of a data field (two data
// bytes) belong to the next device address. Each record is checked before it is used: a damaged
// record stops the load, with a status line that names its line, so a corrupted file never
// reaches the target.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "common/Format.h"
#include "image/IntelHex.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix {

// ---- loading -----------------------------------------------------------------------------------

bool CProgramerPIC::LoadDataRecord(const HexRecord& record, uint32_t extended) {
    bool result = true;
    // Two HEX bytes per device address. A record that starts at an odd byte address,
    // or ends after the first byte of an address, gives only one of its two: the
    // other keeps what the image holds there (erased when nothing), so every byte
    // lands at its own address. Taking the missing digits from the neighbouring
    // field (the checksum) would program them into the target.
    if (record.byteCount == 0)
        return true;  // a record without data places nothing (and marks no row as used)
    const uint64_t first = static_cast<uint64_t>(record.address) + extended;
    const uint64_t end = first + static_cast<uint64_t>(record.byteCount);
    for (uint64_t at = first & ~uint64_t{1}; at < end; at += 2) {
        const uint32_t address = static_cast<uint32_t>(at / 2);
        CMemory* row = FindRow(address);
        const int device = static_cast<int>(address);
        std::string merged;
        const char* digits = nullptr;
        if (at >= first && at + 1 < end) {
            digits = record.dataText + 2 * (at - first);
        } else {
            int value = 0;
            if (row == nullptr || row->GetWord(device, value) != 1)
                value = 0xFFFF;
            const auto byteAt = [&](uint64_t b) {
                return static_cast<unsigned>(record.DataByte(static_cast<int>(b - first)));
            };
            const unsigned high = at < first ? (value >> 8) & 0xFF : byteAt(at);
            const unsigned low = at + 1 < end ? byteAt(at + 1) : value & 0xFF;
            merged = Format("%02X%02X", high, low);
            digits = merged.c_str();
        }
        if (row != nullptr && row->SetWord(device, digits) == 1) {
            if (row->Kind() == RowKind::Program && device > maxAddress)
                maxAddress = device;
        } else {
            // The rest of the record is still placed; the load fails at its end.
            ReportStatus(Format("[Notice] : Hex file 0x%xAddress out of range\r\n", address));
            result = false;
        }
    }
    return result;
}

// ---- file information --------------------------------------------------------------------------

namespace {

// The bytes of a text at the product code's and the version's HEX addresses: the low and high
// byte of each word and the version instruction's upper byte.
enum { kCodeLow, kCodeHigh, kVersionLow, kVersionHigh, kVersionUpper, kWanted };
using PlacedBytes = std::array<int, kWanted>;  // -1 where the text gives no byte

// Every data record in text order, with the loader's base address, up to a record the loader
// refuses: a damaged one ends the walk itself, a start address or unknown type ends it here.
// Where the end record stands does not matter: the loader refuses such a text on its own.
class CValueFinder : public CHexRecordVisitor {
  public:
    explicit CValueFinder(const std::array<int64_t, kWanted>& wanted) : wanted_(wanted) {
        placed_.fill(-1);
    }
    bool OnData(const HexRecord& record, uint32_t extended) override {
        const int64_t first = int64_t{record.address} + extended;
        for (int i = 0; i < kWanted; ++i) {
            const int64_t offset = wanted_[i] - first;
            if (wanted_[i] >= 0 && offset >= 0 && offset < record.byteCount)
                placed_[i] = record.DataByte(static_cast<int>(offset));
        }
        return true;
    }
    bool OnOther(const HexRecord&) override { return false; }
    const PlacedBytes& Placed() const { return placed_; }

  private:
    const std::array<int64_t, kWanted>& wanted_;
    PlacedBytes placed_;
};

// The values are read from the very bytes the loader places, with its rules: every byte at its
// own HEX address (device address x 2), a later record overwriting an earlier one, and a byte the
// text does not give staying erased (0xFF). So the product code and version checked are always
// those that get programmed, however the text cuts its records.
PlacedBytes FindPlacedBytes(const char* text, int length, int productCodeAddress,
                            int versionAddress) {
    const int64_t code = 2 * int64_t{productCodeAddress};
    const int64_t version = 2 * int64_t{versionAddress};
    const std::array<int64_t, kWanted> wanted = {code, code + 1, version, version + 1, version + 2};
    CValueFinder finder(wanted);
    // A record the loader refuses ends the search; what came before it still counts when it
    // holds both values (the file is then refused when it is loaded, with its own message).
    static_cast<void>(WalkHexRecords(text, length, finder));
    return finder.Placed();
}

}  // namespace

bool CProgramerPIC::TakeFileInfo(const std::optional<FileInfo>& info, uint16_t& productCode,
                                 uint16_t& appVersion, int& versionFlag) {
    if (!info)
        return false;
    productCode = info->productCode;
    appVersion = info->appVersion;
    versionFlag = info->versionFlag;
    return true;
}

bool CProgramerPIC::ReadFileInfoFromBuffer(const char* text, int length, int productCodeAddress,
                                           uint16_t& productCode, int versionAddress,
                                           uint16_t& appVersion, int& versionFlag) {
    return TakeFileInfo(ReadFileInfoText(text, length, productCodeAddress, versionAddress, true),
                        productCode, appVersion, versionFlag);
}

bool CProgramerPIC::ReadFileInfo(const std::string& path, int productCodeAddress,
                                 uint16_t& productCode, int versionAddress, uint16_t& appVersion,
                                 int& versionFlag) {
    std::string text;
    if (!ReadHexTextFile(path, text)) {
        progress = 0;
        return false;
    }
    return TakeFileInfo(ReadFileInfoText(text.data(), static_cast<int>(text.size()),
                                         productCodeAddress, versionAddress, false),
                        productCode, appVersion, versionFlag);
}

std::optional<CProgramerPIC::FileInfo> CProgramerPIC::ReadFileInfoText(const char* text, int length,
                                                                       int productCodeAddress,
                                                                       int versionAddress,
                                                                       bool hundredthsFor0x61) {
    const PlacedBytes placed = FindPlacedBytes(text, length, productCodeAddress, versionAddress);
    const bool productFound = placed[kCodeLow] >= 0 || placed[kCodeHigh] >= 0;
    const bool versionFound = placed[kVersionLow] >= 0 || placed[kVersionHigh] >= 0;
    if (!productFound || !versionFound)
        return std::nullopt;

    const auto byteAt = [&placed](int i) { return placed[i] >= 0 ? placed[i] : 0xFF; };
    FileInfo info;
    info.productCode = static_cast<uint16_t>(byteAt(kCodeLow) + 256 * byteAt(kCodeHigh));
    info.appVersion = static_cast<uint16_t>(byteAt(kVersionLow) + 256 * byteAt(kVersionHigh));
    info.versionFlag = PicVersionFlag(static_cast<unsigned>(byteAt(kVersionUpper)));
    const std::string versionText = hundredthsFor0x61
                                        ? PicAppVersionText(info.productCode, info.appVersion)
                                        : Format("%0.1f", info.appVersion / 1000.0);
    ReportStatus(
        Format("[Message] : File Info Read From Hex File (P Code:%s, "
               "APP Version : %s, Version Flag : %d)  \r\n",
               Format("%d", info.productCode).c_str(), versionText.c_str(), info.versionFlag));
    return info;
}

}  // namespace tamrix
