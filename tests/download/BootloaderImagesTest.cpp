// The bootloader images compiled into the program: their loading contract and every documented
// trait, checked on the compiled-in bytes.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/BootloaderImages.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "tests/download/TempDir.h"

namespace tamrix {
namespace {

struct ImageTraits {
    uint16_t id;
    int size;
    int lines;
    int dataRecords;
    uint32_t lastAddress;
    uint16_t productCode;
    uint16_t version;
};

const ImageTraits kTraits[] = {
    {165, 57420, 1304, 1272, 0x62D3, 0x3A34, 0x08FC},
    {166, 57420, 1304, 1272, 0x62D3, 0x3A35, 0x08FC},
    {167, 57420, 1304, 1272, 0x62D3, 0x3A3E, 0x08FC},
    {170, 70453, 1601, 1562, 0x74AF, 0x3E80, 0x05DC},
    {171, 70400, 1600, 1561, 0x749B, 0x3E8A, 0x05DC},
};

std::string ImageText(uint16_t id) {
    const EmbeddedBootloaderImage* image = FindBootloaderImage(id);
    if (image == nullptr)
        return std::string();
    return std::string(reinterpret_cast<const char*>(image->bytes), image->size);
}

// What reading an image record by record finds.
struct ImageScan {
    int lines = 0;
    int dataRecords = 0;
    int extendedRecords = 0;
    int endRecords = 0;
    bool endRecordLast = false;
    std::vector<std::string> faults;
    std::map<uint32_t, uint8_t> bytes;  // HEX byte address -> data byte
};

ImageScan Scan(const std::string& text) {
    ImageScan scan;
    CHexLineReader reader(text.data(), static_cast<int>(text.size()));
    HexLine line;
    uint32_t upper = 0;
    bool previousWasShort = false;
    while (reader.Next(line)) {
        ++scan.lines;
        const std::string where = "line " + std::to_string(line.number) + ": ";
        HexRecord record;
        if (ParseHexRecord(line, record) != HexRecordError::None) {
            scan.faults.push_back(where + "bad record");
            continue;
        }
        if (previousWasShort && record.type == kHexData) {
            scan.faults.push_back(where + "a short record is not the last of its run");
        }
        previousWasShort = false;
        const std::string digits(line.text.substr(1));
        const bool lowerCase =
            std::none_of(digits.begin(), digits.end(), [](char c) { return c >= 'A' && c <= 'F'; });
        if (record.type == kHexEndOfFile) {
            ++scan.endRecords;
            if (line.text != ":00000001FF")
                scan.faults.push_back(where + "end record");
            scan.endRecordLast = true;
            continue;
        }
        scan.endRecordLast = false;
        if (!lowerCase)
            scan.faults.push_back(where + "upper-case digits");
        if (record.type == kHexExtendedLinear) {
            ++scan.extendedRecords;
            upper = static_cast<uint32_t>(record.Digits4(0)) << 16;
            if (upper != 0)
                scan.faults.push_back(where + "upper address not 0x0000");
        } else if (record.type == kHexData) {
            ++scan.dataRecords;
            const int n = record.byteCount;
            if (n != 16 && n != 12 && n != 8 && n != 4) {
                scan.faults.push_back(where + "record length " + std::to_string(n));
            }
            previousWasShort = n < 16;
            for (int k = 0; k < n; ++k) {
                scan.bytes[upper + static_cast<uint32_t>(record.address + k)] = record.DataByte(k);
            }
        } else {
            scan.faults.push_back(where + "record type " + std::to_string(record.type));
        }
    }
    return scan;
}

uint16_t WordAt(const std::map<uint32_t, uint8_t>& bytes, uint32_t address) {
    return static_cast<uint16_t>(bytes.at(address) | bytes.at(address + 1) << 8);
}

TEST(BootloaderImages, EveryImageHasItsDocumentedTraits) {
    for (const ImageTraits& t : kTraits) {
        SCOPED_TRACE("image " + std::to_string(t.id));
        const std::string text = ImageText(t.id);
        ASSERT_EQ(static_cast<int>(text.size()), t.size);

        // CR LF after every line and nowhere else.
        size_t crlf = 0;
        for (size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at + 2)) {
            ++crlf;
        }
        EXPECT_EQ(crlf, static_cast<size_t>(t.lines));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), t.lines);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), t.lines);
        EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");

        const ImageScan scan = Scan(text);
        EXPECT_TRUE(scan.faults.empty()) << scan.faults.front();
        EXPECT_EQ(scan.lines, t.lines);
        EXPECT_EQ(scan.dataRecords, t.dataRecords);
        EXPECT_EQ(scan.extendedRecords, t.lines - t.dataRecords - 1);
        EXPECT_EQ(scan.endRecords, 1);
        EXPECT_TRUE(scan.endRecordLast);

        // Exactly the three stretches, nothing between or beyond them.
        std::vector<uint32_t> expected;
        for (uint32_t a = 0x0000; a <= 0x01FF; ++a)
            expected.push_back(a);
        for (uint32_t a = 0x0208; a <= 0x03FF; ++a)
            expected.push_back(a);
        for (uint32_t a = 0x1800; a <= t.lastAddress; ++a)
            expected.push_back(a);
        std::vector<uint32_t> present;
        for (const auto& [address, byte] : scan.bytes)
            present.push_back(address);
        EXPECT_EQ(present, expected);

        // Reset vector: GOTO 0x000C04, i.e. 0x040C04 then 0x000000, low byte first.
        const std::vector<uint8_t> reset = {0x04, 0x0C, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
        for (uint32_t a = 0; a < reset.size(); ++a)
            EXPECT_EQ(scan.bytes.at(a), reset[a]) << a;

        EXPECT_EQ(WordAt(scan.bytes, 0x1800), t.productCode);
        EXPECT_EQ(WordAt(scan.bytes, 0x1804), t.version);
        EXPECT_EQ(scan.bytes.at(0x1806), 0);  // upper byte 0: the version flag reads 1

        int phantom = 0;
        for (const auto& [address, byte] : scan.bytes) {
            if (address % 4 == 3 && byte != 0)
                ++phantom;
        }
        EXPECT_EQ(phantom, 0);
    }
}

