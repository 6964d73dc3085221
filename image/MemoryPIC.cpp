#include "image/MemoryPIC.h"

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "image/FamilyCodes.h"
#include "image/IntelHex.h"
#include "image/RowAnswers.h"
#include "platform/Clock.h"

namespace tamrix {

namespace {

// The dsPIC30F has 32-instruction program rows and seven configuration words, so the eighth
// configuration row is never sent to it.
constexpr int kLastConfigRow = kPicConfigRows - 1;

// A 512-instruction row with its checksum is 1542 bytes; every frame fits this buffer.
constexpr size_t kFrameBufferSize = 2048;

int PackedSize(RowKind kind, int wordCount) {
    if (kind == RowKind::Program)
        return 3 * wordCount;
    if (kind == RowKind::Eeprom)
        return 2 * kPicAuxRowWords;
    return 3;
}

uint8_t High(uint16_t slot) {
    return static_cast<uint8_t>(slot >> 8);
}
uint8_t Low(uint16_t slot) {
    return static_cast<uint8_t>(slot & 0xFF);
}

}  // namespace

int PicProgramRowWords(Family family) {
    return family == Family::DsPic30F ? kPicSmallRowWords : kPicLargeRowWords;
}

CMemoryPIC::CMemoryPIC(CClock& clockRef, Family familyOfChip, RowKind rowKind, int index, int count,
                       int base)
    : CMemory(clockRef, familyOfChip, rowKind, index, count, base, PackedSize(rowKind, count)) {}

int CMemoryPIC::AddressSpan() const {
    return Kind() == RowKind::Config ? kPicConfigRowSpan : 2 * wordCount;
}

int CMemoryPIC::SetWord(int address, const char* hexText) {
    if (!Contains(address))
        return 0;
    words[address - baseAddress] = static_cast<uint16_t>(ParseHexDigits(hexText, 4));
    isEmpty = 0;
    return 1;
}

int CMemoryPIC::GetWord(int address, int& value) {
    if (isEmpty == 1 || !Contains(address))
        return 0;
    value = words[address - baseAddress];
    return 1;
}

void CMemoryPIC::PackRow() {
    if (isEmpty == 1)
        return;
    if (Kind() == RowKind::Program) {
        // L, M, U of every instruction; the phantom byte is not sent.
        for (int i = 0; i < wordCount; ++i) {
            packed[3 * i] = High(words[2 * i]);
            packed[3 * i + 1] = Low(words[2 * i]);
            packed[3 * i + 2] = High(words[2 * i + 1]);
        }
    } else if (Kind() == RowKind::Eeprom) {
        // One data word per even address, in file byte order; odd addresses carry nothing.
        for (int j = 0; j < kPicAuxRowWords; ++j) {
            packed[2 * j] = High(words[2 * j]);
            packed[2 * j + 1] = Low(words[2 * j]);
        }
    } else {
        packed[0] = High(words[0]);
        packed[1] = Low(words[0]);
        packed[2] = High(words[1]);
    }
}

int CMemoryPIC::Checksum(const uint8_t* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<int>(sum & 0xFFFF);
}

int CMemoryPIC::WriteRow(CCommChannel* channel) {
    return WriteWithRetries(channel, WriteMode::Plain, nullptr);
}

int CMemoryPIC::WriteRowChecked(CCommChannel* channel) {
    return WriteWithRetries(channel, WriteMode::Checked, nullptr);
}

int CMemoryPIC::WriteRowLogged(CCommChannel* channel, FILE* logFile) {
    if (Kind() == RowKind::Config && ChipFamily() == Family::DsPic30F &&
        rowIndex == kLastConfigRow) {
        return 0;
    }
    return WriteWithRetries(channel, WriteMode::Logged, logFile);
}

int CMemoryPIC::WriteWithRetries(CCommChannel* channel, WriteMode mode, FILE* logFile) {
    if (isEmpty == 1 && Kind() != RowKind::Config)
        return 0;
    if (channel == nullptr)
        return 1;
    if (!FlushUnowedAnswers(*channel, clock)) {
        Trace(logFile, "FlushRX fail!!");
        return 1;
    }
    // Configuration words go out only through the logged write; the others flush and report
    // success so that a programming pass simply passes over them.
    if (Kind() == RowKind::Config && mode != WriteMode::Logged)
        return 0;

    static const AttemptTrace kTrace = {"Target ack : COMMAND_ACK", "Target ack : COMMAND_NACK",
                                        "FlushRX fail!!", "Target ack : COMMAND_NACK", false};
    const bool written =
        WriteAttempts(channel, logFile, kTrace, [&] { return SendFrame(channel, mode, logFile); });
    return written ? 0 : 1;
}

void CMemoryPIC::AppendHeader(std::vector<uint8_t>& frame, uint8_t command) const {
    frame.push_back(command);
    frame.push_back(static_cast<uint8_t>(baseAddress & 0xFF));
    frame.push_back(static_cast<uint8_t>((baseAddress >> 8) & 0xFF));
    frame.push_back(static_cast<uint8_t>((baseAddress >> 16) & 0xFF));
}

CMemory::FrameSend CMemoryPIC::SendFrame(CCommChannel* channel, WriteMode mode, FILE* logFile) {
    std::vector<uint8_t> frame;
    frame.reserve(kFrameBufferSize);

    if (Kind() == RowKind::Config) {
        // The bootloader takes the configuration words in sequence after the 0x07 of the first
        // row; each word is 0xFF, then its low and middle byte (the upper byte is not sent).
        // A row the HEX file left empty still sends its frame, with the erased value FF FF that
        // PackRow left in place: skipping it would shift every later word into the wrong
        // register.
        if (rowIndex == 0)
            frame.push_back(kPicWriteConfig);
        frame.push_back(0xFF);
        frame.push_back(packed[0]);
        frame.push_back(packed[1]);
        const FrameSend sent = Send(channel, frame.data(), frame.size());
        Trace(logFile, Format("FuseBits Row:%02d Address:0x%08x", rowIndex, baseAddress));
        Trace(logFile, HexDump(frame.data(), frame.size()));
        return sent;
    }

    const bool program = Kind() == RowKind::Program;
    AppendHeader(frame, program ? kPicWriteProgram : kPicWriteEeprom);
    if (program && mode != WriteMode::Logged) {
        // A program row leaves as one block.
        frame.insert(frame.end(), packed.begin(), packed.end());
        if (mode == WriteMode::Checked) {
            const int sum = Checksum(frame.data(), static_cast<int>(frame.size()));
            frame.push_back(static_cast<uint8_t>(sum & 0xFF));
            frame.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
        }
        return Send(channel, frame.data(), frame.size());
    }

    // EEPROM rows, and program rows in the logged write: the header, then the data.
    // Both pieces go out whatever became of the first: the bootloader counts the frame's bytes.
    const FrameSend headerSent = Send(channel, frame.data(), frame.size());
    Trace(logFile,
          Format(program ? "Program Address:0x%08x" : "EEProm Address:0x%08x", baseAddress));
    const FrameSend dataSent = Send(channel, packed.data(), packed.size());
    Trace(logFile, HexDump(packed.data(), packed.size()));
    return Both(headerSent, dataSent);
}

}  // namespace tamrix
