// Intel HEX text into the PIC image: address conversion, record types, odd and partial records,
// and the refusal of damaged text.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "common/Format.h"
#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::Data;
using test::kEndRecord;
using test::Linear;
using test::PicRig;
using test::Record;

const std::string kReading = "[Message] : Reading HexFile \r\n";

TEST(PicHexLoadTest, WordsLandAtHalfTheByteAddress) {
    PicRig rig;
    std::vector<uint8_t> data = {0x34, 0x12, 0x00, 0x00};
    data.resize(16, 0x00);
    const std::string text = Data(0x1800, data) + Record(kHexExtendedSegment, 0, {0x10, 0x00}) +
                             Data(0x0010, {0xAB, 0xCD}) + Linear(0x0001) +
                             Data(0x0000, {0x01, 0x02, 0x03, 0x04}) + kEndRecord;
    EXPECT_EQ(rig.Load(text), 1);
    EXPECT_EQ(rig.window.StatusLines(), std::vector<std::string>{kReading});

    // The slot is the digits as they stand: first data byte high.
    EXPECT_EQ(rig.programmer.GetImageWord(0x0C00), 0x3412);
    EXPECT_EQ(rig.programmer.GetImageProductCode(), 0x3412);
    EXPECT_EQ(rig.programmer.GetImageWord(0x0C01), 0x0000);
    EXPECT_EQ(rig.programmer.GetImageWord(0x0C07), 0x0000);
    EXPECT_EQ(rig.programmer.GetImageWord(0x0C08), 0xFFFF) << "same row, not in the file";
    EXPECT_EQ(rig.programmer.GetImageWord(0x0000), 0) << "a row the file did not touch";
    // Extended segment 0x1000 * 16 + 0x10 = byte 0x10010, device 0x8008.
    EXPECT_EQ(rig.programmer.GetImageWord(0x8008), 0xABCD);
    // Extended linear 0x0001: byte 0x10000, device 0x8000.
    EXPECT_EQ(rig.programmer.GetImageWord(0x8000), 0x0102);
    EXPECT_EQ(rig.programmer.GetImageWord(0x8001), 0x0304);
    EXPECT_EQ(rig.programmer.MaxAddress(), 0x8008);
}

TEST(PicHexLoadTest, EepromAndConfigurationRangesAndMaxAddress) {
    PicRig rig(1);
    const std::string text = Linear(0x00FF) + Data(0xE000, {0xAA, 0xBB, 0x00, 0x00}) +
                             Linear(0x01F0) + Data(0x0000, {0xEF, 0x01, 0x02, 0x00}) +
                             Linear(0x0000) + Data(0x0100, {0x11, 0x22, 0x33, 0x00}) + kEndRecord;
    EXPECT_EQ(rig.Load(text), 1);
    EXPECT_EQ(rig.programmer.GetImageWord(0x7FF000), 0xAABB);
    EXPECT_EQ(rig.programmer.GetImageWord(0xF80000), 0xEF01);
    EXPECT_EQ(rig.programmer.GetImageWord(0xF80001), 0x0200);
    EXPECT_EQ(rig.Row(1536).isEmpty, 0);
    EXPECT_EQ(rig.Row(1664).isEmpty, 0);
    // Only program words move the 100 % mark.
    EXPECT_EQ(rig.programmer.MaxAddress(), 0x81);

    // It only grows: a later load of lower addresses leaves it.
    EXPECT_EQ(rig.Load(Data(0x0000, {1, 2, 3, 4}) + kEndRecord), 1);
    EXPECT_EQ(rig.programmer.MaxAddress(), 0x81);
    EXPECT_EQ(rig.programmer.GetImageWord(0x80), 0x1122) << "loads add to the image";
}

TEST(PicHexLoadTest, RecordTypes) {
    for (int type : {kHexStartSegment, kHexStartLinear}) {
        PicRig rig;
        const std::string text = Record(type, 0, {0, 0, 0, 0}) + Data(0, {0x12, 0x34}) + kEndRecord;
        EXPECT_EQ(rig.Load(text), 0);
        EXPECT_EQ(rig.window.StatusLines(), std::vector<std::string>{kReading});
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0) << "the load stops at the start record";
    }
    {
        PicRig rig;
        EXPECT_EQ(rig.Load(Record(0x06, 0, {0x12}) + Data(0, {0x12, 0x34}) + kEndRecord), 0);
        EXPECT_EQ(rig.window.StatusLines(),
                  (std::vector<std::string>{kReading, "[Error] : Unknown hex record type!!!\r\n"}));
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0);
    }
}

