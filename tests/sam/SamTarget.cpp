#include "tests/sam/SamTarget.h"

#include "image/IntelHex.h"

namespace tamrix::test {

void SamTarget::Attach(FakeChannel& channel) {
    channel.onWrite = [this](FakeChannel& ch, const std::vector<uint8_t>& written) {
        if (!pendingHeader_) {
            const bool rowHeader =
                (written.size() == 3 && (written[0] == 0x03 || written[0] == 0x05)) ||
                (written.size() == 1 && written[0] == 0x07);
            if (rowHeader)
                pendingHeader_ = written;
            return;  // finish byte, version request: not a row frame
        }
        frames.push_back({*pendingHeader_, written});
        pendingHeader_.reset();
        const int n = static_cast<int>(frames.size()) - 1;
        const std::vector<uint8_t> answer =
            reply ? reply(n, frames.back()) : std::vector<uint8_t>{0x01};
        if (!answer.empty())
            ch.Deliver(answer, replyDelayMs);
    };
}

std::string HexText(const std::map<uint32_t, uint8_t>& bytes, int recordSize) {
    return FormatIntelHex(bytes, recordSize);
}

std::string HexLineOf(int type, uint16_t address, const std::vector<uint8_t>& data) {
    return FormatHexRecord(type, address, data.data(), static_cast<int>(data.size()));
}

}  // namespace tamrix::test
