#pragma once
// The least any host can do for the same rows: a bare loop that sends each row frame through the
// program's own serial port (CSerialPort) and waits for its one-byte acknowledge, with nothing
// around it. Its time over the wire-time bound is what the machine, the pseudo-terminal and the
// simulator add by themselves; what the program measured adds is the rest.

#include <cstdint>
#include <string>
#include <vector>

namespace tamrix::bench {

// One row: the pieces written one after the other (the SAM programmer writes header and data
// separately, the PIC programmer the whole frame at once).
using BareFrame = std::vector<std::vector<uint8_t>>;

// SAM program rows 0 .. rows-1: header 0x03 A0 A1, then 128 bytes.
std::vector<BareFrame> SamRowFrames(int rows);
// PIC program rows 0 .. rows-1 of `instructions` each, without checksum: 0x03 A0 A1 A2 and three
// bytes per instruction, in one piece.
std::vector<BareFrame> PicRowFrames(int rows, int instructions);

// Opens `device` at `baud` (two wires) as the program does, answers the bootloader's start signal,
// then sends every frame, each after the previous one was acknowledged, and the finish byte 0x08.
// `rowsMs` is the time from the first frame to the finish byte. False with a reason when the
// bootloader does not answer as expected.
bool RunBareRows(const std::string& device, int baud, const std::vector<BareFrame>& frames,
                 double& rowsMs, std::string* error);

}  // namespace tamrix::bench
