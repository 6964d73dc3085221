// FormatIntelHex against srec_cat: random sparse images (gaps, 64 KiB boundaries, addresses above
// 16 MiB and near the top of the 32-bit range, record sizes 1..255, both letter cases) are written
// as Intel HEX, and srec_cat must take every record and give back exactly the same bytes. It
// rewrites them as Motorola S3 records, which carry the full address on every line, so reading
// them back takes a few lines of code and none of ours.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image/IntelHex.h"

namespace tamrix {
namespace {

using ByteMap = std::map<uint32_t, uint8_t>;

unsigned Hex(const std::string& text, size_t at, size_t digits) {
    return static_cast<unsigned>(std::stoul(text.substr(at, digits), nullptr, 16));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

// What srec_cat makes of a HEX text: its exit status, what it said on stderr, and the bytes.
struct SrecCatReading {
    int status = -1;
    std::string diagnostics;
    ByteMap bytes;
    std::string problem;  // a line of its output that is not an S3 data record
};

SrecCatReading ReadWithSrecCat(const std::string& text) {
    const std::string stem = ::testing::TempDir() + "format_hex_" + std::to_string(::getpid());
    {
        std::ofstream file(stem + ".hex", std::ios::binary);
        file << text;
    }
    // Only S3 data records in the output: no header, no record count, no start address.
    const std::string command = "srec_cat '" + stem + ".hex' -intel -o '" + stem +
                                ".s3' -motorola -address-length=4 -disable=header "
                                "-disable=data-count -disable=exec-start-address 2>'" +
                                stem + ".err'";
    SrecCatReading reading;
    reading.status = std::system(command.c_str());
    reading.diagnostics = ReadAll(stem + ".err");
    for (const std::string& line : Lines(ReadAll(stem + ".s3"))) {
        // S3 cc aaaaaaaa dd... ss: cc counts the address, data and checksum bytes.
        if (line.size() < 14 || line.compare(0, 2, "S3") != 0 ||
            line.size() != 4 + 2 * Hex(line, 2, 2)) {
            reading.problem = line;
            break;
        }
        const uint32_t address = Hex(line, 4, 8);
        const size_t count = Hex(line, 2, 2) - 5;
        for (size_t k = 0; k < count; ++k)
            reading.bytes[address + static_cast<uint32_t>(k)] =
                static_cast<uint8_t>(Hex(line, 12 + 2 * k, 2));
    }
    std::remove((stem + ".hex").c_str());
    std::remove((stem + ".s3").c_str());
    std::remove((stem + ".err").c_str());
    return reading;
}

// The first address at which two images differ, for a readable failure.
std::string FirstDifference(const ByteMap& expected, const ByteMap& actual) {
    auto e = expected.begin();
    auto a = actual.begin();
    while (e != expected.end() && a != actual.end() && *e == *a) {
        ++e;
        ++a;
    }
    char text[96];
    if (e == expected.end() && a == actual.end())
        return "none";
    if (a == actual.end() || (e != expected.end() && e->first < a->first)) {
        std::snprintf(text, sizeof text, "0x%08x = %02x is missing", e->first, e->second);
    } else if (e == expected.end() || a->first < e->first) {
        std::snprintf(text, sizeof text, "0x%08x = %02x is extra", a->first, a->second);
    } else {
        std::snprintf(text, sizeof text, "0x%08x: %02x expected, %02x read", e->first, e->second,
                      a->second);
    }
    return text;
}

// A sparse image: runs of random length at random places, many of them just below a 64 KiB
// boundary, some above 16 MiB and at the very top of the address range, with single bytes and
// one-byte holes among them.
ByteMap RandomImage(std::mt19937& rng) {
    ByteMap image;
    auto pick = [&rng](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(rng);
    };
    const int runs = static_cast<int>(pick(1, 24));
    for (int r = 0; r < runs; ++r) {
        uint32_t start = 0;
        switch (pick(0, 5)) {
            case 0:
                start = pick(0, 0x3FFF);
                break;
            case 1:  // straddling a 64 KiB boundary
                start = (pick(1, 0x1FF) << 16) - pick(1, 300);
                break;
            case 2:  // above 16 MiB
                start = 0x01000000u + pick(0, 0x00FFFFFF);
                break;
            case 3:  // at the top of the 32-bit range
                start = 0xFFFFFFFFu - pick(0, 700);
                break;
            default:
                start = pick(0, 0x00FFFFFF);
                break;
        }
        const uint32_t length = pick(1, 600);
        const bool holes = pick(0, 3) == 0;  // every other byte only
        for (uint32_t k = 0; k < length && start + k >= start; k += holes ? 2 : 1)
            image[start + k] = static_cast<uint8_t>(pick(0, 255));
    }
    return image;
}

// What the text itself must show: CR LF line ends, digits in the chosen case, data records of 1 to
// `recordSize` bytes that stay inside their 64 KiB, an extended address record only where the
// upper 16 bits change, and the end record once, as the last line.
void ExpectWellFormed(const std::string& text, int recordSize, bool upperCase) {
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.compare(text.size() - 2, 2, "\r\n"), 0);
    size_t lineEnds = 0;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        ++lineEnds;
        EXPECT_TRUE(at > 0 && text[at - 1] == '\r') << "LF without CR at " << at;
    }
    const std::vector<std::string> lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.size(), lineEnds);
    EXPECT_EQ(lines.back(), ":00000001FF");

