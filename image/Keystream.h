#pragma once
// The keystream that scrambles firmware files: the linear congruential generator of the Microsoft
// C runtime's srand/rand, reproduced bit for bit so that files scrambled by the product's own tools
// read back correctly, reduced to one key byte per draw.

#include <cstdint>

namespace tamrix {

class CKeystream {
  public:
    // Seeding is what srand(seed) does: the state becomes the seed.
    explicit CKeystream(uint32_t seed) : state_(seed) {}

    // One draw, what rand() returns: 0..32767.
    int NextValue() {
        state_ = state_ * 214013u + 2531011u;  // wraps modulo 2^32
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    // One draw reduced to a key byte, 0..254. The modulus is 255, not 256, so a key byte is never
    // 255; producers of firmware files use the same reduction.
    uint8_t NextKey() { return static_cast<uint8_t>(NextValue() % 255); }

  private:
    uint32_t state_;
};

}  // namespace tamrix
