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
    std::string error;          // why nothing could be read (then `text` is empty)
};

// Reads `path`: plain Intel HEX as it is, otherwise unscrambled with `seed`. The result is checked
// to be valid Intel HEX; a file that is neither gives an error that suggests the seed.
FirmwareText ReadFirmwareText(const std::string& path, uint32_t seed);

// True when the bytes are a complete, valid Intel HEX text (every record checks).
bool IsIntelHex(const std::vector<uint8_t>& bytes, std::string* error = nullptr);

}  // namespace tamrix::cli
