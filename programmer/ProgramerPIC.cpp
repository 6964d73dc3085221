// CProgramerPIC: the row map and the conversation with the PIC bootloader. The HEX loading and
// the file-information readers are in ProgramerPICHex.cpp.

#include "programmer/ProgramerPIC.h"

#include <algorithm>
#include <memory>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "image/RowAnswers.h"

namespace tamrix {

namespace {

constexpr int kReadReplyWaitMs = 1000;  // a flash read reply later than this is a time-out...
// ... unless the reply needs longer than that on the wire (1536 bytes take 1.6 s at 9600 baud):
// then the limit is its wire time and this much more.
constexpr int kReadReplyMarginMs = 500;
// Before a flash read is asked for again, what is left of a late reply must be gone: the line has
// to stay quiet this long (at most kReadReplyWaitMs in all), then the queue is flushed.
constexpr int kReadQuietMs = 50;
constexpr int kReadAttempts = 5;
constexpr int kRetryPauseMs = 5;
constexpr int kResetVectorSlots = 4;  // two instructions, two device addresses each

}  // namespace

CProgramerPIC::CProgramerPIC(CCommChannel* commChannel, CClock& clockRef,
                             CReportWindow* reportWindow)
    : CProgramer(commChannel, clockRef, kPicRowCount, reportWindow) {}

// ---- image -------------------------------------------------------------------------------------

int CProgramerPIC::ReadBlockFor(Family family) {
    return family == Family::DsPic30F ? kPicSmallReadBlock : kPicLargeReadBlock;
}

void CProgramerPIC::BuildMemoryMap(int familyCode) {
    const Family family = FamilyOf(familyCode);
    targetFamily_ = family;
    const int programWords = PicProgramRowWords(family);
    size_t entry = 0;
    for (int n = 0; n < kPicProgramRows; ++n) {
        rows[entry++] = std::make_unique<CMemoryPIC>(clock, family, RowKind::Program, n,
                                                     programWords, n * programWords * 2);
    }
    for (int n = 0; n < kPicEepromRows; ++n) {
        rows[entry++] =
            std::make_unique<CMemoryPIC>(clock, family, RowKind::Eeprom, n, kPicAuxRowWords,
                                         kPicEepromBase + n * kPicEepromRowSpan);
    }
    for (int n = 0; n < kPicConfigRows; ++n) {
        rows[entry++] =
            std::make_unique<CMemoryPIC>(clock, family, RowKind::Config, n, kPicAuxRowWords,
                                         kPicConfigBase + n * kPicConfigRowSpan);
    }
}

CMemory* CProgramerPIC::FindRow(uint32_t address) const {
    if (rows.size() != static_cast<size_t>(kPicRowCount) || rows[0] == nullptr)
        return nullptr;
    const uint32_t programSpan = 2u * static_cast<uint32_t>(rows[0]->wordCount);
    const uint32_t eepromEnd = kPicEepromBase + kPicEepromRows * kPicEepromRowSpan;
    const uint32_t configEnd = kPicConfigBase + kPicConfigRows * kPicConfigRowSpan;

    size_t index = 0;
    if (address < programSpan * kPicProgramRows) {
        index = address / programSpan;
    } else if (address >= kPicEepromBase && address < eepromEnd) {
        index = kPicProgramRows + (address - kPicEepromBase) / kPicEepromRowSpan;
    } else if (address >= kPicConfigBase && address < configEnd) {
        index = kPicProgramRows + kPicEepromRows + (address - kPicConfigBase) / kPicConfigRowSpan;
    } else {
        return nullptr;
    }
    return rows[index].get();
}

int CProgramerPIC::GetImageWord(int address) {
    CMemory* row = FindRow(static_cast<uint32_t>(address));
    int value = 0;
    if (row == nullptr || row->GetWord(address, value) != 1)
        return 0;
    return value;
}

int CProgramerPIC::GetImageProductCode() {
    return GetImageWord(kPicProductCodeAddress);
}

// ---- flash reads -------------------------------------------------------------------------------

bool CProgramerPIC::ReadFlash(int address, int length, std::vector<uint8_t>& reply, bool settle) {
    if (channel == nullptr)
        return false;
    if (settle)
        FlushAndSettle(FlushOrder::ReceiveFirst);
    else if (!channel->FlushRx())
        return false;

    const uint8_t command[4] = {kPicReadFlash, static_cast<uint8_t>(address & 0xFF),
                                static_cast<uint8_t>((address >> 8) & 0xFF),
                                static_cast<uint8_t>((address >> 16) & 0xFF)};
    reply.assign(static_cast<size_t>(length), 0);
    const int limitMs =
        std::max(kReadReplyWaitMs, channel->WireTimeMs(length) + kReadReplyMarginMs);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        // A command whose one-wire echo came back late or changed may still have reached the
        // bootloader: whether the reply comes decides. Write returns once the command is on the
        // other side: the reply can only start now.
        static_cast<void>(channel->Write(command, sizeof command));
        if (WaitForBytes(length, clock.NowMs(), limitMs) &&
            channel->Read(reply.data(), length) == length) {
            return true;
        }
        // The rest of a late reply must not become the start of the next attempt's reply: that
        // would put wrong bytes into the reset vector.
        DiscardUntilQuiet(kReadQuietMs, kReadReplyWaitMs);
        clock.SleepMs(kRetryPauseMs);
        if (!channel->FlushRx())
            return false;
    }
    ReportStatus("[Error] : Flash Reading TimeOut!!\r\n");
    return false;
}

