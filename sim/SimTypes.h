#pragma once
// The simulated product's settings, fault switches, counters and trace records. Plain data: the
// library, tamrix-sim and the tests fill and read them.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "common/LinkChoices.h"

namespace tamrix {

// How the product is wired to the port: two wires, or one signal wire on which every byte the
// host sends comes straight back to it. The same choice the host offers, so both ends name a
// wiring alike.
using SimWiring = Wiring;

// Where the simulated product is in its life.
enum class SimState {
    Stopped,           // not started, or stopped
    Application,       // the product's firmware runs; it listens for the wake-up message
    WaitingForAnswer,  // the bootloader runs and sends its start signal until it is answered
    Bootloader,        // the start signal was answered; the bootloader takes commands
    HungUp,            // the product has vanished from the port (unplugged); still inspectable
};

const char* SimStateName(SimState state);

// Misbehaviour on demand. Counts of -1 mean "every row frame from now on".
struct SimFaults {
    int nackRows = 0;            // answer NACK to the next N row frames (the row is not written)
    double nackShare = 0.0;      // besides, NACK this share (0..1) of the other row frames
    uint32_t seed = 1;           // of the random choice above, so that a run can be repeated
    int dropAcks = 0;            // write the next N rows but send no acknowledge
    int garbageAcks = 0;         // write the next N rows but answer a byte that is no acknowledge
    int silentAfterRows = -1;    // after N row frames stop answering anything; -1 never
    bool silent = false;         // answer nothing at all, start signal included
    int hangUpAfterRows = -1;    // vanish from the port when row frame N+1 is complete; -1 never
    int rowDelayMs = 0;          // time a row write takes before its answer leaves
    bool noVersionInfo = false;  // no answer to the version-information request (0x10)
    bool noVersionAddresses = false;  // no answer to the version-address request (0x11)

    // Random misbehaviour of row frames, each kind drawn from a generator of its own (seeded from
    // `seed`), so switching one kind on does not change where another strikes.
    double dropAckShare = 0.0;     // write this share of rows but send no acknowledge
    double garbageAckShare = 0.0;  // write this share but answer a byte that is no acknowledge
    // This share of row answers comes with one to three noise bytes before or after it. Noise
    // never takes the value of ACK or NACK: no host of a one-byte answer can tell such a byte
    // from a real answer.
    double noiseShare = 0.0;
    double slowRowShare = 0.0;  // this share of row writes takes up to slowRowMaxMs longer
    int slowRowMaxMs = 0;
    // One-wire wiring: in this share of row frames the echo of one byte (any of the frame's)
    // does not come back to the host; the product still takes the byte.
    double echoLossShare = 0.0;
    // Vanish from the port in the middle of row frame N (0: the first), when its byte B arrives
    // (0: the command byte; past the frame's end: its last byte). -1: never.
    int hangUpInRow = -1;
    int hangUpAtByte = 0;
    // PIC: program row N written (0: the first since the simulator started) is stored with one
    // word wrong: instruction kSimCorruptInstruction of the row has its lowest bit flipped. The
    // row is still acknowledged, as a flash cell that does not take its value would be. -1: never.
    int corruptProgramRow = -1;
};

// Which instruction of a row the corrupt-row fault changes.
inline constexpr uint32_t kSimCorruptInstruction = 5;

// The byte that stands for garbage in place of an acknowledge: neither ACK (0x01) nor NACK (0x00).
inline constexpr uint8_t kSimGarbageByte = 0x55;

struct SimCounters {
    int wakeUps = 0;          // wake-up messages that reset the product into its bootloader
    int startSignals = 0;     // start signals (0x0A) sent
    int identifications = 0;  // identification requests (0x09) answered
    int flashReads = 0;       // read-flash requests answered
    int versionRequests = 0;  // version-information requests received
    int addressRequests = 0;  // version-address requests received
    int rowFrames = 0;        // complete row frames received (program, EEPROM, configuration)
    int rowsAcked = 0;        // row frames answered with ACK
    int rowsNacked = 0;       // row frames answered with NACK (fault or bad frame)
    int rowsWritten = 0;      // rows that changed the simulated flash
    int finishes = 0;         // finish commands (0x08): back to the application
    int noiseBytes = 0;       // host bytes ignored because they came at another baud rate
    int echoesLost = 0;       // one-wire echoes held back by the echo-loss fault
    int strayBytesSent = 0;   // noise bytes sent around row answers by the noise fault
};

enum class SimTraceDirection {
    HostToTarget,  // a byte the product took in
    TargetToHost,  // a byte the product sent (as the host receives it: garbled at a wrong speed)
    Echo,          // the one-wire echo of a host byte
    Noise,         // a host byte sent at a baud rate the product does not listen at
};

struct SimTraceEntry {
    int64_t timeUs = 0;  // since the simulator started
    SimTraceDirection direction = SimTraceDirection::HostToTarget;
    uint8_t byte = 0;
};

const char* SimTraceDirectionName(SimTraceDirection direction);

// What the product reports about its firmware, as it would answer the version request.
struct SimVersions {
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    uint8_t versionFlagByte = 0;  // PIC: upper byte of the version instruction; 0 means flag 1
    uint16_t bootVersion = 0;
};

struct SimOptions {
    // Which chip the bootloader identifies as: a device-table name, or, when deviceId is not
    // negative, any (deviceId, pi) pair, also one the table does not list (identification only).
    std::string chip = "dsPIC33FJ256GP710";
    int deviceId = -1;
    int pi = 0;

    SimWiring wiring = SimWiring::TwoWire;
    int bootBaud = 115200;           // the bootloader's own line speed
    bool pace = false;               // bytes take their wire time in both directions
    bool silentBootloader = false;   // the bootloader never sends its start signal
    bool checksum = false;           // PIC program rows end with a 16-bit checksum
    bool startInBootloader = false;  // begin as if the wake-up message had just been received
    std::string linkPath;            // also reachable through this symbolic link

    // The firmware's identity. PIC: written into the initial flash at the two addresses, as
    // instructions (low, middle, upper = version flag byte for the version). SAM: settings.
    uint16_t productCode = 12345;
    uint16_t appVersion = 1000;
    uint8_t versionFlagByte = 0;
    uint16_t bootVersion = 1500;
    uint32_t productCodeAddress = 0x0C00;
    uint32_t versionAddress = 0x0C02;
    uint32_t thirdAddress = 0x0BFE;

    // Initial memory contents in Intel HEX byte addressing (the layout a HEX file gives), laid
    // over the defaults above. Empty: nothing beyond the defaults.
    std::map<uint32_t, uint8_t> initialImage;

    SimFaults faults;

    bool keepTrace = false;  // keep every byte in memory (Trace())
    // Called with every traced byte, on the simulator's thread, outside its lock.
    std::function<void(const SimTraceEntry&)> onTrace;
};

}  // namespace tamrix
