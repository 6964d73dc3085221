#pragma once
// The resident bootloader of the simulated product, as a byte-in / bytes-out interpreter with no
// clock and no I/O: the target around it (SimTarget) feeds it the host's bytes and sends what it
// answers. This base assembles command frames and answers what every bootloader answers (the
// identification and the finish command); the PIC and SAM bootloaders add their commands.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/FaultPolicy.h"
#include "sim/SimTypes.h"

namespace tamrix {

// What the bootloader does in reply to one byte.
struct SimActions {
    std::vector<uint8_t> reply;  // bytes to send, in order
    int replyDelayMs = 0;        // time before the reply leaves (a slow row write)
    bool finished = false;       // hands over to the application after the reply
    bool hangUp = false;         // vanishes from the port; the reply is not sent
    bool echoLost = false;       // one-wire: the echo of this byte does not reach the host
};

// What a frame may touch beyond the bootloader itself.
struct SimFrameContext {
    CSimFaultPolicy& faults;
    SimCounters& counters;
};

inline constexpr uint8_t kSimStartSignal = 0x0A;
inline constexpr uint8_t kSimIdentify = 0x09;
inline constexpr uint8_t kSimFinish = 0x08;
inline constexpr uint8_t kSimAck = 0x01;
inline constexpr uint8_t kSimNack = 0x00;

class CSimBootloader {
  public:
    CSimBootloader(uint16_t deviceId, uint16_t pi) : deviceId_(deviceId), pi_(pi) {}
    virtual ~CSimBootloader() = default;
    CSimBootloader(const CSimBootloader&) = delete;
    CSimBootloader& operator=(const CSimBootloader&) = delete;

    // The product was reset into its bootloader: a new session, no frame half received.
    virtual void Reset();
    // One byte from the host.
    void Receive(uint8_t byte, SimFrameContext& context, SimActions& out);
    // Bytes still missing from the frame being received (1 between frames: any byte may be a
    // whole command). Lets the target sleep until a frame can be complete.
    size_t BytesWanted() const;

    // The 8-byte identification: device identifier little-endian in bytes 0-1, PI in the high
    // nibble of byte 5 (low nibble: silicon revision 1), the other bytes 0.
    std::vector<uint8_t> Identification() const;

    // The firmware identity this bootloader reports (zero where it has no version command).
    virtual SimVersions Versions() const { return {}; }
    // The flash in Intel HEX byte addressing; empty for a bootloader without flash.
    virtual std::map<uint32_t, uint8_t> HexImage() const { return {}; }
    virtual bool LoadHexImage(const std::map<uint32_t, uint8_t>& image, std::string* error);

  protected:
    // Length of the frame `command` starts, command byte included; 0 when the byte is no command
    // (it is ignored). May change the interpreter's mode.
    virtual size_t FrameLength(uint8_t command);
    // True when `command`, which FrameLength has just accepted, starts a frame that writes a row
    // (the frames the row faults apply to).
    virtual bool StartsRowFrame(uint8_t command) const;
    virtual void HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                             SimActions& out);

    // Answers a complete row frame. A frame that is not well formed (bad checksum, address out
    // of range) is refused with NACK; otherwise the fault switches decide, and `write` changes
    // the flash when the verdict lets the row be written.
    template <typename WriteFn>
    void AnswerRow(bool wellFormed, WriteFn write, SimFrameContext& context, SimActions& out) {
        if (!BeginRow(wellFormed, context, out))
            return;
        write();
        FinishRow(context, out);
    }

  private:
    // The part of AnswerRow before the write: false when the row is not to be written.
    bool BeginRow(bool wellFormed, SimFrameContext& context, SimActions& out);
    void FinishRow(SimFrameContext& context, SimActions& out);
    // The reply to a row: the fate's noise around `answer` (or around nothing when not
    // `answered`).
    void AnswerWithNoise(uint8_t answer, bool answered, SimFrameContext& context, SimActions& out);

    uint16_t deviceId_;
    uint16_t pi_;
    std::vector<uint8_t> frame_;
    size_t frameLength_ = 0;
    bool rowFrame_ = false;  // the frame being received writes a row
    int echoLossAt_ = -1;    // index of its byte whose echo is lost, -1 none
    SimRowFate pendingFate_;
};

}  // namespace tamrix
