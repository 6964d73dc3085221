#include <nettle/sha2.h>

#include "platform/Sha256.h"

namespace tamrix {

bool Sha256Digest(const uint8_t* data, size_t size, Sha256Bytes& digest) {
    static_assert(SHA256_DIGEST_SIZE == sizeof(Sha256Bytes));
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, size, data);
    sha256_digest(&context, digest.size(), digest.data());
    return true;
}

}  // namespace tamrix
