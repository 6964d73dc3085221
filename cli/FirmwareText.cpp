#include "cli/FirmwareText.h"

#include <map>

#include "common/Format.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/FileAccess.h"

namespace tamrix::cli {

namespace {

std::string WithoutLineEnds(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string HexStrayBytesText(const std::vector<uint8_t>& bytes) {
    return tamrix::HexStrayBytesText(reinterpret_cast<const char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
}

bool IsHexTextByte(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

}  // namespace

bool LooksLikeHexText(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || bytes[0] != ':')
        return false;
    for (const uint8_t c : bytes) {
        if (!IsHexTextByte(c))
            return false;
    }
    return true;
}

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
    FileReadResult file = ReadRegularFile(path, kImageBufferSize);
    switch (file.error) {
        case FileError::None:
            break;
        case FileError::Missing:
            result.error = "cannot read " + path;
            return result;
        case FileError::Empty:
            result.error = path + " is empty";
            return result;
        case FileError::TooLarge:
            result.error =
                Format("%s has %llu bytes; a firmware file holds at most %d", path.c_str(),
                       static_cast<unsigned long long>(file.size), kImageBufferSize);
            return result;
        default:
            result.error = Format("cannot read %s: %s", path.c_str(), file.reason.c_str());
            return result;
    }

    // A HEX text behind a byte-order mark or before an end-of-file mark or padding is refused all
    // the same, but as what it is and where, not unscrambled into noise.
    if (const std::string stray = HexStrayBytesText(file.bytes); !stray.empty()) {
        result.error = Format("%s is not valid Intel HEX: it %s", path.c_str(), stray.c_str());
        return result;
    }
    // Told apart by their look, not by whether they parse: a plain HEX text with a damaged record
    // is reported as such, with its line, instead of being unscrambled into noise.
    if (LooksLikeHexText(file.bytes)) {
        std::string fault;
        if (!IsIntelHex(file.bytes, &fault)) {
            result.error = Format("%s: %s", path.c_str(), WithoutLineEnds(fault).c_str());
            return result;
        }
        result.text = std::move(file.bytes);
        return result;
    }
    std::vector<uint8_t> plain = ScrambleBytes(std::move(file.bytes), seed);
    if (const std::string stray = HexStrayBytesText(plain); !stray.empty()) {
        result.error = Format("%s is a firmware file whose text is not valid Intel HEX: it %s",
                              path.c_str(), stray.c_str());
        return result;
    }
    std::string fault;
    if (!IsIntelHex(plain, &fault)) {
        result.error = Format(
            "%s is neither Intel HEX nor a firmware file scrambled with seed %u "
            "(%s)",
            path.c_str(), seed, WithoutLineEnds(fault).c_str());
        return result;
    }
    result.text = std::move(plain);
    result.wasScrambled = true;
    return result;
}

}  // namespace tamrix::cli
