#include "cli/FirmwareText.h"

#include <fstream>
#include <iterator>
#include <map>

#include "common/Format.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"

namespace tamrix::cli {

bool IsIntelHex(const std::vector<uint8_t>& bytes, std::string* error) {
    if (bytes.empty() || bytes[0] != ':') {
        if (error)
            *error = "the text does not start with an Intel HEX record";
        return false;
    }
    std::map<uint32_t, uint8_t> image;
    std::string fault;
    if (!ParseIntelHex(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                       image, &fault)) {
        if (error)
            *error = fault;
        return false;
    }
    return true;
}

FirmwareText ReadFirmwareText(const std::string& path, uint32_t seed) {
    FirmwareText result;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "cannot read " + path;
        return result;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        result.error = path + " is empty";
        return result;
    }
    if (bytes.size() > static_cast<size_t>(kImageBufferSize)) {
        result.error = Format("%s has %zu bytes; a firmware file holds at most %d", path.c_str(),
                              bytes.size(), kImageBufferSize);
        return result;
    }
    if (IsIntelHex(bytes)) {
        result.text = std::move(bytes);
        return result;
    }
    std::vector<uint8_t> plain = ScrambleBytes(std::move(bytes), seed);
    std::string fault;
    if (!IsIntelHex(plain, &fault)) {
        result.error = Format(
            "%s is neither Intel HEX nor a firmware file scrambled with seed %u "
            "(%s)",
            path.c_str(), seed, fault.c_str());
        return result;
    }
    result.text = std::move(plain);
    result.wasScrambled = true;
    return result;
}

}  // namespace tamrix::cli