bool CProgramerPIC::ReadResetVector(int blockLength) {
    ReportStatus("[Message] : Reading Target Data..\r\n");
    CMemory* row0 = FindRow(0);
    if (row0 == nullptr)
        return false;  // no image to copy into: BuildMemoryMap was not called
    std::vector<uint8_t> r;
    if (!ReadFlash(0, blockLength, r))
        return false;

    // The reply gives each instruction upper byte first (U, M, L); the slots take L M U 00, so the
    // image starts with exactly the target's own reset vector, whatever the file had there.
    const std::string text =
        Format("%02x%02x%02x00%02x%02x%02x00", r[2], r[1], r[0], r[5], r[4], r[3]);
    // Row 0 holds these addresses of every family: each one is stored.
    for (int address = 0; address < kResetVectorSlots; ++address)
        static_cast<void>(row0->SetWord(address, text.c_str() + 4 * address));
    for (auto& row : rows) {
        if (row != nullptr)
            row->PackRow();
    }
    return true;
}

int CProgramerPIC::ReadTargetData(int family) {
    return ReadResetVector(ReadBlockFor(FamilyOf(family))) ? 1 : 0;
}

int CProgramerPIC::ReadTargetDataSmallRow() {
    return ReadResetVector(kPicSmallReadBlock) ? 1 : 0;
}

int CProgramerPIC::ReadVersionFromFlash(VersionInfo& info, int& versionFlag) {
    ReportStatus("[Message] : Reading Flash Data..\r\n");
    std::vector<uint8_t> r;
    // A dsPIC30F sends 32 instructions to a read; waiting for 512 would time out every time.
    if (!ReadFlash(kPicProductCodeAddress, ReadBlockFor(targetFamily_), r))
        return 0;

    // Instructions at 0x0C00 (product code) and 0x0C02 (application version), U M L each.
    info.productCode = static_cast<uint16_t>(r[1] * 256 + r[2]);
    info.appVersion = static_cast<uint16_t>(r[4] * 256 + r[5]);
    info.bootVersion = 0;
    versionFlag = PicVersionFlag(r[3]);
    info.productCodeText = Format("%d", info.productCode);
    info.appVersionText = Format("%0.2f", info.appVersion / 1000.0);
    info.bootVersionText = Format("%0.2f", 0.0);
    ReportStatus(Format(
        "[Message] : Target Version Read From Flash (P Code:%s, App Ver:%s, Boot Ver:%s)\r\n",
        info.productCodeText.c_str(), info.appVersionText.c_str(), info.bootVersionText.c_str()));
    return 1;
}