// A firmware text ends with its end record and nothing after it: a file cut short at a line end
// (a copy still in progress) has only good records, and half a firmware must never be written.
TEST(PicHexLoadTest, TextWithoutItsEndRecordOrWithRecordsAfterItIsRefused) {
    const std::string body = Data(0x0000, {0x12, 0x34, 0x56, 0x00}) + Linear(0x0001) +
                             Data(0x0000, {0x01, 0x02, 0x03, 0x00});
    {
        PicRig rig;
        EXPECT_EQ(rig.Load(body), 0);
        EXPECT_EQ(rig.window.StatusLines(),
                  (std::vector<std::string>{kReading, HexMissingEndText()}));
    }
    {
        // Line 2 follows the end record.
        PicRig rig;
        EXPECT_EQ(rig.Load(kEndRecord + Data(0x0000, {0x12, 0x34}) + kEndRecord), 0);
        EXPECT_EQ(rig.window.StatusLines(),
                  (std::vector<std::string>{kReading, HexRecordAfterEndText(2)}));
        EXPECT_NE(HexRecordAfterEndText(2).find("line 2"), std::string::npos);
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0) << "nothing after the end is placed";
    }
    {
        // Blank lines after the end record are no records.
        PicRig rig;
        EXPECT_EQ(rig.Load(body + kEndRecord + "\r\n\r\n"), 1);
    }
}

TEST(PicHexLoadTest, RecordsPlaceEveryByteAtItsOwnAddress) {
    PicRig rig;
    // 3 data bytes: the third is the upper byte of instruction 0; its phantom byte stays erased
    // (not the checksum digits that follow the data).
    EXPECT_EQ(rig.Load(Data(0x0000, {0x11, 0x22, 0x33}) + kEndRecord), 1);
    EXPECT_EQ(rig.programmer.GetImageWord(0), 0x1122);
    EXPECT_EQ(rig.programmer.GetImageWord(1), 0x33FF);
    EXPECT_EQ(rig.programmer.GetImageWord(2), 0xFFFF);

    // A record that ends on the low byte of instruction 2: its middle byte is not invented.
    PicRig shortRecord;
    EXPECT_EQ(shortRecord.Load(Data(0x0004, {0x11, 0x22, 0x33, 0x00, 0x44}) + kEndRecord), 1);
    EXPECT_EQ(shortRecord.programmer.GetImageWord(2), 0x1122);
    EXPECT_EQ(shortRecord.programmer.GetImageWord(4), 0x44FF);

    // Records at odd byte addresses, meeting inside the slots of earlier and later records.
    PicRig odd;
    const std::string text = Data(0x0000, {0x11, 0x22, 0x33}) + Data(0x0003, {0x00, 0x44, 0x55}) +
                             Data(0x0007, {0x00}) + Data(0x0009, {0x66}) + kEndRecord;
    EXPECT_EQ(odd.Load(text), 1);
    EXPECT_EQ(odd.programmer.GetImageWord(0), 0x1122);
    EXPECT_EQ(odd.programmer.GetImageWord(1), 0x3300);
    EXPECT_EQ(odd.programmer.GetImageWord(2), 0x4455);
    EXPECT_EQ(odd.programmer.GetImageWord(3), 0xFF00);
    EXPECT_EQ(odd.programmer.GetImageWord(4), 0xFF66);

    // A record without data places nothing, also at an odd address: it must not mark its row
    // as used (a used row is programmed whole, erasing what the target had there).
    PicRig empty(1);
    EXPECT_EQ(empty.Load(Data(0x0081, {}) + Data(0x0000, {0x11, 0x22, 0x33, 0x00}) + kEndRecord),
              1);
    EXPECT_EQ(empty.Row(1).isEmpty, 1) << "row 1 starts at byte address 0x80";
    EXPECT_EQ(empty.programmer.GetImageWord(0x40), 0);
}

