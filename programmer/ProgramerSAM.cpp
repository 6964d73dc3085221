#include "programmer/ProgramerSAM.h"

#include <memory>

#include "common/Format.h"
#include "image/IntelHex.h"
#include "image/MemorySAM.h"

namespace tamrix {

namespace {

// The target has four fuse bytes, 0x20000-0x20003, all in fuse row 0. The other fuse rows start
// one address apart and would take 0x20004/5/6 into their last slot, but a fuse frame carries no
// address: such a row would overwrite the four fuse bytes with FF FF FF and the stray byte. So
// those addresses are outside the image like any other, and a file that has data there is
// refused before anything is written.
constexpr int64_t kSamFuseEnd = kSamFuseBase + kSamFuseBytes;

// Version text in thousandths, one decimal. The quotient is deliberately single precision:
// 1050 shows as "1.0" (a double quotient would round to "1.1"), and the texts must not change.
std::string VersionText(uint16_t thousandths) {
    const float value = static_cast<float>(thousandths) / 1000.0f;
    return Format("%0.1f", static_cast<double>(value));
}

}  // namespace

CProgramerSAM::CProgramerSAM(CCommChannel* commChannel, CClock& clockRef,
                             CReportWindow* reportWindow)
    : CProgramer(commChannel, clockRef, kSamRowCount, reportWindow) {}

void CProgramerSAM::BuildMemoryMap(int familyCode) {
    const Family family = FamilyOf(familyCode);
    for (int n = 0; n < kSamProgramRows; ++n) {
        rows[static_cast<size_t>(n)] =
            std::make_unique<CMemorySAM>(clock, family, RowKind::Program, n, n * kSamRowBytes);
    }
    for (int n = 0; n < kSamEepromRows; ++n) {
        rows[static_cast<size_t>(kSamFirstEepromRow + n)] = std::make_unique<CMemorySAM>(
            clock, family, RowKind::Eeprom, n, kSamEepromBase + n * kSamRowBytes);
    }
    for (int n = 0; n < kSamFuseRows; ++n) {
        rows[static_cast<size_t>(kSamFirstFuseRow + n)] =
            std::make_unique<CMemorySAM>(clock, family, RowKind::Config, n, kSamFuseBase + n);
    }
}

int CProgramerSAM::RowIndexFor(int64_t address) {
    // Program and EEPROM rows tile their ranges, so the row follows from the address.
    if (address < 0)
        return -1;
    if (address < kSamProgramRows * kSamRowBytes)
        return static_cast<int>(address / kSamRowBytes);
    if (address >= kSamEepromBase && address < kSamEepromBase + kSamEepromRows * kSamRowBytes) {
        return kSamFirstEepromRow + static_cast<int>((address - kSamEepromBase) / kSamRowBytes);
    }
    if (address >= kSamFuseBase && address < kSamFuseEnd)
        return kSamFirstFuseRow;
    return -1;
}

bool CProgramerSAM::StoreByte(int64_t address, const char* digits) {
    const int index = RowIndexFor(address);
    CMemory* row = index >= 0 ? rows[static_cast<size_t>(index)].get() : nullptr;
    // A row that was never built cannot take anything: the byte is refused like one outside the
    // image rather than dereferencing an empty table entry.
    if (row == nullptr || row->SetWord(static_cast<int>(address), digits) != 1) {
        ReportStatus(Format("[Notice] : Hex file 0x%llxAddress out of range\r\n",
                            static_cast<unsigned long long>(address)));
        return false;
    }
    if (row->Kind() == RowKind::Program && maxAddress < address)
        maxAddress = static_cast<int>(address);
    return true;
}

bool CProgramerSAM::LoadDataRecord(const HexRecord& record, uint32_t extended) {
    // Addresses are kept wide so that data near the top of a 4 GiB extended address can never
    // wrap round into program memory.
    bool result = true;
    const int64_t first = int64_t{extended} + record.address;
    for (int k = 0; k < record.byteCount; ++k) {
        if (!StoreByte(first + k, record.dataText + 2 * k))
            result = false;
    }
    return result;
}

void CProgramerSAM::PackAllRows() {
    for (auto& row : rows) {
        if (row)
            row->PackRow();
    }
}

int CProgramerSAM::ReadTargetData(int) {
    ReportStatus("[Message] : Reading Target Data..\r\n");
    PackAllRows();
    return 1;
}

int CProgramerSAM::ReadTargetDataSmallRow() {
    ReportStatus("[Message] : Reading Target Data..\r\n");
    PackAllRows();
    return 1;
}

bool CProgramerSAM::ProgramFlash(int) {
    // Every row is acknowledged (the frames have no checksum to choose), every program row
    // reports progress, and a missing channel shows in the rows' and the finish byte's failures.
    RowLoopRules rules;
    rules.checkedFrames = true;
    rules.progressOnEvenRows = false;
    rules.channelRequired = false;
    return ProgramRows(rules);
}

int CProgramerSAM::ReadTargetVersion(VersionInfo& info, int&) {
    uint8_t reply[kRequestReplyBytes] = {};
    if (!RequestTwelveBytes(kSamReadVersion, reply))
        return 0;

    // Three 4-byte fields, each number high byte first in the field's first two bytes.
    info.productCode = static_cast<uint16_t>(reply[0] * 256 + reply[1]);
    info.appVersion = static_cast<uint16_t>(reply[4] * 256 + reply[5]);
    info.bootVersion = static_cast<uint16_t>(reply[8] * 256 + reply[9]);
    info.productCodeText = Format("%d", info.productCode);
    info.appVersionText = VersionText(info.appVersion);
    info.bootVersionText = VersionText(info.bootVersion);
    ReportStatus(
        Format("[Message] : Targt Version Info (P Code:0x%x, App Ver:0x%x, Boot Ver:0x%x)\r\n",
               info.productCode, info.appVersion, info.bootVersion));
    return 1;
}

int CProgramerSAM::ReadVersionFromFlash(VersionInfo&, int&) {
    return 0;
}

int CProgramerSAM::GetImageProductCode() {
    // The SAM image carries no product code at a fixed place; nothing asks for it.
    return 0;
}

int CProgramerSAM::GetImageWord(int) {
    return 0;
}

int CProgramerSAM::ReadVersionAddresses(int[3]) {
    return 0;
}

bool CProgramerSAM::ReadFileInfo(const std::string&, int, uint16_t&, int, uint16_t&, int&) {
    return false;
}

bool CProgramerSAM::ReadFileInfoFromBuffer(const char*, int, int, uint16_t&, int, uint16_t&, int&) {
    return false;
}

}  // namespace tamrix
