#pragma once
// CMemorySAM: one row of a Samsung S3F8 firmware image. The unit is the byte: HEX addresses are
// used as they stand, one slot per byte address, and a row goes to the bootloader as a short
// header followed by its bytes, with no checksum.
//
// The image (built by CProgramerSAM::BuildMemoryMap) is 644 rows in this table order:
//   [0..511]   program memory, 128 bytes each, base n * 128            (0x00000-0x0FFFF)
//   [512..639] EEPROM, 128 bytes each, base 0x10000 + n * 128          (0x10000-0x13FFF)
//   [640..643] fuse bits, 4 bytes each, base 0x20000 + n (one apart!)
// The fuse rows overlap; the first row in table order that accepts an address takes it.

#include <cstdint>
#include <cstdio>

#include "image/Memory.h"

namespace tamrix {

inline constexpr int kSamRowBytes = 128;  // program and EEPROM rows
inline constexpr int kSamFuseBytes = 4;
inline constexpr int kSamProgramRows = 512;
inline constexpr int kSamEepromRows = 128;
inline constexpr int kSamFuseRows = 4;
inline constexpr int kSamRowCount = kSamProgramRows + kSamEepromRows + kSamFuseRows;  // 644
inline constexpr int kSamEepromBase = 0x10000;
inline constexpr int kSamFuseBase = 0x20000;

// Table index of the first row of each kind.
inline constexpr int kSamFirstEepromRow = kSamProgramRows;
inline constexpr int kSamFirstFuseRow = kSamProgramRows + kSamEepromRows;

// Row write commands of the SAM bootloader.
inline constexpr uint8_t kSamWriteProgramRow = 0x03;
inline constexpr uint8_t kSamWriteEepromRow = 0x05;
inline constexpr uint8_t kSamWriteFuseBits = 0x07;

class CMemorySAM : public CMemory {
  public:
    // A row of `kind` (RowKind::Config for the fuse bits); its byte count follows from the kind.
    CMemorySAM(CClock& clock, Family family, RowKind kind, int rowIndex, int baseAddress);

    // Bytes a row of `kind` holds: 128, or 4 for fuse rows.
    static int RowBytes(RowKind kind) {
        return kind == RowKind::Config ? kSamFuseBytes : kSamRowBytes;
    }

    // Stores the byte whose two hex digits start at hexText when baseAddress <= address <
    // baseAddress + wordCount: 1 stored, 0 not this row.
    [[nodiscard]] int SetWord(int address, const char* hexText) override;
    // packed[i] = low byte of slot i; untouched slots of a filled row go out as 0xFF.
    void PackRow() override;
    // Header write, data write, acknowledge; up to five attempts. 0 acknowledged or empty row,
    // 1 failed.
    [[nodiscard]] int WriteRowChecked(CCommChannel* channel) override;
    // As WriteRowChecked, with a trace of every attempt in logFile (nothing when it is null).
    [[nodiscard]] int WriteRowLogged(CCommChannel* channel, FILE* logFile) override;

    // The SAM bootloader has no read-back, no checksum and no single-write frame: fixed results.
    [[nodiscard]] int GetWord(int address, int& value) override;
    [[nodiscard]] int Checksum(const uint8_t* bytes, int count) override;
    [[nodiscard]] int WriteRow(CCommChannel* channel) override;

  private:
    // The result of the row writes: 0 acknowledged or empty row, 1 failed.
    [[nodiscard]] int WriteWithRetries(CCommChannel* channel, FILE* logFile);
};

}  // namespace tamrix