// A record that runs past the end of its segment continues at the segment's start: its words
// there belong at the start, not 32 K device addresses higher.
TEST(PicHexLoadTest, ARecordPastTheEndOfItsSegmentWrapsToTheSegmentStart) {
    PicRig rig;
    const std::string text = Record(kHexExtendedSegment, 0, {0x00, 0x01}) +  // byte 0x10
                             Data(0xFFFC, {1, 2, 3, 4, 5, 6, 7, 8}) +
                             Record(kHexExtendedSegment, 0, {0x00, 0x00}) +
                             Data(0xFFFF, {0xAA, 0xBB, 0xCC}) + kEndRecord;
    ASSERT_EQ(rig.Load(text), 1);
    EXPECT_EQ(rig.programmer.GetImageWord(0x8006), 0x0102);  // bytes 0x1000C-0x1000F
    EXPECT_EQ(rig.programmer.GetImageWord(0x8007), 0x0304);
    EXPECT_EQ(rig.programmer.GetImageWord(0x0008), 0x0506);  // bytes 0x10-0x13
    EXPECT_EQ(rig.programmer.GetImageWord(0x0009), 0x0708);
    EXPECT_EQ(rig.programmer.GetImageWord(0x8008), 0xFFFF) << "nothing after the segment";
    // Byte 0xFFFF is the second half of device 0x7FFF; the next two open the segment again.
    EXPECT_EQ(rig.programmer.GetImageWord(0x7FFF), 0xFFAA);
    EXPECT_EQ(rig.programmer.GetImageWord(0x0000), 0xBBCC);
    EXPECT_EQ(rig.programmer.MaxAddress(), 0x8007);
}

TEST(PicHexLoadTest, WordsOutsideEveryRowAreNoticedOneByOne) {
    PicRig rig(1);  // program memory ends at 0x17FFF: byte address 0x2FFFC is device 0x17FFE
    const std::string text = Linear(0x0002) + Data(0xFFFC, {1, 2, 3, 4, 5, 6, 7, 8}) +
                             Data(0x0000, {0x12, 0x34}) + kEndRecord;
    EXPECT_EQ(rig.Load(text), 0);
    EXPECT_EQ(rig.programmer.GetImageWord(0x17FFE), 0x0102);
    EXPECT_EQ(rig.programmer.GetImageWord(0x17FFF), 0x0304);
    EXPECT_EQ(
        rig.window.StatusLines(),
        (std::vector<std::string>{kReading, "[Notice] : Hex file 0x18000Address out of range\r\n",
                                  "[Notice] : Hex file 0x18001Address out of range\r\n"}));
    EXPECT_EQ(rig.programmer.GetImageWord(0x10000), 0) << "nothing after the failing record";

    // A gap between the ranges, far above them, and the top of the 32-bit address space.
    for (uint16_t upper : {uint16_t{0x0100}, uint16_t{0x0400}, uint16_t{0xFFFF}}) {
        PicRig other;
        EXPECT_EQ(other.Load(Linear(upper) + Data(0xFFFE, {1, 2})), 0);
        EXPECT_EQ(
            other.window.CountStatus(Format("[Notice] : Hex file 0x%xAddress out of range\r\n",
                                            ((static_cast<unsigned>(upper) << 16) + 0xFFFEu) / 2)),
            1);
    }
}

