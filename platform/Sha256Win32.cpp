#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

#include "platform/Sha256.h"

namespace tamrix {

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

bool Sha256Digest(const uint8_t* data, size_t size, Sha256Bytes& digest) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = Succeeded(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // BCryptHashData takes at most 4 GiB a call.
    for (size_t at = 0; done && at < size;) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(size - at, 0x40000000));
        done = Succeeded(::BCryptHashData(hash, const_cast<PUCHAR>(data + at), piece, 0));
        at += piece;
    }
    done = done &&
           Succeeded(::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr)
        ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return done;
}

}  // namespace tamrix
