#pragma once
// CMemory: one row of a target's firmware image. A row covers a fixed range of addresses, takes
// the words (PIC) or bytes (SAM) the HEX loader gives it, packs them into the bytes the bootloader
// expects and writes itself to the bootloader, waiting for the acknowledge.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tamrix {

class CCommChannel;
class CClock;

// Reply bytes of the bootloader to a row write.
inline constexpr uint8_t COMMAND_ACK = 0x01;
inline constexpr uint8_t COMMAND_NACK = 0x00;

// Row kinds.
inline constexpr int kRowProgram = 0;
inline constexpr int kRowEeprom = 1;
inline constexpr int kRowConfig = 2;  // configuration (PIC) or fuse bits (SAM)

inline constexpr int kRowSlots = 1024;
inline constexpr uint16_t kEmptySlot = 0xFFFF;

class CMemory {
  public:
    CMemory(CClock& clock, int family, int kind, int rowIndex, int wordCount, int baseAddress,
            int packedSize);
    virtual ~CMemory() = default;
    CMemory(const CMemory&) = delete;
    CMemory& operator=(const CMemory&) = delete;

    // Stores the value whose hex digits start at hexText when `address` belongs to the row:
    // 1 stored, 0 not this row.
    virtual int SetWord(int address, const char* hexText) = 0;
    // Converts the slots into the bytes sent to the bootloader; nothing for an empty row.
    virtual void PackRow() = 0;
    // Row write with checksum (where the family has one): 0 acknowledged or nothing to send,
    // 1 failed.
    virtual int WriteRowChecked(CCommChannel* channel) = 0;
    // As WriteRowChecked, and writes a trace of the exchange to logFile.
    virtual int WriteRowLogged(CCommChannel* channel, FILE* logFile) = 0;
    // 1 and the slot value when the row holds `address` and is not empty, else 0.
    virtual int GetWord(int address, int& value) = 0;
    // Checksum of a frame (low 16 bits).
    virtual int Checksum(const uint8_t* bytes, int count) = 0;
    // Plain row write: 0 acknowledged or nothing to send, 1 failed.
    virtual int WriteRow(CCommChannel* channel) = 0;

    int family;
    int kind;
    int isEmpty = 1;
    std::vector<uint8_t> packed;  // the bytes to send, filled by PackRow
    uint16_t words[kRowSlots];    // one slot per address of the row, index = address - baseAddress
    int rowIndex;
    int wordCount;
    int baseAddress;

  protected:
    enum class RowAnswer { Ack, Nack, None };

    // Waits for the bootloader's answer to attempt `attempt` (counted from 1) of this row's
    // write, whose last byte has just left the port: ACK or NACK, or None when neither came in
    // time. Bytes that are neither are line noise: ignored, and they never stretch the wait. The
    // wait is the acknowledge time of 500 ms (plus the answer's own wire time) and then
    // kLateAnswerMs more, so that the answer of a slow row write is still taken for its frame
    // instead of being found, later, by the next one. `answered` counts the attempts whose answer
    // came; when this one is acknowledged while earlier ones are still unanswered, their answers
    // may yet come: they are waited for as long as this attempt's could take, and dropped, so the
    // next row never takes one of them for its own.
    RowAnswer AwaitAttemptAnswer(CCommChannel* channel, int attempt, int& answered);

    // Writes `count` bytes: true when the channel took them all and, on the one-wire line, they
    // came back as sent. Otherwise the answer to the frame cannot be told from what the line did
    // to it, and the attempt counts as failed.
    static bool Sent(CCommChannel* channel, const uint8_t* bytes, size_t count);

    // Counts one attempt of a row write in the channel's statistics: `sent` whether its frame
    // went out whole, `answer` what came back.
    static void CountAttempt(CCommChannel* channel, int attempt, bool sent, RowAnswer answer);

    // A piece of the trace of WriteRowLogged, written to the file at once, so that a trace
    // survives a crash or a pulled cable. Nothing is written without a file.
    static void Trace(FILE* logFile, const std::string& text);
    // Bytes as "%02x", a line end before byte 0, 16, 32, ...
    static std::string HexDump(const uint8_t* bytes, size_t count);

    CClock& clock;
};

// Acknowledge wait per attempt and attempts per row, common to every family.
inline constexpr int kAckWaitMs = 500;
inline constexpr int kRowWriteAttempts = 5;
inline constexpr int kNackPauseMs = 5;
// How long an answer is still listened for after the acknowledge wait has run out.
inline constexpr int kLateAnswerMs = 500;

}  // namespace tamrix
