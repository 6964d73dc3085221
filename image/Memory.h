#pragma once
// CMemory: one row of a target's firmware image. A row covers a fixed range of addresses, takes
// the words (PIC) or bytes (SAM) the HEX loader gives it, packs them into the bytes the bootloader
// expects and writes itself to the bootloader, waiting for the acknowledge.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "comm/AnswerLedger.h"
#include "image/FamilyCodes.h"

namespace tamrix {

class CCommChannel;
class CClock;

// Reply bytes of the bootloader to a row write.
inline constexpr uint8_t COMMAND_ACK = 0x01;
inline constexpr uint8_t COMMAND_NACK = 0x00;

// Row kinds. A row's `kind` field keeps the number (kRowProgram ...).
enum class RowKind : int {
    Program = 0,
    Eeprom = 1,
    Config = 2,  // configuration (PIC) or fuse bits (SAM)
};
inline constexpr int kRowProgram = static_cast<int>(RowKind::Program);
inline constexpr int kRowEeprom = static_cast<int>(RowKind::Eeprom);
inline constexpr int kRowConfig = static_cast<int>(RowKind::Config);

inline constexpr int kRowSlots = 1024;
inline constexpr uint16_t kEmptySlot = 0xFFFF;

class CMemory {
  public:
    CMemory(CClock& clock, Family family, RowKind kind, int rowIndex, int wordCount,
            int baseAddress, int packedSize);
    virtual ~CMemory() = default;
    CMemory(const CMemory&) = delete;
    CMemory& operator=(const CMemory&) = delete;

    // Stores the value whose hex digits start at hexText when `address` belongs to the row:
    // 1 stored, 0 not this row.
    [[nodiscard]] virtual int SetWord(int address, const char* hexText) = 0;
    // Converts the slots into the bytes sent to the bootloader; nothing for an empty row.
    virtual void PackRow() = 0;
    // Row write with checksum (where the family has one): 0 acknowledged or nothing to send,
    // 1 failed.
    [[nodiscard]] virtual int WriteRowChecked(CCommChannel* channel) = 0;
    // As WriteRowChecked, and writes a trace of the exchange to logFile.
    [[nodiscard]] virtual int WriteRowLogged(CCommChannel* channel, FILE* logFile) = 0;
    // 1 and the slot value when the row holds `address` and is not empty, else 0.
    [[nodiscard]] virtual int GetWord(int address, int& value) = 0;
    // Checksum of a frame (low 16 bits).
    [[nodiscard]] virtual int Checksum(const uint8_t* bytes, int count) = 0;
    // Plain row write: 0 acknowledged or nothing to send, 1 failed.
    [[nodiscard]] virtual int WriteRow(CCommChannel* channel) = 0;

    // The family code and row kind as numbers (FamilyCode, kRowProgram ...); ChipFamily and Kind
    // give them as names.
    int family;
    int kind;
    int isEmpty = 1;
    std::vector<uint8_t> packed;  // the bytes to send, filled by PackRow
    uint16_t words[kRowSlots];    // one slot per address of the row, index = address - baseAddress
    int rowIndex;
    int wordCount;
    int baseAddress;

    Family ChipFamily() const { return FamilyOf(family); }
    RowKind Kind() const { return static_cast<RowKind>(kind); }

  protected:
    enum class RowAnswer { Ack, Nack, None };

    // How much of a frame left the port: all of it (and on one wire its echo came back as sent),
    // some of it (the target may have taken it, changed or cut short), or nothing.
    enum class FrameSend { Whole, Damaged, Nothing };

    // What the trace of WriteRowLogged says at each turn of the attempt loop; each family words
    // it its own way.
    struct AttemptTrace {
        const char* ack;        // the row was acknowledged (a blank line follows)
        const char* nack;       // the attempt was refused (a blank line follows)
        const char* flushFail;  // the receive queue could not be emptied
        const char* retry;      // after a failed attempt
        bool retryAfterLast;    // the retry text also follows the last attempt
    };

    // Sends the row's frame (sendFrame) up to five times until an acknowledge that belongs to one
    // of its own frames arrives: true when written. Every frame is owed one answer, matched in
    // the order the frames were sent (the channel's ledger), so a late answer is still taken for
    // its own frame: a frame whose wait ran out is sent again but stays owed, and no answer owed
    // is flushed away. A frame that left damaged may have reached the target changed: it never
    // counts as written, nor does an earlier frame whose answer comes after it. Once the row is
    // written, the answers its other frames still owe are waited for, so that the next row starts
    // with none owed. After a refusal with nothing owed the receive queue is emptied as ever;
    // failing that is a failed row. The caller empties it before the first frame
    // (FlushUnowedAnswers).
    [[nodiscard]] bool WriteAttempts(CCommChannel* channel, FILE* logFile,
                                     const AttemptTrace& trace,
                                     const std::function<FrameSend()>& sendFrame);

    // Writes `count` bytes: how much of them left (see FrameSend).
    [[nodiscard]] static FrameSend Send(CCommChannel* channel, const uint8_t* bytes, size_t count);
    // A frame sent in two writes: whole only when both pieces were.
    [[nodiscard]] static FrameSend Both(FrameSend first, FrameSend second);

    // Counts one attempt of a row write in the channel's statistics: `sent` whether its frame
    // went out whole, `answer` what came back.
    static void CountAttempt(CCommChannel* channel, int attempt, bool sent, RowAnswer answer);

    RowTag Tag() const { return RowTag{kind, baseAddress}; }

    // A piece of the trace of WriteRowLogged, written to the file at once, so that a trace
    // survives a crash or a pulled cable. Nothing is written without a file.
    static void Trace(FILE* logFile, const std::string& text);
    // Bytes as "%02x", a line end before byte 0, 16, 32, ...
    static std::string HexDump(const uint8_t* bytes, size_t count);

    CClock& clock;

  private:
    // Waits for the answers of the row's frames until one of its own frames is acknowledged (Ack),
    // every frame has been answered without that (Nack), or the latest frame's answer is overdue
    // (None). Frames up to attempt `lastDamaged` cannot make the row written.
    RowAnswer AwaitOwnAnswer(CCommChannel* channel, int lastDamaged);
};

// Acknowledge wait per attempt and attempts per row, common to every family.
inline constexpr int kAckWaitMs = 500;
inline constexpr int kRowWriteAttempts = 5;
inline constexpr int kNackPauseMs = 5;
// How long an answer is still listened for after the acknowledge wait has run out.
inline constexpr int kLateAnswerMs = 500;
// The longest an answer is ever waited for before its frame is sent again, however slow the link
// has shown itself.
inline constexpr int kLongestAnswerWindowMs = 6000;

}  // namespace tamrix
