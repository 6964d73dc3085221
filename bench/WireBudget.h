#pragma once
// The least time a run can take on a real line: every byte in both directions at 10 bits (start,
// eight data bits, stop) at its baud rate, plus the fixed pauses the program makes. Nothing on
// the line can be faster, so a measured time over this budget says how much the program and the
// operating system add.

#include <cstdint>
#include <string>

namespace tamrix::bench {

// Wire time of one 8N1 byte at `baud`, in milliseconds.
double ByteTimeMs(int baud);

struct WireBudget {
    int64_t bytes = 0;      // bytes on the wire, both directions
    double bytesMs = 0;     // their wire time
    double pausesMs = 0;    // fixed pauses of the program
    double measuredMs = 0;  // waits that depend on the other end, taken as measured

    WireBudget& Bytes(int64_t count, int baud);
    WireBudget& Pause(double ms);
    WireBudget& Measured(double ms);
    WireBudget& operator+=(const WireBudget& other);
    double TotalMs() const { return bytesMs + pausesMs + measuredMs; }
    // "1540 bytes 133.7 ms + pauses 100 ms" and the like.
    std::string Describe() const;
};

// The wake-up message at 19200 and at 9600 baud on two short-lived channels: 100 ms after each
// write, 100 ms after the first channel is closed, 300 ms after the second.
WireBudget WakeUpBudget();

// The handshake after the start signal has arrived: the answer 0x0A, then per identification
// attempt the request 0x09 and 50 ms; 100 ms after the flush that follows the answer; 100 ms more
// after every attempt that got no reply; the 8-byte reply. The start signal itself and the wait
// for it lie before this and are taken as measured.
WireBudget HandshakeBudget(int baud, int identifyAttempts);

// PIC: the flash read of the reset vector: 100 ms after the flush pair, the 4-byte read command,
// the reply of `replyBytes`.
WireBudget PicResetVectorBudget(int baud, int replyBytes);

// PIC: `rows` program rows of `instructions` each, written without checksum (command, three
// address bytes, three bytes per instruction), each acknowledged by one byte; then the finish
// byte.
WireBudget PicRowsBudget(int baud, int rows, int instructions);

// SAM: `rows` rows of 128 bytes, each a 3-byte header and the data, each acknowledged by one byte;
// then the finish byte.
WireBudget SamRowsBudget(int baud, int rows);

}  // namespace tamrix::bench