CProgramerPIC::RowReadBack CProgramerPIC::CompareOnce(const CMemory& row) {
    const size_t rowBytes = row.packed.size();
    const int block = ReadBlockFor(targetFamily_);
    std::vector<uint8_t> back;
    std::vector<uint8_t> reply;
    RowReadBack result;
    for (size_t offset = 0; offset < rowBytes; offset += static_cast<size_t>(block)) {
        const int address = row.baseAddress + static_cast<int>(offset / 3) * 2;
        if (!ReadFlash(address, block, reply, false))
            return result;
        back.insert(back.end(), reply.begin(), reply.end());
    }
    // Sent L M U per instruction, read back U M L.
    for (size_t i = 0; i + 2 < rowBytes; i += 3) {
        const uint32_t written = row.packed[i] | (row.packed[i + 1] << 8) |
                                 (static_cast<uint32_t>(row.packed[i + 2]) << 16);
        const uint32_t read =
            back[i + 2] | (back[i + 1] << 8) | (static_cast<uint32_t>(back[i]) << 16);
        if (written != read) {
            result.result = RowReadBack::Result::Differs;
            result.address = row.baseAddress + static_cast<int>(i / 3) * 2;
            result.written = written;
            result.read = read;
            return result;
        }
    }
    result.result = RowReadBack::Result::Equal;
    return result;
}

CProgramerPIC::RowReadBack CProgramerPIC::ReadRowBack(const CMemory& row) {
    // The row's answers have all been taken: the line is quiet, and a settling pause per row
    // would cost more than the read itself.
    const RowReadBack first = CompareOnce(row);
    if (first.result != RowReadBack::Result::Differs)
        return first;
    DiscardUntilQuiet(kReadQuietMs, kReadReplyWaitMs);
    return CompareOnce(row);
}

bool CProgramerPIC::VerifyRow(const CMemory& row) {
    const RowReadBack back = ReadRowBack(row);
    if (back.result == RowReadBack::Result::Unreadable) {
        ReportStatus(
            Format("[Error] : Address 0x%x Verify Fail!! The row could not be read "
                   "back.\r\n",
                   row.baseAddress));
        return false;
    }
    if (back.result == RowReadBack::Result::Differs) {
        ReportStatus(
            Format("[Error] : Address 0x%x Verify Fail!! Written 0x%06x, read back "
                   "0x%06x\r\n",
                   back.address, back.written, back.read));
        return false;
    }
    ++channel->Statistics().rowsVerified;
    return true;
}

bool CProgramerPIC::ResolveUncertainRows(const std::vector<RowTag>& uncertain) {
    ReportStatus(
        Format("[Notice] : The product's answers fell out of step with the rows sent: "
               "%d row(s) may not hold what was sent. They are read back before the "
               "firmware is started. \r\n",
               static_cast<int>(uncertain.size())));
    // Whatever is still on its way must not become the start of a read reply.
    DiscardUntilQuiet(kReadQuietMs, RowAnswerWindowMs(*channel));
    for (const RowTag& tag : uncertain) {
        CMemory* row = FindRow(static_cast<uint32_t>(tag.baseAddress));
        if (row == nullptr || row->kind != tag.kind || !MakeRowCertain(*row))
            return false;
    }
    // A rewrite whose answers fell out of step again proves nothing.
    ListenForGivenUpAnswers(*channel, clock);
    const std::vector<RowTag> again = channel->Answers().TakeUncertainRows();
    channel->Statistics().rowsUncertain = channel->Answers().UncertainRowCount();
    if (!again.empty()) {
        ReportStatus(
            Format("[Error] : Address 0x%x Flash Programing Fail!! The product's answers "
                   "fell out of step again while rows were written again. Check the "
                   "cable and its contacts, or choose a lower baud rate, then run the "
                   "download again. \r\n",
                   again.front().baseAddress));
        return false;
    }
    ReportStatus(Format("[Message] : The %d uncertain row(s) hold what was sent. \r\n",
                        static_cast<int>(uncertain.size())));
    return true;
}

