#pragma once
// Builds firmware images for tests: PIC instructions / EEPROM / configuration words or SAM bytes,
// turned into Intel HEX text (as a compiler would write it) and into scrambled firmware files.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tamrix::test {

class FirmwareBuilder {
  public:
    // PIC: a 24-bit instruction at an even device address (four HEX bytes at 2 x address).
    FirmwareBuilder& Instruction(uint32_t deviceAddress, uint32_t value);
    // PIC: an EEPROM word (device 0x7FF000..) or a configuration word (0xF80000..).
    FirmwareBuilder& Word(uint32_t deviceAddress, uint16_t value);
    // PIC: product code and application version as the firmware carries them (upper byte of the
    // version instruction: 0 = version flag 1).
    FirmwareBuilder& Identity(uint16_t productCode, uint16_t appVersion, uint8_t versionUpper = 0,
                              uint32_t productCodeAddress = 0x0C00,
                              uint32_t versionAddress = 0x0C02);
    // SAM: one byte at its HEX address (program 0.., EEPROM 0x10000.., fuses 0x20000..).
    FirmwareBuilder& Byte(uint32_t address, uint8_t value);

    const std::map<uint32_t, uint8_t>& Image() const { return image_; }
    // Intel HEX text with CR LF line ends, `recordSize` data bytes per record.
    std::string HexText(int recordSize = 16) const;
    // Writes the HEX text, or the scrambled firmware file, to `path`. False when it cannot.
    bool WriteHex(const std::string& path) const;
    bool WriteBin(const std::string& path, uint32_t seed) const;

  private:
    std::map<uint32_t, uint8_t> image_;
};

// A fresh empty folder below /tmp, removed with everything in it at destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
// Writes `bytes` as the whole content of a file (created or truncated): false when it cannot.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace tamrix::test
