#include "platform/Sha256.h"

namespace tamrix {

std::string Sha256Hex(const uint8_t* data, size_t size) {
    Sha256Bytes digest{};
    if (!Sha256Digest(data, size, digest))
        return std::string();
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace tamrix
