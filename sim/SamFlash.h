#pragma once
// The flash of a simulated Samsung S3F8: 64 KiB of program memory, 16 KiB of EEPROM and four
// fuse bytes, all erased to 0xFF. One address space serves load, dump and inspection, the same
// a HEX file for these parts uses: program bytes at 0x0000-0xFFFF, EEPROM from 0x10000 on,
// fuses at 0x20000-0x20003.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tamrix {

class CSimSamFlash {
  public:
    static constexpr uint32_t kProgramSize = 0x10000;
    static constexpr uint32_t kEepromBase = 0x10000;
    static constexpr uint32_t kEepromSize = 0x4000;
    static constexpr uint32_t kFuseBase = 0x20000;
    static constexpr int kFuseBytes = 4;
    static constexpr uint8_t kErased = 0xFF;

    CSimSamFlash();

    // 0xFF for an address outside every memory.
    uint8_t Byte(uint32_t address) const;
    // False when the address is outside every memory.
    bool SetByte(uint32_t address, uint8_t value);

    bool LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error);
    std::map<uint32_t, uint8_t> HexImage() const;  // every byte that is not 0xFF

  private:
    uint8_t* Slot(uint32_t address);

    std::vector<uint8_t> program_;
    std::vector<uint8_t> eeprom_;
    std::vector<uint8_t> fuses_;
};

}  // namespace tamrix
