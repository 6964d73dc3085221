#include <nettle/sha2.h>

#include "common/Format.h"
#include "common/Sha256.h"

namespace tamrix {

std::string Sha256Hex(const uint8_t* data, size_t size) {
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, size, data);
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    for (const uint8_t byte : digest)
        hex += Format("%02x", byte);
    return hex;
}

}  // namespace tamrix