TEST(PicHexLoadTest, LineEndsDoNotMatter) {
    const std::string crlf = Data(0x0000, {1, 2, 3, 4}) + Linear(0x0001) +
                             Data(0x0010, {5, 6, 7, 8, 9, 10}) + kEndRecord;
    std::string lf;
    for (char c : crlf) {
        if (c != '\r')
            lf += c;
    }
    const std::string noFinalEnd = crlf.substr(0, crlf.size() - 2);
    std::string lfNoFinalEnd = lf.substr(0, lf.size() - 1);

    PicRig reference;
    ASSERT_EQ(reference.Load(crlf), 1);
    for (const std::string& text : {lf, noFinalEnd, lfNoFinalEnd}) {
        PicRig rig;
        EXPECT_EQ(rig.Load(text), 1);
        for (int address : {0, 1, 0x8008, 0x8009, 0x800A}) {
            EXPECT_EQ(rig.programmer.GetImageWord(address),
                      reference.programmer.GetImageWord(address));
        }
    }
    EXPECT_EQ(reference.programmer.GetImageWord(0x800A), 0x090A);

    // The last record without a line end, odd byte count.
    PicRig odd;
    const std::string last = Data(0x0000, {0x11, 0x22, 0x33}) + kEndRecord;
    EXPECT_EQ(odd.Load(last.substr(0, last.size() - 2)), 1);
    EXPECT_EQ(odd.programmer.GetImageWord(1) >> 8, 0x33);
}

TEST(PicHexLoadTest, LongRecordsLoadWhole) {
    PicRig rig;
    std::vector<uint8_t> data(255);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(rig.Load(Data(0x0000, data) + kEndRecord), 1);
    EXPECT_EQ(rig.programmer.GetImageWord(0), 0x0001);
    EXPECT_EQ(rig.programmer.GetImageWord(126), 0xFCFD);
    EXPECT_EQ(rig.programmer.GetImageWord(127) >> 8, 0xFE);
}

TEST(PicHexLoadTest, DamagedRecordsStopTheLoadNamingTheLine) {
    const std::string good = Data(0x0000, {0x12, 0x34, 0x56, 0x00});
    const std::string after = Data(0x0200, {0x77, 0x77, 0x77, 0x00});
    std::string badChecksum = Data(0x0100, {1, 2, 3, 4});
    char& lastDigit = badChecksum[badChecksum.size() - 3];
    lastDigit = lastDigit == '0' ? '1' : '0';
    std::string badDigit = Data(0x0100, {1, 2, 3, 4});
    badDigit[10] = 'G';
    std::string badCount = Data(0x0100, {1, 2, 3, 4});
    badCount[2] = '5';  // says 5 bytes, holds 4

    const struct {
        std::string record;
        HexRecordError error;
    } cases[] = {{badChecksum, HexRecordError::BadChecksum},
                 {badDigit, HexRecordError::BadDigit},
                 {badCount, HexRecordError::BadLength}};
    for (const auto& c : cases) {
        PicRig rig(1);  // 64 device addresses per row: the three records land in rows 0, 2, 4
        // Line 3 (a blank line counts as a line of the text).
        EXPECT_EQ(rig.Load(good + "\r\n" + c.record + after + kEndRecord), 0);
        EXPECT_EQ(rig.window.StatusLines(),
                  (std::vector<std::string>{kReading, HexRecordErrorText(3, c.error)}));
        EXPECT_NE(HexRecordErrorText(3, c.error).find("line 3"), std::string::npos);
        EXPECT_EQ(rig.programmer.GetImageWord(0), 0x1234) << "records before it are placed";
        EXPECT_EQ(rig.programmer.GetImageWord(0x80), 0) << "the damaged record is not";
        EXPECT_EQ(rig.programmer.GetImageWord(0x100), 0) << "nothing after it";
    }
}

TEST(PicHexLoadTest, LoadHexFileReadsTheFileNamedByThePath) {
    PicRig rig;
    rig.programmer.SetHexFilePath("/nonexistent/tamrix/firmware.hex");
    EXPECT_EQ(rig.programmer.LoadHexFile(), 0);
    EXPECT_EQ(rig.programmer.Progress(), 0);
    EXPECT_EQ(rig.window.StatusLines(), std::vector<std::string>{kReading});

    const std::string path =
        ::testing::TempDir() + "pic_load_" + std::to_string(::getpid()) + ".hex";
    {
        std::ofstream file(path, std::ios::binary);
        file << Linear(0x0001) << Data(0x0000, {0xCA, 0xFE, 0x12, 0x00}) << kEndRecord;
    }
    rig.programmer.SetHexFilePath(path);
    EXPECT_EQ(rig.programmer.LoadHexFile(), 1);
    EXPECT_EQ(rig.programmer.GetImageWord(0x8000), 0xCAFE);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace tamrix
