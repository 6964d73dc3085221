// Walking the records of an Intel HEX text: the base address and the end record kept by the
// walker, where it stops, and the byte-image reader (used by the simulated product, tamrix-cli and
// the tests) that refuses what a loader must refuse.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "image/IntelHex.h"

namespace tamrix {
namespace {

const std::string kEnd = ":00000001FF\r\n";

std::string Record(int type, uint16_t address, const std::vector<uint8_t>& data) {
    return FormatHexRecord(type, address, data.data(), static_cast<int>(data.size()));
}

// Notes what it is told, as "D@address", "A:type" (after the end) and "O:type".
class CRecorder : public CHexRecordVisitor {
  public:
    bool OnAfterEnd(const HexRecord& record) override {
        seen.push_back("A:" + std::to_string(record.type));
        return afterEnd;
    }
    bool OnData(const HexRecord& record, uint32_t extended) override {
        seen.push_back("D@" + std::to_string(extended + static_cast<uint32_t>(record.address)));
        return true;
    }
    bool OnOther(const HexRecord& record) override {
        seen.push_back("O:" + std::to_string(record.type));
        return other;
    }

    std::vector<std::string> seen;
    bool afterEnd = true;
    bool other = true;
};

TEST(HexWalkTest, TheWalkerKeepsTheBaseAddressAndTheEndRecordAndStopsWhereItIsTold) {
    const std::string text =
        Record(kHexData, 0x0010, {1}) + Record(kHexExtendedLinear, 0, {0, 1}) +
        Record(kHexData, 0x0002, {2}) + Record(kHexStartLinear, 0, {0, 0, 0, 0}) + kEnd +
        Record(kHexExtendedSegment, 0, {0x10, 0}) + Record(kHexData, 0x0001, {3});
    CRecorder all;
    HexWalkResult walk = WalkHexRecords(text.data(), static_cast<int>(text.size()), all);
    EXPECT_EQ(walk.end, HexWalkEnd::TextEnd);
    EXPECT_TRUE(walk.sawEnd);
    EXPECT_EQ(all.seen,
              (std::vector<std::string>{"D@16", "D@65538", "O:5", "A:2", "A:0", "D@65537"}));

    CRecorder refusesAfterEnd;
    refusesAfterEnd.afterEnd = false;
    walk = WalkHexRecords(text.data(), static_cast<int>(text.size()), refusesAfterEnd);
    EXPECT_EQ(walk.end, HexWalkEnd::Stopped);
    EXPECT_EQ(walk.lineNumber, 6);

    CRecorder refusesOthers;
    refusesOthers.other = false;
    walk = WalkHexRecords(text.data(), static_cast<int>(text.size()), refusesOthers);
    EXPECT_EQ(walk.end, HexWalkEnd::Stopped);
    EXPECT_EQ(walk.lineNumber, 4);
    EXPECT_FALSE(walk.sawEnd);

    std::string damaged = text;
    damaged[damaged.find(":0100") + 9] = 'G';  // a digit of the first data record
    CRecorder none;
    walk = WalkHexRecords(damaged.data(), static_cast<int>(damaged.size()), none);
    EXPECT_EQ(walk.end, HexWalkEnd::BadRecord);
    EXPECT_EQ(walk.fault, HexRecordError::BadDigit);
    EXPECT_EQ(walk.lineNumber, 1);
    EXPECT_TRUE(none.seen.empty());

    walk = WalkHexRecords(nullptr, 100, none);
    EXPECT_EQ(walk.end, HexWalkEnd::TextEnd);
    EXPECT_FALSE(walk.sawEnd);
}

TEST(HexWalkTest, TheByteImageReaderRefusesAMissingEndAndAnythingAfterIt) {
    const std::string body = Record(kHexExtendedLinear, 0, {0, 2}) +
                             Record(kHexData, 0x0004, {7, 8}) +
                             Record(kHexStartLinear, 0, {0, 0, 0, 0}) + Record(0x07, 0, {});
    std::map<uint32_t, uint8_t> image;
    std::string error;
    ASSERT_TRUE(ParseIntelHex((body + kEnd).data(), static_cast<int>(body.size() + kEnd.size()),
                              image, &error));
    EXPECT_EQ(image, (std::map<uint32_t, uint8_t>{{0x20004, 7}, {0x20005, 8}}))
        << "start and unknown records are passed over";

    const auto refusal = [](const std::string& text) {
        std::map<uint32_t, uint8_t> bytes;
        std::string why;
        EXPECT_FALSE(ParseIntelHex(text.data(), static_cast<int>(text.size()), bytes, &why));
        return why;
    };
    EXPECT_EQ(refusal(body), HexMissingEndText());
    EXPECT_EQ(refusal(body + kEnd + Record(kHexData, 0, {1})), HexRecordAfterEndText(6));
    EXPECT_EQ(refusal(body + kEnd + ":00000001FE\r\n"), HexRecordAfterEndText(6))
        << "after the end even a damaged record is one too many";
    EXPECT_EQ(refusal(":0100000001FF\r\n" + kEnd),
              HexRecordErrorText(1, HexRecordError::BadChecksum));
}

// Past offset 0xFFFF a segment address wraps to the start of its segment, while a linear one
// goes on into the next 64 KiB, and from the top of 4 GiB back to 0 (srec_cat reads these texts
// the same way). Placing a segment's wrapped bytes after its end put a SAM program's bytes into
// EEPROM and a PIC program's words 32 K addresses too high.
TEST(HexWalkTest, ARecordPastOffsetFFFFWrapsInItsSegmentAndGoesOnInLinearAddressing) {
    const auto image = [](const std::string& records) {
        const std::string text = records + kEnd;
        std::map<uint32_t, uint8_t> bytes;
        EXPECT_TRUE(ParseIntelHex(text.data(), static_cast<int>(text.size()), bytes));
        return bytes;
    };
    const std::string data = Record(kHexData, 0xFFFE, {1, 2, 3, 4});
    EXPECT_EQ(
        image(Record(kHexExtendedSegment, 0, {0x10, 0x00}) + data),
        (std::map<uint32_t, uint8_t>{{0x1FFFE, 1}, {0x1FFFF, 2}, {0x10000, 3}, {0x10001, 4}}));
    EXPECT_EQ(
        image(Record(kHexExtendedLinear, 0, {0x00, 0x01}) + data),
        (std::map<uint32_t, uint8_t>{{0x1FFFE, 1}, {0x1FFFF, 2}, {0x20000, 3}, {0x20001, 4}}));
    EXPECT_EQ(image(data),
              (std::map<uint32_t, uint8_t>{{0xFFFE, 1}, {0xFFFF, 2}, {0x10000, 3}, {0x10001, 4}}))
        << "before any address record the addressing is linear";
    EXPECT_EQ(image(Record(kHexExtendedLinear, 0, {0xFF, 0xFF}) + data),
              (std::map<uint32_t, uint8_t>{{0xFFFFFFFE, 1}, {0xFFFFFFFF, 2}, {0, 3}, {1, 4}}));

    // A reader sees such a record as its two parts, each within one 64 KiB window.
    const std::string segment = Record(kHexExtendedSegment, 0, {0x10, 0x00}) + data;
    CRecorder parts;
    WalkHexRecords(segment.data(), static_cast<int>(segment.size()), parts);
    EXPECT_EQ(parts.seen, (std::vector<std::string>{"D@131070", "D@65536"}));
}

}  // namespace
}  // namespace tamrix
