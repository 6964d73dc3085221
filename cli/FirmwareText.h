#pragma once
// Reading a firmware file for the file tools: a plain Intel HEX file is taken as it is, anything
// else is unscrambled exactly as the download process does it.

#include <cstdint>
#include <string>
#include <vector>

namespace tamrix::cli {

struct FirmwareText {
    std::vector<uint8_t> text;  // the Intel HEX text
    bool wasScrambled = false;  // the file was an Upgrade Binary File
    std::string error;          // why nothing could be read (then `text` is empty), one line
};

// Reads `path`: regular files of at most the download buffer's size only, never waiting on a FIFO
// or a device. Plain Intel HEX (told by its look) is checked as it is, and its first faulty record
// is named with its line; anything else is unscrambled with `seed` and must then be valid Intel
// HEX, else the error suggests the seed.
FirmwareText ReadFirmwareText(const std::string& path, uint32_t seed);

// True when the bytes look like plain Intel HEX text, valid or not: a ':' first and nothing but
// hex digits, ':', line ends and blanks. A scrambled file practically never does.
bool LooksLikeHexText(const std::vector<uint8_t>& bytes);

// True when the bytes are a complete, valid Intel HEX text (every record checks).
bool IsIntelHex(const std::vector<uint8_t>& bytes, std::string* error = nullptr);

}  // namespace tamrix::cli
