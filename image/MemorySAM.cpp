#include "image/MemorySAM.h"

#include <string>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "image/IntelHex.h"
#include "image/RowAnswers.h"
#include "platform/Clock.h"

namespace tamrix {

CMemorySAM::CMemorySAM(CClock& clockRef, Family familyOfChip, RowKind rowKind, int index, int base)
    : CMemory(clockRef, familyOfChip, rowKind, index, RowBytes(rowKind), base, RowBytes(rowKind)) {}

int CMemorySAM::SetWord(int address, const char* hexText) {
    if (address < baseAddress)
        return 0;
    if (address >= baseAddress + wordCount)
        return 0;
    isEmpty = 0;
    words[address - baseAddress] = static_cast<uint16_t>(ParseHexDigits(hexText, 2));
    return 1;
}

void CMemorySAM::PackRow() {
    if (isEmpty == 1)
        return;
    for (int i = 0; i < wordCount; ++i)
        packed[static_cast<size_t>(i)] = static_cast<uint8_t>(words[i] & 0xFF);
}

int CMemorySAM::WriteRowChecked(CCommChannel* channel) {
    return WriteWithRetries(channel, nullptr);
}

int CMemorySAM::WriteRowLogged(CCommChannel* channel, FILE* logFile) {
    return WriteWithRetries(channel, logFile);
}

int CMemorySAM::GetWord(int, int&) {
    return 1;
}

int CMemorySAM::Checksum(const uint8_t*, int) {
    return 0;
}

int CMemorySAM::WriteRow(CCommChannel*) {
    return 0;
}

int CMemorySAM::WriteWithRetries(CCommChannel* channel, FILE* logFile) {
    // Rows the HEX text never touched are not sent at all.
    if (isEmpty == 1)
        return 0;
    // A programmer built without a channel cannot write; that is a failed row, not a crash.
    if (channel == nullptr)
        return 1;
    if (!FlushUnowedAnswers(*channel, clock))
        return 1;

    // Program and EEPROM rows carry the low 16 bits of their address, so EEPROM rows reach the
    // target as 0x0000-0x3F80. The fuse frame has no address.
    uint8_t header[3] = {kSamWriteFuseBits, 0, 0};
    int headerSize = 1;
    if (Kind() != RowKind::Config) {
        header[0] = Kind() == RowKind::Program ? kSamWriteProgramRow : kSamWriteEepromRow;
        header[1] = static_cast<uint8_t>(baseAddress & 0xFF);
        header[2] = static_cast<uint8_t>((baseAddress >> 8) & 0xFF);
        headerSize = 3;
    }

    // Two writes, the second whatever became of the first: the bootloader counts the frame's
    // bytes.
    const auto sendFrame = [&] {
        const FrameSend headerSent = Send(channel, header, static_cast<size_t>(headerSize));
        if (Kind() == RowKind::Program) {
            Trace(logFile, Format("->Program Address:0x%08x", baseAddress));
        } else if (Kind() == RowKind::Eeprom) {
            Trace(logFile, Format("->EEProm Address:0x%08x", baseAddress));
        }
        const FrameSend dataSent = Send(channel, packed.data(), static_cast<size_t>(wordCount));
        if (Kind() == RowKind::Config) {
            Trace(logFile, Format("->FuseBits Row:%02d Address:0x%08x", rowIndex, baseAddress));
        }
        if (logFile != nullptr)
            Trace(logFile, HexDump(packed.data(), packed.size()) + "\n\n");
        return Both(headerSent, dataSent);
    };
    static const AttemptTrace kTrace = {"<-Target ACK : 1", "<-Target ACK : 0",
                                        "FlushRX fail!!\n\n", "Taget ack : COMMAND_NACK \n\n",
                                        true};
    return WriteAttempts(channel, logFile, kTrace, sendFrame) ? 0 : 1;
}

}  // namespace tamrix
