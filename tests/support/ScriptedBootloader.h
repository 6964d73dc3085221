#pragma once
// A product with a resident bootloader, played in virtual time on FakeChannels, so that whole
// download processes run without a pseudo-terminal and without real waiting. It plays the
// target's side of the conversation from its own description of the protocol, not from the
// programmer classes:
//
// - The running product listens at 19200 and 9600 baud for the wake-up message and answers it by
//   resetting into its bootloader. The bootloader sends its start signal 0x0A on the next channel
//   the host opens at the boot rate. A host listening at another rate hears the start signal
//   garbled (0x00 when it is faster, 0xFF when it is slower), again every 100 ms.
// - Once the host has answered 0x0A: 0x09 -> the 8 identification bytes (device id low byte
//   first in bytes 0-1, PI in the high nibble of byte 5); 0x10 -> the 12 version bytes set below;
//   0x11 -> the 12 version-address bytes (PIC); 0x02 A0 A1 A2 -> the flash from that device
//   address, 3 bytes per instruction, upper byte first (PIC); a whole row frame -> ACK 0x01;
//   0x08 -> back to the application.
//
// A PIC program row frame is 0x03 A0 A1 A2 and 3 bytes (L, M, U) per instruction, an EEPROM row
// 0x05 A0 A1 A2 and 32 bytes. A SAM row is 0x03 or 0x05, A0 A1 and 128 bytes, the fuse frame 0x07
// and 4 bytes. A frame may come in several writes.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "comm/CommChannel.h"
#include "common/LinkChoices.h"
#include "platform/Clock.h"
#include "tests/support/FakeChannel.h"

namespace tamrix::test {

// Which bootloader the product runs. None identifies itself and then answers nothing else (a
// chip this program has no programmer for).
enum class BootloaderKind { Pic, Sam, None };

class ScriptedBootloader {
  public:
    ScriptedBootloader(CVirtualClock& clock, BootloaderKind kind, uint16_t deviceId, uint8_t pi);

    // ---- the product, set before the run -------------------------------------------------------
    int bootBaud = 115200;              // the bootloader's own rate
    int picRowInstructions = 512;       // PIC: instructions per program row and per flash read (32
                                        // for a dsPIC30F)
    bool silent = false;                // the bootloader never sends its start signal
    int startSignalDelayMs = 150;       // from the opening of the host's channel
    int replyDelayMs = 2;               // from the end of a command to its answer
    std::vector<uint8_t> versionReply;  // answer to 0x10; empty: not answered
    std::vector<uint8_t> addressReply;  // answer to 0x11; empty: not answered
    bool answerFlashReads = true;
    // Flash read reply n (counted from 0) comes with a stray byte of line noise in front of it.
    int strayBeforeRead = -1;
    int flashReads = 0;
    // PIC flash: the 24-bit instruction at an even device address; the rest is erased (FFFFFF).
    // Program row frames write into it.
    std::map<uint32_t, uint32_t> instructions;
    // How the bootloader takes row frame n (counted from 0): a refused frame is answered NACK and
    // not written, a silent one written and not answered; the answer comes after delayMs (when
    // not negative) instead of replyDelayMs. Answers always leave in the order of their frames.
    struct RowFate {
        bool refuse = false;
        bool silent = false;
        int delayMs = -1;
    };
    std::function<RowFate(int frame)> rowFate;

    // Opens channels as the program's channel opener does: the signature of
    // DownloadSettings::openChannel. Every channel is open and has the rate it was opened at.
    std::function<OpenedChannel(int baudRate, Wiring wiring)> Opener();

    // ---- what happened -------------------------------------------------------------------------
    struct Opening {
        int baudRate = 0;
        int echoMode = 0;
        int64_t atMs = 0;
        std::vector<uint8_t> written;  // everything the host wrote on this channel
    };
    std::vector<Opening> openings;
    int wakeUps = 0;
    int noiseBytes = 0;  // bytes the product could not hear: sent at a rate it was not listening at
    // The commands the bootloader took, in order: "start", "identify", "version", "addresses",
    // "read 000c00", "program 000400", "eeprom 7ff000", "fuses", "finish"; "?xx" for a byte that
    // starts no command.
    std::vector<std::string> commands;
    struct RowFrame {
        uint8_t command = 0;
        uint32_t address = 0;  // as the frame carries it (24 bits PIC, 16 bits SAM, 0 fuses)
        std::vector<uint8_t> data;
    };
    std::vector<RowFrame> rows;  // the frames written, in order (refused ones are not)
    int rowFramesTaken = 0;
    bool InBootloader() const { return state_ != State::Application; }
    bool Answered() const { return state_ == State::Bootloader; }

    int Count(const std::string& command) const;

    // ---- replies in the layouts the bootloaders use --------------------------------------------
    // PIC: three instructions L M U P: product code, application version (its upper byte U 0 marks
    // a comparable version), boot version.
    static std::vector<uint8_t> PicVersionReply(uint16_t productCode, uint16_t appVersion,
                                                uint8_t appUpper, uint16_t bootVersion);
    // SAM: three fields, each number high byte first in the field's first two bytes.
    static std::vector<uint8_t> SamVersionReply(uint16_t productCode, uint16_t appVersion,
                                                uint16_t bootVersion);
    // PIC: three 32-bit device addresses, low byte first.
    static std::vector<uint8_t> AddressReply(uint32_t productCode, uint32_t version,
                                             uint32_t third);

  private:
    enum class State { Application, WaitingForAnswer, Bootloader };

    void OnWrite(FakeChannel& channel, size_t opening, const std::vector<uint8_t>& bytes);
    void TakeCommands(FakeChannel& channel);
    // Length of the frame that starts with `command`; 0 when no command starts with it.
    size_t FrameLength(uint8_t command) const;
    void Answer(FakeChannel& channel, const std::vector<uint8_t>& frame);

    CVirtualClock& clock_;
    BootloaderKind kind_;
    uint16_t deviceId_;
    uint8_t pi_;
    State state_ = State::Application;
    std::vector<uint8_t> heard_;    // the application's last bytes, for the wake-up message
    std::vector<uint8_t> pending_;  // the bootloader's bytes not yet a whole frame
};

}  // namespace tamrix::test
