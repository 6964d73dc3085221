#pragma once
// SHA-256 of a byte string, as 64 lower-case hex digits: how a run report names the very file that
// was programmed. The platform's own well-kept implementation does the work (Nettle, or Windows'
// CNG); "" when it failed.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamrix {

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace tamrix
