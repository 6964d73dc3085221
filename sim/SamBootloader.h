#pragma once
// The bootloader of a simulated Samsung S3F8 with its flash.
//
// Commands (A0 A1 = 16-bit address, low byte first):
//   0x03 A0 A1 + 128 bytes   write a program row at A1:A0
//   0x05 A0 A1 + 128 bytes   write an EEPROM row (0x0000-0x3F80)
//   0x07 + 4 bytes           write the fuse bytes
//   0x08 finish, 0x09 identify, 0x10 version information (product code, application version,
//   boot version, each high byte first in bytes 0-1, 4-5, 8-9)
// Product code and versions are settings of the simulated product; writing rows does not change
// them.

#include "image/DeviceTable.h"
#include "sim/Bootloader.h"
#include "sim/SamFlash.h"

namespace tamrix {

class CSimSamBootloader : public CSimBootloader {
  public:
    static constexpr size_t kRowBytes = 128;

    CSimSamBootloader(const DeviceTableEntry& device, const SimOptions& options);

    CSimSamFlash& Flash() { return flash_; }
    const CSimSamFlash& Flash() const { return flash_; }

    SimVersions Versions() const override { return versions_; }
    std::map<uint32_t, uint8_t> HexImage() const override { return flash_.HexImage(); }
    bool LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error) override {
        return flash_.LoadHexImage(image, error);
    }

    std::vector<uint8_t> VersionInformation() const;

  protected:
    size_t FrameLength(uint8_t command) override;
    bool StartsRowFrame(uint8_t command) const override;
    void HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                     SimActions& out) override;

  private:
    // Writes frame bytes [first, first + count) to consecutive addresses from `base`.
    void WriteBytes(const std::vector<uint8_t>& frame, size_t first, size_t count, uint32_t base);

    CSimSamFlash flash_;
    SimVersions versions_;
};

}  // namespace tamrix
