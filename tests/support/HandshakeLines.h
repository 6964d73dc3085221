#pragma once
// The status lines of a handshake that found and identified its target, as the download process
// and tamrix-cli report them.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tamrix::test {

inline std::vector<std::string> HandshakeLines(uint16_t deviceId, int pi) {
    char received[64];
    char found[64];
    std::snprintf(received, sizeof received,
                  "[Message] : Received Device Info (ID:0x%04x, PI:0x%02x)\r\n", deviceId, pi);
    std::snprintf(found, sizeof found,
                  "[Message] : Found MicroProcessor (ID:0x%04x, PI:0x%02x)\r\n", deviceId, pi);
    return {"[Message] : Waiting for Hardware Reset..\r\n",
            "[Message] : Start Command Checked. Start Command Send. \r\n",
            "[Message] : Found target device...\r\n", received, found};
}

}  // namespace tamrix::test
