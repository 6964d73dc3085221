#include "fuzz/HexMutator.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/IntelHex.h"

namespace tamrix::fuzz {

namespace {

// One line of the text: a record's bytes (count, address, type, data; the checksum is worked out
// when written) or, when it is not a record, the line as it is.
struct Line {
    bool record = false;
    std::vector<uint8_t> bytes;
    std::string raw;
};

Line ParseLine(const std::string& text) {
    Line line;
    line.raw = text;
    if (text.size() < 11 || text[0] != ':' || (text.size() - 1) % 2 != 0)
        return line;
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return line;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    bytes.pop_back();  // the checksum
    line.record = true;
    line.bytes = bytes;
    return line;
}

std::string Write(const Line& line, bool rightChecksum) {
    if (!line.record)
        return line.raw;
    static const char kDigits[] = "0123456789ABCDEF";
    std::vector<uint8_t> bytes = line.bytes;
    bytes[0] = static_cast<uint8_t>(bytes.size() - 4);
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF) ^ (rightChecksum ? 0 : 1));
    std::string text = ":";
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

Line MakeRecord(uint8_t type, uint16_t address, std::vector<uint8_t> data) {
    Line line;
    line.record = true;
    line.bytes = {0, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), type};
    line.bytes.insert(line.bytes.end(), data.begin(), data.end());
    return line;
}

}  // namespace

size_t MutateHexText(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    std::minstd_rand rng(seed);
    const auto pick = [&rng](size_t below) { return below == 0 ? 0 : rng() % below; };
    if (pick(3) == 0 || size == 0)
        return LLVMFuzzerMutate(data, size, maxSize);

    std::vector<Line> lines;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(ParseLine(text.substr(start, end - start)));
        start = end + 1;
    }
    std::vector<size_t> records;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].record)
            records.push_back(i);
    }

    // Addresses where records meet the ends of segments, rows and the version words.
    static const uint16_t kOffsets[] = {0x0000, 0x0001, 0xFFFF, 0xFFFE, 0xFFFD, 0xFFF8,
                                        0xFFF0, 0x1800, 0x1801, 0x1804, 0x1805, 0x0800};
    static const uint16_t kBases[] = {0x0000, 0x0001, 0x0002, 0x00FF, 0x01F0, 0x0800,
                                      0x1000, 0x2000, 0xF000, 0xFFFF, 0x0010, 0x8000};
    const auto offset = [&] {
        return pick(3) == 0 ? static_cast<uint16_t>(rng()) : kOffsets[pick(std::size(kOffsets))];
    };
    const auto base = [&] {
        return pick(4) == 0 ? static_cast<uint16_t>(rng()) : kBases[pick(std::size(kBases))];
    };

    size_t changed = lines.size();
    switch (records.empty() ? 3 : pick(7)) {
        case 0: {  // move a record
            Line& line = lines[changed = records[pick(records.size())]];
            const uint16_t to = offset();
            line.bytes[1] = static_cast<uint8_t>(to >> 8);
            line.bytes[2] = static_cast<uint8_t>(to);
            break;
        }
        case 1: {  // another type; address records get their two bytes
            Line& line = lines[changed = records[pick(records.size())]];
            line.bytes[3] = static_cast<uint8_t>(pick(8));
            if (line.bytes[3] == 2 || line.bytes[3] == 4) {
                const uint16_t value = base();
                line.bytes.resize(4);
                line.bytes.push_back(static_cast<uint8_t>(value >> 8));
                line.bytes.push_back(static_cast<uint8_t>(value));
            }
            break;
        }
        case 2: {  // data bytes added or taken away
            Line& line = lines[changed = records[pick(records.size())]];
            const size_t count = 1 + pick(pick(4) == 0 ? 64 : 4);
            if (pick(2) == 0 && line.bytes.size() > 4) {
                line.bytes.resize(line.bytes.size() - std::min(count, line.bytes.size() - 4));
            } else {
                for (size_t k = 0; k < count && line.bytes.size() < 4 + 255; ++k)
                    line.bytes.push_back(static_cast<uint8_t>(rng()));
            }
            break;
        }
        case 3: {  // an address record put in
            const uint16_t value = base();
            changed = pick(lines.size() + 1);
            lines.insert(
                lines.begin() + static_cast<long>(changed),
                MakeRecord(pick(2) == 0 ? 2 : 4, 0,
                           {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}));
            break;
        }
        case 4: {  // a data byte changed
            Line& line = lines[changed = records[pick(records.size())]];
            if (line.bytes.size() > 4)
                line.bytes[4 + pick(line.bytes.size() - 4)] = static_cast<uint8_t>(rng());
            break;
        }
        case 5: {  // a line repeated elsewhere
            const Line copy = lines[pick(lines.size())];
            lines.insert(lines.begin() + static_cast<long>(pick(lines.size() + 1)), copy);
            break;
        }
        default: {  // two lines swapped, or one dropped
            const size_t a = pick(lines.size());
            const size_t b = pick(lines.size());
            if (pick(2) == 0)
                std::swap(lines[a], lines[b]);
            else
                lines.erase(lines.begin() + static_cast<long>(a));
            break;
        }
    }

    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        // Now and then the changed record keeps a wrong checksum.
        out += Write(lines[i], i != changed || pick(16) != 0);
        out += "\r\n";
    }
    if (out.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, out.data(), out.size());
    return out.size();
}

}  // namespace tamrix::fuzz
