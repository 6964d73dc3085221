// Building the SAM image and filling it from Intel HEX text: the row layout, what each record
// type does, out-of-range bytes, and damaged or unusually formatted text.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "image/IntelHex.h"
#include "image/MemorySAM.h"
#include "platform/Clock.h"
#include "programmer/ProgramerSAM.h"
#include "tests/sam/SamTarget.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::HexLineOf;
using test::HexText;
using test::RecordingWindow;

constexpr const char* kReading = "[Message] : Reading HexFile \r\n";

class SamHexLoadTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    CProgramerSAM programmer{&channel, clock, &window};

    void SetUp() override { programmer.BuildMemoryMap(103); }

    int Load(const std::string& text) {
        return programmer.LoadHexBuffer(text.data(), static_cast<int>(text.size()));
    }
    const CMemory& Row(int index) const { return *programmer.Rows()[static_cast<size_t>(index)]; }

    // Indices of the rows that hold data.
    std::vector<int> FilledRows() const {
        std::vector<int> filled;
        for (int i = 0; i < kSamRowCount; ++i) {
            if (Row(i).isEmpty == 0)
                filled.push_back(i);
        }
        return filled;
    }
};

std::string OutOfRange(unsigned address) {
    char text[80];
    std::snprintf(text, sizeof text, "[Notice] : Hex file 0x%xAddress out of range\r\n", address);
    return text;
}

TEST_F(SamHexLoadTest, TheImageHas644RowsInProgramEepromFuseOrder) {
    const auto& rows = programmer.Rows();
    ASSERT_EQ(rows.size(), 644u);
    const struct {
        int index, kind, rowIndex, wordCount, base;
    } expected[] = {
        {0, kRowProgram, 0, 128, 0x0000},   {511, kRowProgram, 511, 128, 0xFF80},
        {512, kRowEeprom, 0, 128, 0x10000}, {639, kRowEeprom, 127, 128, 0x13F80},
        {640, kRowConfig, 0, 4, 0x20000},   {641, kRowConfig, 1, 4, 0x20001},
        {643, kRowConfig, 3, 4, 0x20003},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.index);
        const CMemory& row = Row(e.index);
        EXPECT_EQ(row.kind, e.kind);
        EXPECT_EQ(row.rowIndex, e.rowIndex);
        EXPECT_EQ(row.wordCount, e.wordCount);
        EXPECT_EQ(row.baseAddress, e.base);
        EXPECT_EQ(row.family, 103);
        EXPECT_EQ(row.isEmpty, 1);
        EXPECT_EQ(row.packed.size(), static_cast<size_t>(e.wordCount));
    }
}

TEST_F(SamHexLoadTest, DataRecordsFillSlotsAndReadTargetDataPacksThem) {
    ASSERT_EQ(Load(HexLineOf(kHexData, 0x0000, {0x12, 0x34, 0x56, 0x78}) + ":00000001FF\r\n"), 1);
    EXPECT_EQ(FilledRows(), std::vector<int>{0});
    EXPECT_EQ(Row(0).words[3], 0x78);
    EXPECT_EQ(Row(0).words[4], kEmptySlot);

    ASSERT_EQ(programmer.ReadTargetData(103), 1);
    std::vector<uint8_t> packed(128, 0xFF);
    packed[0] = 0x12, packed[1] = 0x34, packed[2] = 0x56, packed[3] = 0x78;
    EXPECT_EQ(Row(0).packed, packed);
    EXPECT_EQ(programmer.ReadTargetDataSmallRow(), 1);
    EXPECT_EQ(window.StatusLines(),
              (std::vector<std::string>{kReading, "[Message] : Reading Target Data..\r\n",
                                        "[Message] : Reading Target Data..\r\n"}));
    EXPECT_TRUE(channel.events.empty());  // a SAM target is never read
}

