#include "common/Sha256.h"

#include "common/Format.h"

namespace tamrix {

std::string Sha256Hex(const uint8_t* data, size_t size) {
    Sha256Bytes digest{};
    if (!Sha256Digest(data, size, digest))
        return std::string();
    std::string hex;
    for (const uint8_t byte : digest)
        hex += Format("%02x", byte);
    return hex;
}

}  // namespace tamrix
