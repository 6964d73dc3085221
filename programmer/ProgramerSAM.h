#pragma once
// CProgramerSAM: the programmer of the Samsung S3F8 resident bootloader (device identifier
// 0x0001). It holds the 644-row byte image (see image/MemorySAM.h), fills it from Intel HEX text
// and writes it row by row, each row acknowledged, then sends the finish byte. The bootloader
// can also report the product code and versions; it cannot read its flash back.

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "programmer/Programmer.h"

namespace tamrix {

struct HexRecord;

// Version request of the SAM bootloader (its reply has kRequestReplyBytes).
inline constexpr uint8_t kSamReadVersion = 0x10;

class CProgramerSAM : public CProgramer {
  public:
    explicit CProgramerSAM(CCommChannel* channel, CClock& clock = CSystemClock::Instance(),
                           CReportWindow* window = nullptr);

    // Creates the 644 rows; `family` is stored in every row.
    void BuildMemoryMap(int family) override;
    // Parses the Intel HEX file named by hexFilePath: 1 when every record was taken.
    // Parses Intel HEX text into the rows: 1 when every record was taken, 0 otherwise (rows
    // filled before the failing record keep their bytes).
    // Packs every row; a SAM target is not read. Always 1.
    [[nodiscard]] int ReadTargetData(int family) override;
    [[nodiscard]] int ReadTargetDataSmallRow() override;
    // Writes every non-empty row in table order, then the finish byte. `useChecksum` is ignored:
    // the SAM frames have no checksum.
    [[nodiscard]] bool ProgramFlash(int useChecksum) override;
    // Asks the bootloader for product code, application and boot version. versionFlag is left
    // as it is: the SAM reply has no such flag.
    [[nodiscard]] int ReadTargetVersion(VersionInfo& info, int& versionFlag) override;

    // Not supported by the SAM bootloader: no traffic, outputs untouched, fixed results.
    [[nodiscard]] int ReadVersionFromFlash(VersionInfo& info, int& versionFlag) override;
    [[nodiscard]] int GetImageProductCode() override;
    [[nodiscard]] int GetImageWord(int address) override;
    [[nodiscard]] int ReadVersionAddresses(int addresses[3]) override;
    [[nodiscard]] bool ReadFileInfo(const std::string& path, int productCodeAddress,
                                    uint16_t& productCode, int versionAddress, uint16_t& appVersion,
                                    int& versionFlag) override;
    [[nodiscard]] bool ReadFileInfoFromBuffer(const char* text, int length, int productCodeAddress,
                                              uint16_t& productCode, int versionAddress,
                                              uint16_t& appVersion, int& versionFlag) override;

    // Table index of the row that takes a byte at `address` (the first row in table order that
    // accepts it), or -1 when no row does.
    static int RowIndexFor(int64_t address);

  private:
    [[nodiscard]] bool LoadDataRecord(const HexRecord& record, uint32_t extended) override;
    // Places one data byte: true when stored, false when out of range (the notice has been sent).
    [[nodiscard]] bool StoreByte(int64_t address, const char* digits);
    void PackAllRows();
};

}  // namespace tamrix
