#include "fuzz/HexModel.h"

#include <vector>

namespace tamrix::fuzz {

namespace {

int Nibble(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

HexModel Refused(const std::string& why) {
    HexModel model;
    model.why = why;
    return model;
}

}  // namespace

HexModel ReadHexModel(const uint8_t* text, size_t size) {
    HexModel model;
    bool ended = false;
    bool segmented = false;  // the last address record was a segment one
    uint32_t base = 0;
    size_t lineStart = 0;
    int line = 0;
    while (lineStart <= size) {
        size_t lineEnd = lineStart;
        while (lineEnd < size && text[lineEnd] != '\r' && text[lineEnd] != '\n')
            ++lineEnd;
        // Every CR and every LF ends a line; the empty "line" inside a CR LF is blank.
        const size_t next = lineEnd + 1;
        ++line;
        size_t first = lineStart;
        size_t last = lineEnd;
        while (first < last && (text[first] == ' ' || text[first] == '\t'))
            ++first;
        while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
            --last;
        lineStart = next;
        if (first == last)
            continue;

        const std::string where = "line " + std::to_string(line) + ": ";
        if (ended)
            return Refused(where + "a record after the end record");
        if (text[first] != ':')
            return Refused(where + "no colon");
        std::vector<uint8_t> bytes;
        const size_t digits = last - first - 1;
        if (digits % 2 != 0)
            return Refused(where + "odd number of digits");
        for (size_t i = first + 1; i < last; i += 2) {
            const int high = Nibble(text[i]);
            const int low = Nibble(text[i + 1]);
            if (high < 0 || low < 0)
                return Refused(where + "not a hex digit");
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        if (bytes.size() < 5 || bytes.size() != 5u + bytes[0])
            return Refused(where + "length");
        unsigned sum = 0;
        for (uint8_t b : bytes)
            sum += b;
        if (sum % 256 != 0)
            return Refused(where + "checksum");

        const unsigned count = bytes[0];
        const uint32_t offset = bytes[1] * 256u + bytes[2];
        const uint8_t* data = bytes.data() + 4;
        switch (bytes[3]) {
            case 0x00:
                for (uint32_t i = 0; i < count; ++i) {
                    const uint32_t address = segmented ? base + ((offset + i) & 0xFFFFu)
                                                       : base + offset + i;  // modulo 2^32
                    model.bytes[address] = data[i];
                }
                break;
            case 0x01:
                ended = true;
                break;
            case 0x02:
            case 0x04:
                if (count != 2)
                    return Refused(where + "address record length");
                segmented = bytes[3] == 0x02;
                base = (data[0] * 256u + data[1]) << (segmented ? 4 : 16);
                break;
            default:
                return Refused(where + "start address or unknown type");
        }
    }
    if (!ended)
        return Refused("no end record");
    model.accepted = true;
    return model;
}

}  // namespace tamrix::fuzz