bool CProgramerPIC::MakeRowCertain(CMemory& row) {
    constexpr int kRewrites = 2;
    for (int rewrite = 0;; ++rewrite) {
        if (row.Kind() == RowKind::Program) {
            const RowReadBack back = ReadRowBack(row);
            if (back.result == RowReadBack::Result::Equal)
                return true;
            if (back.result == RowReadBack::Result::Unreadable) {
                ReportStatus(
                    Format("[Error] : Address 0x%x could not be read back to check "
                           "it. \r\n",
                           row.baseAddress));
                return false;
            }
            if (rewrite == kRewrites) {
                ReportStatus(
                    Format("[Error] : Address 0x%x Flash Programing Fail!! Written "
                           "0x%06x, read back 0x%06x\r\n",
                           back.address, back.written, back.read));
                return false;
            }
            ReportStatus(
                Format("[Notice] : Address 0x%x does not hold what was sent (read back "
                       "0x%06x at 0x%x): written again. \r\n",
                       row.baseAddress, back.read, back.address));
        } else if (rewrite > 0) {
            return true;  // written again in step; the read command cannot reach it
        } else {
            ReportStatus(
                Format("[Notice] : Address 0x%x cannot be read back: written "
                       "again. \r\n",
                       row.baseAddress));
        }
        ++channel->Statistics().rowsRewritten;
        if (row.WriteRow(channel) != 0) {
            ReportStatus(
                Format("[Error] : Address 0x%x Flash Programing Fail!!\r\n", row.baseAddress));
            return false;
        }
    }
}

// ---- version requests --------------------------------------------------------------------------

int CProgramerPIC::ReadTargetVersion(VersionInfo& info, int& versionFlag) {
    uint8_t r[kRequestReplyBytes] = {};
    if (!RequestTwelveBytes(kPicReadVersion, r))
        return 0;

    // Three 4-byte fields, each the bytes L, M, U, P of an instruction: the product code, the
    // application version and the boot version. The version flag comes from the upper byte U of
    // the version instruction (r6).
    info.productCode = static_cast<uint16_t>(r[0] + 256 * r[1]);
    info.appVersion = static_cast<uint16_t>(r[4] + 256 * r[5]);
    info.bootVersion = static_cast<uint16_t>(r[8] + 256 * r[9]);
    info.productCodeText = Format("%d", info.productCode);
    info.appVersionText = PicAppVersionText(info.productCode, info.appVersion);
    info.bootVersionText = Format("%0.1f", info.bootVersion / 1000.0);
    ReportStatus(Format("[Message] : Target Version Info (P Code:%s, App Ver:%s, Boot Ver:%s)\r\n",
                        info.productCodeText.c_str(), info.appVersionText.c_str(),
                        info.bootVersionText.c_str()));
    versionFlag = PicVersionFlag(r[6]);
    return 1;
}

int CProgramerPIC::ReadVersionAddresses(int addresses[3]) {
    uint8_t r[kRequestReplyBytes] = {};
    if (!RequestTwelveBytes(kPicReadVersionAddresses, r))
        return 0;
    for (int k = 0; k < 3; ++k) {
        const uint8_t* b = r + 4 * k;
        const uint32_t value =
            b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
        addresses[k] = static_cast<int>(value);
    }
    return 1;
}

// ---- programming -------------------------------------------------------------------------------

bool CProgramerPIC::ProgramFlash(int useChecksum) {
    RowLoopRules rules;
    rules.checkedFrames = useChecksum == 1;
    rules.progressOnEvenRows = true;
    rules.channelRequired = true;
    return ProgramRows(rules);
}

}  // namespace tamrix
