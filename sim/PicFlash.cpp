#include "sim/PicFlash.h"

#include "common/Format.h"

namespace tamrix {

namespace {

void PutWord(std::map<uint32_t, uint8_t>& image, uint32_t deviceAddress, uint32_t value) {
    const uint32_t at = 2 * deviceAddress;
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
    image[at + 2] = static_cast<uint8_t>(value >> 16);
    image[at + 3] = 0;  // phantom byte
}

uint32_t WithByte(uint32_t value, int index, uint8_t byte) {
    const int shift = 8 * index;
    return (value & ~(0xFFu << shift)) | (static_cast<uint32_t>(byte) << shift);
}

}  // namespace

CSimPicFlash::CSimPicFlash(int family)
    : programEnd_(family == 1 ? 0x18000 : 0x180000),
      rowInstructions_(family == 1 ? 32 : 512),
      program_(programEnd_ / 2, kErasedInstruction),
      eeprom_((kEepromEnd - kEepromStart) / 2, kErasedWord),
      config_(kConfigWords, kErasedWord) {}

uint32_t CSimPicFlash::Instruction(uint32_t address) const {
    if (address >= programEnd_)
        return 0;
    return program_[address / 2];
}

bool CSimPicFlash::SetInstruction(uint32_t address, uint32_t value) {
    if (address >= programEnd_)
        return false;
    program_[address / 2] = value & 0xFFFFFF;
    return true;
}

uint16_t CSimPicFlash::EepromWord(uint32_t address) const {
    if (address < kEepromStart || address >= kEepromEnd)
        return kErasedWord;
    return eeprom_[(address - kEepromStart) / 2];
}

bool CSimPicFlash::SetEepromWord(uint32_t address, uint16_t value) {
    if (address < kEepromStart || address >= kEepromEnd)
        return false;
    eeprom_[(address - kEepromStart) / 2] = value;
    return true;
}

uint16_t CSimPicFlash::ConfigWord(int index) const {
    if (index < 0 || index >= kConfigWords)
        return kErasedWord;
    return config_[static_cast<size_t>(index)];
}

bool CSimPicFlash::SetConfigWord(int index, uint16_t value) {
    if (index < 0 || index >= kConfigWords)
        return false;
    config_[static_cast<size_t>(index)] = value;
    return true;
}

bool CSimPicFlash::LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error) {
    for (const auto& [hexAddress, byte] : image) {
        const uint32_t device = (hexAddress / 4) * 2;
        const int index = static_cast<int>(hexAddress % 4);
        if (device < programEnd_) {
            if (index < 3) {
                uint32_t& slot = program_[device / 2];
                slot = WithByte(slot, index, byte);
            }
        } else if (device >= kEepromStart && device < kEepromEnd) {
            if (index < 2) {
                uint16_t& slot = eeprom_[(device - kEepromStart) / 2];
                slot = static_cast<uint16_t>(WithByte(slot, index, byte));
            }
        } else if (device >= kConfigStart && device < kConfigStart + 2 * kConfigWords) {
            if (index < 2) {
                uint16_t& slot = config_[(device - kConfigStart) / 2];
                slot = static_cast<uint16_t>(WithByte(slot, index, byte));
            }
        } else {
            if (error) {
                *error = Format(
                    "HEX byte address 0x%X (device address 0x%X) is outside the "
                    "simulated memory",
                    hexAddress, device);
            }
            return false;
        }
    }
    return true;
}

std::map<uint32_t, uint8_t> CSimPicFlash::HexImage() const {
    std::map<uint32_t, uint8_t> image;
    for (size_t i = 0; i < program_.size(); ++i) {
        if (program_[i] != kErasedInstruction) {
            PutWord(image, static_cast<uint32_t>(2 * i), program_[i]);
        }
    }
    for (size_t i = 0; i < eeprom_.size(); ++i) {
        if (eeprom_[i] != kErasedWord) {
            PutWord(image, kEepromStart + static_cast<uint32_t>(2 * i), eeprom_[i]);
        }
    }
    for (size_t i = 0; i < config_.size(); ++i) {
        if (config_[i] != kErasedWord) {
            PutWord(image, kConfigStart + static_cast<uint32_t>(2 * i), config_[i]);
        }
    }
    return image;
}

}  // namespace tamrix