    unsigned upper = 0;
    bool dataSinceAddress = true;
    for (size_t n = 0; n + 1 < lines.size(); ++n) {
        const std::string& line = lines[n];
        SCOPED_TRACE(line);
        ASSERT_GE(line.size(), 11u);
        ASSERT_EQ(line[0], ':');
        for (size_t k = 1; k < line.size(); ++k) {
            const char c = line[k];
            ASSERT_TRUE(std::isxdigit(static_cast<unsigned char>(c)));
            if (std::isalpha(static_cast<unsigned char>(c))) {
                EXPECT_EQ(std::isupper(static_cast<unsigned char>(c)) != 0, upperCase);
            }
        }
        const unsigned count = Hex(line, 1, 2);
        const unsigned address = Hex(line, 3, 4);
        const unsigned type = Hex(line, 7, 2);
        ASSERT_EQ(line.size(), 11 + 2 * count);
        if (type == 0x04) {
            ASSERT_EQ(count, 2u);
            const unsigned value = Hex(line, 9, 4);
            EXPECT_NE(value, upper) << "an address record that changes nothing";
            EXPECT_TRUE(dataSinceAddress) << "two address records in a row";
            upper = value;
            dataSinceAddress = false;
        } else {
            ASSERT_EQ(type, 0x00u) << "only data and linear address records are written";
            EXPECT_GE(count, 1u);
            EXPECT_LE(count, static_cast<unsigned>(recordSize));
            EXPECT_LE(address + count, 0x10000u) << "a record across a 64 KiB boundary";
            dataSinceAddress = true;
        }
    }
}

TEST(FormatIntelHexSrecCatTest, RandomSparseImagesComeBackByteForByte) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        const int sizes[] = {1, 255, 16, 2};
        const int recordSize =
            seed <= 4 ? sizes[seed - 1] : std::uniform_int_distribution<int>(1, 255)(rng);
        const bool upperCase = seed % 2 == 0;
        const ByteMap image = RandomImage(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", records of " + std::to_string(recordSize) +
                     (upperCase ? ", upper case" : ", lower case"));

        const std::string text = FormatIntelHex(image, recordSize, upperCase);
        ExpectWellFormed(text, recordSize, upperCase);

        const SrecCatReading reading = ReadWithSrecCat(text);
        ASSERT_EQ(reading.status, 0) << reading.diagnostics;
        EXPECT_EQ(reading.diagnostics, "") << "srec_cat warned";
        EXPECT_EQ(reading.problem, "");
        EXPECT_EQ(reading.bytes.size(), image.size());
        EXPECT_TRUE(reading.bytes == image) << FirstDifference(image, reading.bytes);
    }
}

// The edges on their own: one byte at address 0, the last byte below and the first above every
// boundary up to 16 MiB, and the very last address.
TEST(FormatIntelHexSrecCatTest, BoundaryBytesComeBack) {
    ByteMap image = {{0x00000000u, 0x00}, {0xFFFFFFFFu, 0xFF}};
    for (uint32_t boundary = 0x10000; boundary <= 0x01000000u; boundary <<= 1) {
        image[boundary - 1] = static_cast<uint8_t>(boundary >> 16);
        image[boundary] = static_cast<uint8_t>(~(boundary >> 16));
    }
    // A size a record cannot have is taken as the nearest one it can (0 would write empty
    // records for ever, 256 a wrong byte count).
    for (const int recordSize : {1, 255, 0, -5, 256, 1000}) {
        SCOPED_TRACE(recordSize);
        const int effective = std::clamp(recordSize, 1, 255);
        const std::string text = FormatIntelHex(image, recordSize, effective == 1);
        ExpectWellFormed(text, effective, effective == 1);
        const SrecCatReading reading = ReadWithSrecCat(text);
        ASSERT_EQ(reading.status, 0) << reading.diagnostics;
        EXPECT_EQ(reading.diagnostics, "");
        EXPECT_TRUE(reading.bytes == image) << FirstDifference(image, reading.bytes);
    }
}

}  // namespace
}  // namespace tamrix
