#pragma once
// The firmware images the speed benchmarks program: every byte of the chosen rows filled with
// seeded random data, so that each row is sent in full, and the check that the simulated flash
// holds the image afterwards (a run that programmed something else has measured nothing).

#include <cstdint>
#include <map>
#include <string>

namespace tamrix::bench {

using ByteImage = std::map<uint32_t, uint8_t>;  // Intel HEX byte address -> byte

// PIC: `rows` program rows of `rowInstructions` instructions from device address 0, as a HEX file
// gives them (four bytes per instruction, phantom byte 0). No instruction is the erased value, so
// the simulator's dump lists every one.
ByteImage PicImage(int rows, int rowInstructions, uint32_t seed);

// SAM: every byte of the 64 KiB program memory; none is the erased value 0xFF.
ByteImage SamImage(uint32_t seed);

// PIC: the HEX bytes of the reset vector (the first two instructions), which the programmer
// replaces with the target's own before it writes row 0.
inline constexpr uint32_t kPicResetVectorHexBytes = 8;

// Compares the simulator's dump with `image` from HEX address `from` to the image's last address:
// a byte that differs, is missing or is extra counts. Returns the count and describes the first.
int CountDifferences(const ByteImage& image, const ByteImage& dump, uint32_t from,
                     std::string* first);

// Reads the simulator's flash dump (Intel HEX, its --dump file) and compares it with `image` as
// CountDifferences does. False with the reason when the dump cannot be read or differs.
bool DumpMatches(const std::string& dumpPath, const ByteImage& image, uint32_t from,
                 std::string* error);

}  // namespace tamrix::bench
