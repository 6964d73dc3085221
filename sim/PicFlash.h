#pragma once
// The flash of a simulated 16-bit PIC: program memory of 24-bit instructions at even device
// addresses, data EEPROM of 16-bit words, and eight configuration words. Erased program memory
// reads 0xFFFFFF, erased EEPROM and configuration words 0xFFFF.
//
// In Intel HEX form (load and dump) every instruction or word takes four bytes at byte address
// 2 x device address: low, middle, upper, and a phantom byte that is always 0. EEPROM and
// configuration words have upper byte 0 there.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tamrix {

class CSimPicFlash {
  public:
    static constexpr uint32_t kEepromStart = 0x7FF000;
    static constexpr uint32_t kEepromEnd = 0x800000;
    static constexpr uint32_t kConfigStart = 0xF80000;
    static constexpr int kConfigWords = 8;
    static constexpr uint32_t kErasedInstruction = 0xFFFFFF;
    static constexpr uint16_t kErasedWord = 0xFFFF;

    // family 1 (dsPIC30F): program memory 0..0x17FFF and 32-instruction rows; any other family:
    // 0..0x17FFFF and 512-instruction rows.
    explicit CSimPicFlash(int family);

    uint32_t ProgramEnd() const { return programEnd_; }  // first address past program memory
    int RowInstructions() const { return rowInstructions_; }

    // The instruction at a device address (an odd address names the instruction it belongs to).
    // Addresses past program memory read 0, as unimplemented memory does.
    uint32_t Instruction(uint32_t address) const;
    // False when the address is outside program memory.
    bool SetInstruction(uint32_t address, uint32_t value);

    uint16_t EepromWord(uint32_t address) const;  // kErasedWord outside the EEPROM
    bool SetEepromWord(uint32_t address, uint16_t value);

    uint16_t ConfigWord(int index) const;  // 0..7: device address 0xF80000 + 2 x index
    bool SetConfigWord(int index, uint16_t value);

    // Lays a HEX byte image over the flash. False (and nothing after the offending byte taken)
    // when a byte lies outside every memory.
    bool LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error);
    // Everything that is not erased, in HEX byte addressing.
    std::map<uint32_t, uint8_t> HexImage() const;

  private:
    uint32_t programEnd_;
    int rowInstructions_;
    std::vector<uint32_t> program_;  // one entry per instruction (device address / 2)
    std::vector<uint16_t> eeprom_;   // one entry per word
    std::vector<uint16_t> config_;
};

}  // namespace tamrix
