#pragma once
// The bootloader of a simulated 16-bit PIC (dsPIC30F, dsPIC33F, PIC24H, PIC24F) with its flash.
//
// Commands (A0 A1 A2 = device address, low byte first):
//   0x02 A0 A1 A2             read: one block of instructions (32 on a dsPIC30F, else 512),
//                             3 bytes each, upper byte first
//   0x03 A0 A1 A2 data [S0 S1] write one program row (data low byte first per instruction;
//                             S0 S1 = sum of the frame's bytes when checksums are on)
//   0x05 A0 A1 A2 data        write 16 EEPROM words, low byte first
//   0x07 0xFF C0 C1           configuration word 0; each further 0xFF C0 C1 is the next word,
//                             until a byte other than 0xFF starts a command
//   0x08 finish, 0x09 identify, 0x10 version information, 0x11 version addresses
//
// A fresh product holds its own reset vector (GOTO 0x000C04, the bootloader's entry: the
// instructions 0x040C04, 0x000000 at addresses 0 and 2) and its firmware identity; everything
// else is erased.
//
// The boot version is a setting of the bootloader. When a session writes a bootloader image
// (one of the bootloader product codes at 0x0C00), the finish command installs it: the boot
// version becomes the word the written rows put at 0x0C02.

#include <optional>

#include "image/DeviceTable.h"
#include "sim/Bootloader.h"
#include "sim/PicFlash.h"

namespace tamrix {

inline constexpr uint32_t kSimResetVector0 = 0x040C04;  // GOTO 0x000C04 ...
inline constexpr uint32_t kSimResetVector1 = 0x000000;  // ... upper address bits 0
inline constexpr uint32_t kSimBootImageCodeAddress = 0x0C00;
inline constexpr uint32_t kSimBootImageVersionAddress = 0x0C02;

// Product codes of the bootloader images the program can install.
bool IsBootloaderProductCode(uint16_t productCode);

class CSimPicBootloader : public CSimBootloader {
  public:
    CSimPicBootloader(const DeviceTableEntry& device, const SimOptions& options);

    CSimPicFlash& Flash() { return flash_; }
    const CSimPicFlash& Flash() const { return flash_; }
    uint16_t BootVersion() const { return bootVersion_; }

    void Reset() override;
    // Product code and application version as they stand in the flash right now.
    SimVersions Versions() const override;
    std::map<uint32_t, uint8_t> HexImage() const override { return flash_.HexImage(); }
    bool LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error) override {
        return flash_.LoadHexImage(image, error);
    }

    // The 12-byte answers to 0x10 and 0x11.
    std::vector<uint8_t> VersionInformation() const;
    std::vector<uint8_t> VersionAddresses() const;

  protected:
    size_t FrameLength(uint8_t command) override;
    bool StartsRowFrame(uint8_t command) const override;
    void HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                     SimActions& out) override;

  private:
    void ReadBlock(uint32_t address, SimActions& out) const;
    void WriteProgramRow(const std::vector<uint8_t>& frame, SimFrameContext& context,
                         SimActions& out);
    void WriteEepromRow(const std::vector<uint8_t>& frame, SimFrameContext& context,
                        SimActions& out);
    void WriteConfigWord(uint8_t marker, uint8_t low, uint8_t high, SimFrameContext& context,
                         SimActions& out);
    void Finish();

    CSimPicFlash flash_;
    bool checksum_;
    uint16_t bootVersion_;
    uint32_t addresses_[3];
    int programRowsWritten_ = 0;  // for the corrupt-row fault; kept across sessions
    bool configMode_ = false;
    int configIndex_ = 0;
    // What this session's rows wrote at 0x0C00 and 0x0C02.
    std::optional<uint16_t> writtenCode_;
    std::optional<uint16_t> writtenVersion_;
};

}  // namespace tamrix
