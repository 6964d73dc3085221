#pragma once
// CMemoryPIC: one row of the image of a Microchip 16-bit target (dsPIC30F, dsPIC33F, PIC24H,
// PIC24F). Device addresses count program-counter steps: an instruction takes two addresses, the
// even one for bits 0-15, the odd one for bits 16-23. A slot holds the four hex digits the HEX
// file carries for its address, first data byte high: L * 256 + M in the even slot, U * 256 + P
// (P the phantom byte) in the odd one.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/Memory.h"

namespace tamrix {

// Geometry of the PIC image: 1536 program rows, then 128 EEPROM rows, then 8 configuration rows.
inline constexpr int kPicProgramRows = 1536;
inline constexpr int kPicEepromRows = 128;
inline constexpr int kPicConfigRows = 8;
inline constexpr int kPicRowCount = kPicProgramRows + kPicEepromRows + kPicConfigRows;  // 1672
inline constexpr int kPicSmallRowWords = 32;  // dsPIC30F program rows, in instructions
inline constexpr int kPicLargeRowWords = 512;
inline constexpr int kPicEepromBase = 0x7FF000;
inline constexpr int kPicEepromRowSpan = 32;  // device addresses per EEPROM row
inline constexpr int kPicConfigBase = 0xF80000;
inline constexpr int kPicConfigRowSpan = 2;  // one configuration word per row
inline constexpr int kPicAuxRowWords = 16;   // wordCount of EEPROM and configuration rows

// Bootloader commands of the row writes.
inline constexpr uint8_t kPicWriteProgram = 0x03;
inline constexpr uint8_t kPicWriteEeprom = 0x05;
inline constexpr uint8_t kPicWriteConfig = 0x07;

// Program rows of this many instructions for a family.
int PicProgramRowWords(Family family);

class CMemoryPIC : public CMemory {
  public:
    CMemoryPIC(CClock& clock, Family family, RowKind kind, int rowIndex, int wordCount,
               int baseAddress);

    [[nodiscard]] int SetWord(int address, const char* hexText) override;
    void PackRow() override;
    [[nodiscard]] int WriteRowChecked(CCommChannel* channel) override;
    [[nodiscard]] int WriteRowLogged(CCommChannel* channel, FILE* logFile) override;
    [[nodiscard]] int GetWord(int address, int& value) override;
    [[nodiscard]] int Checksum(const uint8_t* bytes, int count) override;
    [[nodiscard]] int WriteRow(CCommChannel* channel) override;

    // Number of device addresses the row covers from baseAddress.
    int AddressSpan() const;
    bool Contains(int address) const {
        return address >= baseAddress && address - baseAddress < AddressSpan();
    }

  private:
    enum class WriteMode { Plain, Checked, Logged };

    // The common write procedure: flush, up to five attempts of frame + acknowledge wait. The
    // result is that of the row writes it serves: 0 acknowledged or nothing to send, 1 failed.
    [[nodiscard]] int WriteWithRetries(CCommChannel* channel, WriteMode mode, FILE* logFile);
    // Sends one attempt's frame (in Logged mode also its trace): how much of it left.
    FrameSend SendFrame(CCommChannel* channel, WriteMode mode, FILE* logFile);
    // The four command and address bytes that open a program or EEPROM frame.
    void AppendHeader(std::vector<uint8_t>& frame, uint8_t command) const;
};

}  // namespace tamrix