TEST_F(SamHexLoadTest, ExtendedAddressRecordsMoveTheBase) {
    const std::string text =
        HexLineOf(kHexExtendedLinear, 0, {0x00, 0x01}) + HexLineOf(kHexData, 0x0000, {0xE0}) +
        HexLineOf(kHexData, 0x3F80, {0xEF}) +
        HexLineOf(kHexExtendedSegment, 0, {0x20, 0x00}) +  // 0x20000
        HexLineOf(kHexData, 0x0002, {0xF2}) + HexLineOf(kHexExtendedLinear, 0, {0x00, 0x00}) +
        HexLineOf(kHexData, 0x0100, {0x01}) + ":00000001FF\r\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(FilledRows(), (std::vector<int>{2, 512, 639, 640}));
    EXPECT_EQ(Row(512).words[0], 0xE0);
    EXPECT_EQ(Row(639).words[0], 0xEF);
    EXPECT_EQ(Row(640).words[2], 0xF2);
    EXPECT_EQ(programmer.MaxAddress(), 0x100);  // EEPROM and fuse bytes do not count
}

// Past the end of its segment a record continues at the segment's start: program bytes stay in
// program memory instead of landing in EEPROM (or, from segment 0x1000 on, in the fuses).
TEST_F(SamHexLoadTest, ARecordPastTheEndOfItsSegmentWrapsToTheSegmentStart) {
    std::vector<uint8_t> data(16);
    for (size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<uint8_t>(0x10 + k);
    const std::string text = HexLineOf(kHexExtendedSegment, 0, {0x00, 0x00}) +
                             HexLineOf(kHexData, 0xFFFF, data) + ":00000001FF\r\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(FilledRows(), (std::vector<int>{0, 511}));
    EXPECT_EQ(Row(511).words[127], 0x10);
    for (int k = 0; k < 15; ++k)
        EXPECT_EQ(Row(0).words[k], 0x11 + k) << k;
    EXPECT_EQ(Row(0).words[15], kEmptySlot);
    EXPECT_EQ(programmer.MaxAddress(), 0xFFFF);
}

// The target has four fuse bytes, and a fuse frame carries no address: a fuse row that took a byte
// above 0x20003 would be sent after row 0 and overwrite the fuses with FF FF FF and that byte.
// Such a file is refused before anything is written.
TEST_F(SamHexLoadTest, FuseDataBeyondTheFourFuseBytesIsRefused) {
    std::map<uint32_t, uint8_t> bytes;
    for (uint32_t a = 0x20000; a <= 0x20003; ++a)
        bytes[a] = static_cast<uint8_t>(0xA0 + a - 0x20000);
    ASSERT_EQ(Load(HexText(bytes)), 1);
    EXPECT_EQ(FilledRows(), (std::vector<int>{640}));
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(Row(640).words[slot], 0xA0 + slot);

    for (uint32_t beyond : {0x20004u, 0x20005u, 0x20006u}) {
        SCOPED_TRACE(beyond);
        CProgramerSAM fresh(&channel, clock, &window);
        fresh.BuildMemoryMap(103);
        window.events.clear();
        bytes[beyond] = 0x77;
        const std::string text = HexText(bytes);
        bytes.erase(beyond);
        EXPECT_EQ(fresh.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 0);
        EXPECT_EQ(window.StatusLines(), (std::vector<std::string>{kReading, OutOfRange(beyond)}));
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(fresh.Rows()[static_cast<size_t>(640 + n)]->isEmpty, 1);
    }
}

TEST_F(SamHexLoadTest, BytesOutsideEveryRowAreNoticedOneByOneAndFailTheLoad) {
    for (unsigned address : {0x20004u, 0x20007u, 0x14000u, 0x1FFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(address);
        window.events.clear();
        EXPECT_EQ(Load(HexText({{address, 0x11}})), 0);
        EXPECT_EQ(window.StatusLines(), (std::vector<std::string>{kReading, OutOfRange(address)}));
    }
    EXPECT_TRUE(FilledRows().empty());

    // A record that crosses the end of the EEPROM: the bytes inside are stored, each one outside
    // gets its own notice, the rest of the record is still offered, and the load fails after it.
    window.events.clear();
    const std::string text = HexLineOf(kHexExtendedLinear, 0, {0x00, 0x01}) +
                             HexLineOf(kHexData, 0x3FFE, {1, 2, 3, 4}) +
                             HexLineOf(kHexExtendedLinear, 0, {0x00, 0x02}) +
                             HexLineOf(kHexData, 0x0000, {5});  // never reached
    EXPECT_EQ(Load(text), 0);
    EXPECT_EQ(window.StatusLines(),
              (std::vector<std::string>{kReading, OutOfRange(0x14000), OutOfRange(0x14001)}));
    EXPECT_EQ(Row(639).words[126], 1);
    EXPECT_EQ(Row(639).words[127], 2);
    EXPECT_EQ(Row(640).isEmpty, 1);

    // Refused bytes first, accepted ones after them in the same record.
    window.events.clear();
    EXPECT_EQ(Load(HexLineOf(kHexExtendedLinear, 0, {0x00, 0x01}) +
                   HexLineOf(kHexData, 0xFFFE, {7, 8, 9})),
              0);
    EXPECT_EQ(Row(640).words[0], 9);
}

TEST_F(SamHexLoadTest, RecordsAfterTheEndOrNoEndStartAddressesAndUnknownTypesFailTheLoad) {
    {
        // A file cut short, or put together wrongly, is never half programmed.
        SCOPED_TRACE("data after the end-of-file record, and no end record");
        EXPECT_EQ(Load(HexLineOf(kHexData, 0x0000, {1}) + ":00000001FF\r\n" +
                       HexLineOf(kHexData, 0x0200, {2})),
                  0);
        EXPECT_EQ(window.StatusLines().back(), HexRecordAfterEndText(3));
        EXPECT_EQ(Row(4).isEmpty, 1);
        window.events.clear();
        EXPECT_EQ(Load(HexLineOf(kHexData, 0x0200, {2})), 0);
        EXPECT_EQ(window.StatusLines(), (std::vector<std::string>{kReading, HexMissingEndText()}));
    }
    for (int type : {kHexStartSegment, kHexStartLinear}) {
        SCOPED_TRACE(type);
        window.events.clear();
        EXPECT_EQ(Load(HexLineOf(type, 0, {0, 0, 0, 0}) + HexLineOf(kHexData, 0x0300, {3})), 0);
        EXPECT_EQ(window.StatusLines(), std::vector<std::string>{kReading});
        EXPECT_EQ(Row(6).isEmpty, 1);
    }
    {
        SCOPED_TRACE("unknown record type");
        window.events.clear();
        EXPECT_EQ(Load(HexLineOf(0x06, 0, {1}) + HexLineOf(kHexData, 0x0300, {3})), 0);
        EXPECT_EQ(window.StatusLines(),
                  (std::vector<std::string>{kReading, "[Error] : Unknown hex record type!!!\r\n"}));
        EXPECT_EQ(Row(6).isEmpty, 1);
    }
}

TEST_F(SamHexLoadTest, MaxAddressCountsProgramBytesOnlyAndIsNeverReset) {
    ASSERT_EQ(Load(HexText({{0x0000, 1}})), 1);
    EXPECT_EQ(programmer.MaxAddress(), 0);
    ASSERT_EQ(Load(HexText({{0x1234, 1}, {0x13000, 2}, {0x20001, 3}})), 1);
    EXPECT_EQ(programmer.MaxAddress(), 0x1234);
    ASSERT_EQ(Load(HexText({{0x0010, 1}})), 1);
    EXPECT_EQ(programmer.MaxAddress(), 0x1234);
}

TEST_F(SamHexLoadTest, LineEndsAndRecordLengthsDoNotChangeTheImage) {
    std::map<uint32_t, uint8_t> bytes;
    for (uint32_t a = 0; a < 600; ++a)
        bytes[0x0F00 + a] = static_cast<uint8_t>(a * 7);
    bytes[0x10005] = 0x99;
    bytes[0x20003] = 0x66;
    const std::string crlf = HexText(bytes, 16);

    auto imageOf = [&](const std::string& text) {
        CProgramerSAM sam(&channel, clock, &window);
        sam.BuildMemoryMap(101);
        EXPECT_EQ(sam.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 1);
        std::vector<std::vector<uint16_t>> image;
        for (const auto& row : sam.Rows()) {
            image.emplace_back(row->words, row->words + row->wordCount);
            image.back().push_back(static_cast<uint16_t>(row->isEmpty));
        }
        return image;
    };
    std::string lfOnly, noFinalEnd;
    for (char c : crlf) {
        if (c != '\r')
            lfOnly += c;
    }
    noFinalEnd = crlf.substr(0, crlf.size() - 2);

    const auto reference = imageOf(crlf);
    EXPECT_EQ(imageOf(lfOnly), reference);
    EXPECT_EQ(imageOf(noFinalEnd), reference);
    EXPECT_EQ(imageOf(HexText(bytes, 255)), reference);  // records far beyond 256 characters
    EXPECT_EQ(imageOf(HexText(bytes, 1)), reference);
    EXPECT_EQ(reference[30][1], 7);                                 // 0x0F01
    EXPECT_EQ(reference[34][0x57], static_cast<uint8_t>(599 * 7));  // 0x1157
    EXPECT_EQ(reference[34][0x58], kEmptySlot);
}

TEST_F(SamHexLoadTest, ADamagedRecordStopsTheLoadNamingItsLine) {
    const std::string good1 = HexLineOf(kHexData, 0x0000, {1, 2});
    const std::string good3 = HexLineOf(kHexData, 0x0100, {3});
    std::string badChecksum = HexLineOf(kHexData, 0x0080, {0xAA, 0xBB});
    badChecksum[badChecksum.size() - 3] ^= 1;  // last checksum digit
    std::string badDigit = HexLineOf(kHexData, 0x0080, {0xAA, 0xBB});
    badDigit[10] = 'G';
    const std::string badLength = ":03008000AABB18\r\n";  // says three bytes, holds two

    const struct {
        std::string line;
        HexRecordError error;
    } cases[] = {{badChecksum, HexRecordError::BadChecksum},
                 {badDigit, HexRecordError::BadDigit},
                 {badLength, HexRecordError::BadLength}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CProgramerSAM sam(&channel, clock, &window);
        sam.BuildMemoryMap(101);
        window.events.clear();
        const std::string text = good1 + c.line + good3;
        EXPECT_EQ(sam.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 0);
        EXPECT_EQ(window.StatusLines(),
                  (std::vector<std::string>{kReading, HexRecordErrorText(2, c.error)}));
        EXPECT_EQ(sam.Rows()[0]->words[1], 2);  // before the damage: kept
        EXPECT_EQ(sam.Rows()[1]->isEmpty, 1);   // the damaged record: not placed
        EXPECT_EQ(sam.Rows()[2]->isEmpty, 1);   // after it: not read
    }
}

TEST_F(SamHexLoadTest, LoadHexFileReadsTheNamedFileLikeABuffer) {
    const std::string path = ::testing::TempDir() + "sam_load_test.hex";
    {
        std::ofstream out(path, std::ios::binary);
        out << ":0400000012345678E8\n:020000040001F9\n:01000500AA50\n:00000001FF";  // LF
    }
    programmer.SetHexFilePath(path);
    ASSERT_EQ(programmer.LoadHexFile(), 1);
    EXPECT_EQ(FilledRows(), (std::vector<int>{0, 512}));
    EXPECT_EQ(Row(0).words[0], 0x12);
    EXPECT_EQ(Row(512).words[5], 0xAA);
    std::remove(path.c_str());

    // A file that cannot be opened: the reading line, result 0, progress back to 0.
    test::SamTarget target;
    target.Attach(channel);
    ASSERT_TRUE(programmer.ProgramFlash(0));  // leaves progress at 100
    ASSERT_EQ(programmer.Progress(), 100);
    window.events.clear();
    programmer.SetHexFilePath(path);
    EXPECT_EQ(programmer.LoadHexFile(), 0);
    EXPECT_EQ(programmer.Progress(), 0);
    EXPECT_EQ(window.StatusLines(), std::vector<std::string>{kReading});
}

}  // namespace
}  // namespace tamrix
