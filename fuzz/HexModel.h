#pragma once
// A second reading of Intel HEX text for the differential fuzzers, written from the record format
// alone and sharing no code with image/IntelHex: the absolute address and value of every data
// byte, and whether the program's loaders must accept the text at all.
//
// What a text must be for the loaders to take it:
//   - lines end in CR LF, LF or CR (the last one may have none); spaces and tabs around a record
//     are ignored, and lines of nothing else are skipped;
//   - every other line is one record: ':', byte count, address (4 digits), type, data, checksum,
//     all hex digits of either case, exactly 11 + 2 x count characters, and all its bytes
//     (count to checksum) adding up to 0 modulo 256;
//   - types 00 (data), 01 (end), 02 and 04 (address, exactly two data bytes); a start address
//     (03, 05) or any other type refuses the text;
//   - an end record is there, and nothing but blank lines follows the first one.
// Addresses: after a type 04 record (and before any address record) byte i of a data record lies
// at (base + offset + i) modulo 2^32 with base = value x 65536; after a type 02 record at
// base + ((offset + i) modulo 65536) with base = value x 16, so a record that runs past the end
// of its segment continues at the segment's start.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace tamrix::fuzz {

struct HexModel {
    bool accepted = false;              // the text keeps every rule above
    std::string why;                    // the rule it breaks, when it does not
    std::map<uint32_t, uint8_t> bytes;  // absolute byte address -> the last value written there
};

HexModel ReadHexModel(const uint8_t* text, size_t size);

// The value at `address`, or the erased 0xFF when the text gives none.
inline unsigned ModelByte(const HexModel& model, uint64_t address) {
    if (address > 0xFFFFFFFFu)
        return 0xFFu;
    const auto it = model.bytes.find(static_cast<uint32_t>(address));
    return it != model.bytes.end() ? it->second : 0xFFu;
}

}  // namespace tamrix::fuzz
