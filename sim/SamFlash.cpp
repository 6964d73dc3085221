#include "sim/SamFlash.h"

#include "common/Format.h"

namespace tamrix {

CSimSamFlash::CSimSamFlash()
    : program_(kProgramSize, kErased), eeprom_(kEepromSize, kErased), fuses_(kFuseBytes, kErased) {}

uint8_t* CSimSamFlash::Slot(uint32_t address) {
    if (address < kProgramSize)
        return &program_[address];
    if (address >= kEepromBase && address < kEepromBase + kEepromSize) {
        return &eeprom_[address - kEepromBase];
    }
    if (address >= kFuseBase && address < kFuseBase + kFuseBytes)
        return &fuses_[address - kFuseBase];
    return nullptr;
}

uint8_t CSimSamFlash::Byte(uint32_t address) const {
    if (address < kProgramSize)
        return program_[address];
    if (address >= kEepromBase && address < kEepromBase + kEepromSize) {
        return eeprom_[address - kEepromBase];
    }
    if (address >= kFuseBase && address < kFuseBase + kFuseBytes)
        return fuses_[address - kFuseBase];
    return kErased;
}

bool CSimSamFlash::SetByte(uint32_t address, uint8_t value) {
    uint8_t* slot = Slot(address);
    if (!slot)
        return false;
    *slot = value;
    return true;
}

bool CSimSamFlash::LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error) {
    for (const auto& [address, byte] : image) {
        if (!SetByte(address, byte)) {
            if (error)
                *error = Format("HEX address 0x%X is outside the simulated memory", address);
            return false;
        }
    }
    return true;
}

std::map<uint32_t, uint8_t> CSimSamFlash::HexImage() const {
    std::map<uint32_t, uint8_t> image;
    auto add = [&image](uint32_t base, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != kErased)
                image[base + static_cast<uint32_t>(i)] = bytes[i];
        }
    };
    add(0, program_);
    add(kEepromBase, eeprom_);
    add(kFuseBase, fuses_);
    return image;
}

}  // namespace tamrix