std::vector<uint32_t> Differences(uint16_t a, uint16_t b) {
    const ImageScan first = Scan(ImageText(a));
    const ImageScan second = Scan(ImageText(b));
    std::vector<uint32_t> differ;
    for (const auto& [address, byte] : first.bytes) {
        const auto other = second.bytes.find(address);
        if (other != second.bytes.end() && other->second != byte)
            differ.push_back(address);
    }
    return differ;
}

TEST(BootloaderImages, VariantsDifferWhereTheyShould) {
    // 165 and 166: the same bootloader, the product code's low byte apart.
    EXPECT_EQ(Differences(165, 166), std::vector<uint32_t>{0x1800});

    // 167: its product code plus 861 code bytes between 0x2529 and 0x4FC5.
    std::vector<uint32_t> code = Differences(165, 167);
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(code.front(), 0x1800u);
    code.erase(code.begin());
    ASSERT_EQ(code.size(), 861u);
    EXPECT_EQ(code.front(), 0x2529u);
    EXPECT_EQ(code.back(), 0x4FC5u);

    // The second family shares nothing of the first one's code.
    const std::vector<uint32_t> families = Differences(165, 170);
    const size_t code165 = 0x62D4 - 0x1808;
    const size_t phantoms = code165 / 4;
    EXPECT_GT(families.size(), (code165 - phantoms) * 9 / 10);
}

TEST(BootloaderImages, CompiledInBytesAreTheResourceFiles) {
    for (const ImageTraits& t : kTraits) {
        const std::string path =
            std::string(TAMRIX_BOOTLOADER_DIR) + "/bootloader-" + std::to_string(t.id) + ".hex";
        const std::vector<uint8_t> file = test::ReadWholeFile(path);
        const std::string text = ImageText(t.id);
        EXPECT_EQ(std::string(file.begin(), file.end()), text) << path;
    }
    size_t count = 0;
    EmbeddedBootloaderImages(count);
    EXPECT_EQ(count, std::size(kTraits));
}

TEST(LoadBootloaderImage, CopiesTheImageWithoutATerminator) {
    std::vector<uint8_t> buffer(kImageBufferSize, 0);
    int imageSize = 0;
    ASSERT_TRUE(LoadBootloaderImage(buffer.data(), 165, imageSize));
    EXPECT_EQ(imageSize, 57420);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + imageSize), ImageText(165));
    EXPECT_TRUE(
        std::all_of(buffer.begin() + imageSize, buffer.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::string(buffer.begin() + imageSize - 13, buffer.begin() + imageSize),
              ":00000001FF\r\n");

    std::fill(buffer.begin(), buffer.end(), 0);
    ASSERT_TRUE(LoadBootloaderImage(buffer.data(), 171, imageSize));
    EXPECT_EQ(imageSize, 70400);
    std::fill(buffer.begin(), buffer.end(), 0);
    ASSERT_TRUE(LoadBootloaderImage(buffer.data(), 170, imageSize));
    EXPECT_EQ(imageSize, 70453);
}

TEST(LoadBootloaderImage, AnUnknownIdLeavesBufferAndSizeAlone) {
    std::vector<uint8_t> buffer(kImageBufferSize, 0xA5);
    int imageSize = 1234;
    for (uint16_t id : {0, 164, 168, 169, 172, 0xFFFF}) {
        EXPECT_FALSE(LoadBootloaderImage(buffer.data(), id, imageSize)) << id;
        EXPECT_EQ(FindBootloaderImage(id), nullptr) << id;
    }
    EXPECT_EQ(imageSize, 1234);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xA5; }));
}

}  // namespace
}  // namespace tamrix
