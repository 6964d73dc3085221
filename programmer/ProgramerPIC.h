#pragma once
// CProgramerPIC: the programmer of the resident bootloader of the Microchip 16-bit targets
// (dsPIC30F, dsPIC33F, PIC24H, PIC24F). It holds the 1672-row image (program memory, EEPROM,
// configuration), fills it from Intel HEX text, reads the target's reset vector and version
// information, and writes the image row by row.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/MemoryPIC.h"
#include "platform/Clock.h"
#include "programmer/PicVersion.h"
#include "programmer/Programmer.h"

namespace tamrix {

// Bootloader commands besides the row writes.
inline constexpr uint8_t kPicReadFlash = 0x02;
inline constexpr uint8_t kPicReadVersion = 0x10;
inline constexpr uint8_t kPicReadVersionAddresses = 0x11;

// Flash read blocks, in bytes: 32 or 512 instructions of 3 bytes.
inline constexpr int kPicSmallReadBlock = 96;
inline constexpr int kPicLargeReadBlock = 1536;

class CProgramerPIC : public CProgramer {
  public:
    explicit CProgramerPIC(CCommChannel* channel, CClock& clock = CSystemClock::Instance(),
                           CReportWindow* window = nullptr);

    void BuildMemoryMap(int family) override;
    [[nodiscard]] int ReadTargetData(int family) override;
    [[nodiscard]] int ReadTargetDataSmallRow() override;
    [[nodiscard]] int ReadVersionFromFlash(VersionInfo& info, int& versionFlag) override;
    [[nodiscard]] bool ProgramFlash(int useChecksum) override;
    [[nodiscard]] int GetImageProductCode() override;
    [[nodiscard]] int GetImageWord(int address) override;
    [[nodiscard]] int ReadTargetVersion(VersionInfo& info, int& versionFlag) override;
    [[nodiscard]] int ReadVersionAddresses(int addresses[3]) override;
    bool CanReadBack() const override { return true; }
    [[nodiscard]] bool ReadFileInfo(const std::string& path, int productCodeAddress,
                                    uint16_t& productCode, int versionAddress, uint16_t& appVersion,
                                    int& versionFlag) override;
    [[nodiscard]] bool ReadFileInfoFromBuffer(const char* text, int length, int productCodeAddress,
                                              uint16_t& productCode, int versionAddress,
                                              uint16_t& appVersion, int& versionFlag) override;

    // The family of the identified chip, for the operations that run before BuildMemoryMap: a
    // dsPIC30F answers a flash read with 32 instructions, the others with 512. Unknown (None)
    // reads as the larger families do.
    void SetTargetFamily(Family family) { targetFamily_ = family; }

    // The row that holds a device address, or null when none does (or the map is not built).
    // Rows never overlap, so the row is computed from the address rather than searched for.
    CMemory* FindRow(uint32_t address) const;

  protected:
    [[nodiscard]] bool VerifyRow(const CMemory& row) override;
    [[nodiscard]] bool ResolveUncertainRows(const std::vector<RowTag>& uncertain) override;

  private:
    [[nodiscard]] bool LoadDataRecord(const HexRecord& record, uint32_t extended) override;
    // The product code and version a firmware text carries.
    struct FileInfo {
        uint16_t productCode = 0;
        uint16_t appVersion = 0;
        int versionFlag = 0;
    };
    // The file-information reader on a HEX text: nothing when the text does not hold both words.
    // `hundredthsFor0x61` selects the version text of the buffer reader (hundredths for product
    // codes 0x61xx); the file reader always uses thousandths.
    [[nodiscard]] std::optional<FileInfo> ReadFileInfoText(const char* text, int length,
                                                           int productCodeAddress,
                                                           int versionAddress,
                                                           bool hundredthsFor0x61);
    // Hands a file's information out as the file-information readers do: true with the three
    // values set, or false with them untouched.
    static bool TakeFileInfo(const std::optional<FileInfo>& info, uint16_t& productCode,
                             uint16_t& appVersion, int& versionFlag);
    // Reads `length` bytes of flash from a device address into `reply`: true on success. The read
    // opens with the settling flush pair, except where the line is known to be quiet (`settle`
    // false: only the receive queue is emptied).
    [[nodiscard]] bool ReadFlash(int address, int length, std::vector<uint8_t>& reply,
                                 bool settle = true);
    // Copies the target's reset vector (the first two instructions of a read block) into
    // program row 0 and packs every row: true when it was read.
    [[nodiscard]] bool ReadResetVector(int blockLength);
    // The flash read block of a family: 96 bytes for the dsPIC30F, else 1536.
    static int ReadBlockFor(Family family);

    // A program row read back from the target and compared with what was sent. A difference is
    // read again once the line has been quiet (a stray byte before the reply shifts it): only a
    // difference the second read shows too is one, and the figures are the second read's.
    struct RowReadBack {
        enum class Result { Equal, Differs, Unreadable } result = Result::Unreadable;
        int address = 0;  // the first instruction that differs
        uint32_t written = 0;
        uint32_t read = 0;
    };
    [[nodiscard]] RowReadBack ReadRowBack(const CMemory& row);
    [[nodiscard]] RowReadBack CompareOnce(const CMemory& row);
    // Shows an uncertain row to hold what was sent: a program row by reading it back (written
    // again where it differs, then read again), an EEPROM row, which the read command cannot
    // reach, by writing it again with every answer in step. False after an error line.
    [[nodiscard]] bool MakeRowCertain(CMemory& row);

    Family targetFamily_ = Family::None;
};

}  // namespace tamrix
