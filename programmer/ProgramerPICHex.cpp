// CProgramerPIC: Intel HEX text into the PIC image, and the product code and version a firmware
// file carries.
//
// A HEX byte address is twice the device address; every four hex digits of a data field (two data
// bytes) belong to the next device address. Each record is checked before it is used: a damaged
// record stops the load, with a status line that names its line, so a corrupted file never
// reaches the target.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "common/Format.h"
#include "image/IntelHex.h"
#include "programmer/ProgramerPIC.h"

namespace tamrix {

namespace {

// Up to `count` hex digits from `from`, never past the end of the line. A record's last group can
// run into the checksum digits, and the digits after a group can lie beyond the line: there the
// value ends.
unsigned DigitsInLine(const HexLine& line, const char* from, int count) {
    const char* end = line.text.data() + line.text.size();
    if (from >= end)
        return 0;
    const int available = static_cast<int>(std::min<std::ptrdiff_t>(count, end - from));
    return ParseHexDigits(from, available);
}

// The 16-bit word of a group read little-endian: the digits c0 c1 c2 c3 give c2 c3 c0 c1, that is
// L + 256 * M.
uint16_t LittleEndianWord(const HexLine& line, const char* group) {
    return static_cast<uint16_t>(DigitsInLine(line, group + 2, 2) * 256 +
                                 DigitsInLine(line, group, 2));
}

}  // namespace

// ---- loading -----------------------------------------------------------------------------------

int CProgramerPIC::LoadDataRecord(const HexRecord& record, uint32_t extended) {
    int result = 1;
    // Two HEX bytes per device address. A record that starts at an odd byte address,
    // or ends after the first byte of an address, gives only one of its two: the
    // other keeps what the image holds there (erased when nothing), so every byte
    // lands at its own address. Taking the missing digits from the neighbouring
    // field (the checksum) would program them into the target.
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
            if (row->kind == kRowProgram && device > maxAddress)
                maxAddress = device;
        } else {
            // The rest of the record is still placed; the load fails at its end.
            ReportStatus(Format("[Notice] : Hex file 0x%xAddress out of range\r\n", address));
            result = 0;
        }
    }
    return result;
}

// ---- file information --------------------------------------------------------------------------

bool CProgramerPIC::ReadFileInfoFromBuffer(const char* text, int length, int productCodeAddress,
                                           uint16_t& productCode, int versionAddress,
                                           uint16_t& appVersion, int& versionFlag) {
    return ReadFileInfoText(text, length, productCodeAddress, productCode, versionAddress,
                            appVersion, versionFlag, true);
}

bool CProgramerPIC::ReadFileInfo(const std::string& path, int productCodeAddress,
                                 uint16_t& productCode, int versionAddress, uint16_t& appVersion,
                                 int& versionFlag) {
    std::string text;
    if (!ReadHexTextFile(path, text)) {
        progress = 0;
        return false;
    }
    return ReadFileInfoText(text.data(), static_cast<int>(text.size()), productCodeAddress,
                            productCode, versionAddress, appVersion, versionFlag, false);
}

bool CProgramerPIC::ReadFileInfoText(const char* text, int length, int productCodeAddress,
                                     uint16_t& productCode, int versionAddress,
                                     uint16_t& appVersion, int& versionFlag,
                                     bool hundredthsFor0x61) {
    CHexLineReader reader(text, length);
    HexLine line;
    uint32_t extended = 0;
    bool productFound = false;
    bool versionFound = false;
    while (reader.Next(line)) {
        HexRecord record;
        if (ParseHexRecord(line, record) != HexRecordError::None)
            return false;
        switch (record.type) {
            case kHexData: {
                const int64_t first = (int64_t{record.address} + extended) / 2;
                const int64_t end = first + (record.byteCount + 1) / 2;
                if (productCodeAddress >= first && productCodeAddress < end) {
                    const char* group = record.dataText + 4 * (productCodeAddress - first);
                    productCode = LittleEndianWord(line, group);
                    productFound = true;
                }
                if (versionAddress >= first && versionAddress < end) {
                    const char* group = record.dataText + 4 * (versionAddress - first);
                    appVersion = LittleEndianWord(line, group);
                    // The upper byte U of the version instruction: 0 marks a version that can be
                    // compared with the target's.
                    versionFlag = DigitsInLine(line, group + 4, 2) == 0 ? 1 : 0;
                    versionFound = true;
                }
                if (productFound && versionFound) {
                    const std::string versionText = hundredthsFor0x61
                                                        ? AppVersionText(productCode, appVersion)
                                                        : Format("%0.1f", appVersion / 1000.0);
                    ReportStatus(Format(
                        "[Message] : File Info Read From Hex File (P Code:%s, "
                        "APP Version : %s, Version Flag : %d)  \r\n",
                        Format("%d", productCode).c_str(), versionText.c_str(), versionFlag));
                    return true;
                }
                break;
            }
            case kHexEndOfFile:
                break;
            case kHexExtendedSegment:
            case kHexExtendedLinear:
                extended = ExtendedAddress(record);
                break;
            default:
                return false;  // start address records and unknown types end the search
        }
    }
    return false;
}

}  // namespace tamrix
