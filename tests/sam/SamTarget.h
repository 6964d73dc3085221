#pragma once
// A scripted SAM bootloader on a FakeChannel: it pairs each row header with the data write that
// follows it, records the frame and answers it as the test says.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FakeChannel.h"

namespace tamrix::test {

struct SamFrame {
    std::vector<uint8_t> header;  // 03 lo hi, 05 lo hi, or 07
    std::vector<uint8_t> data;    // 128 or 4 bytes
};

class SamTarget {
  public:
    // Reply bytes to the n-th row frame (n counted from 0 over every transmission, retries
    // included); empty = silence. Default: COMMAND_ACK.
    std::function<std::vector<uint8_t>(int n, const SamFrame& frame)> reply;
    int replyDelayMs = 10;

    std::vector<SamFrame> frames;

    // Takes over channel.onWrite.
    void Attach(FakeChannel& channel);

  private:
    std::optional<std::vector<uint8_t>> pendingHeader_;
};

// Intel HEX text (CR LF) for a sparse byte image.
std::string HexText(const std::map<uint32_t, uint8_t>& bytes, int recordSize = 16);
// One record line with a correct checksum.
std::string HexLineOf(int type, uint16_t address, const std::vector<uint8_t>& data);

}  // namespace tamrix::test
