#pragma once
// SHA-256 of a byte string, as 64 lower-case hex digits: how a run report names the very file that
// was programmed. The platform's own well-kept implementation does the work (Nettle, or Windows'
// CNG); "" when it failed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamrix {

using Sha256Bytes = std::array<uint8_t, 32>;

// The digest itself, from the platform's implementation (one source per platform): false when it
// failed.
bool Sha256Digest(const uint8_t* data, size_t size, Sha256Bytes& digest);

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace tamrix
