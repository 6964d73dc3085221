// The product code, application version and version flag a firmware file carries, read from
// memory and from disk.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::Data;
using test::kEndRecord;
using test::Linear;
using test::PicRig;
using test::Record;

// Product code bytes L M at 0x0C00 and the version instruction L M U P at 0x0C02, in one record
// of 16 bytes at byte address 0x1800.
std::string InfoRecord(uint16_t productCode, uint8_t versionUpper) {
    return Data(0x1800, {static_cast<uint8_t>(productCode & 0xFF),
                         static_cast<uint8_t>(productCode >> 8), 0x00, 0x00, 0xE6, 0x00,
                         versionUpper, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

struct FileInfo {
    bool ok = false;
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    int versionFlag = -1;
};

FileInfo FromBuffer(PicRig& rig, const std::string& text, int productAt = 0x0C00,
                    int versionAt = 0x0C02) {
    FileInfo info;
    info.ok = rig.programmer.ReadFileInfoFromBuffer(text.data(), static_cast<int>(text.size()),
                                                    productAt, info.productCode, versionAt,
                                                    info.appVersion, info.versionFlag);
    return info;
}

TEST(PicFileInfoTest, ReadsLittleEndianProductCodeVersionAndFlag) {
    PicRig rig;
    const FileInfo info = FromBuffer(rig, InfoRecord(0x0101, 0x00) + kEndRecord);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.productCode, 0x0101);
    EXPECT_EQ(info.appVersion, 230);
    EXPECT_EQ(info.versionFlag, 1);
    EXPECT_EQ(rig.window.StatusLines(),
              std::vector<std::string>{"[Message] : File Info Read From Hex File (P Code:257, APP "
                                       "Version : 0.2, Version Flag : 1)  \r\n"});
    EXPECT_EQ(rig.programmer.GetImageWord(0x0C00), 0) << "the image is not touched";

    // The upper byte of the version instruction decides the flag.
    EXPECT_EQ(FromBuffer(rig, InfoRecord(0x0101, 0x01)).versionFlag, 0);

    // The loader keeps the digits as they stand; the reader turns them little-endian.
    ASSERT_EQ(rig.Load(InfoRecord(0x1234, 0) + kEndRecord), 1);
    EXPECT_EQ(FromBuffer(rig, InfoRecord(0x1234, 0)).productCode, 0x1234);
    EXPECT_EQ(rig.programmer.GetImageProductCode(), 0x3412);
}

TEST(PicFileInfoTest, ValuesFromSeparateRecordsAndOtherAddresses) {
    PicRig rig;
    // Version first, behind an extended address; product code in a later record.
    const std::string text = Linear(0x0001) + Data(0x0004, {0x10, 0x27, 0x00, 0x00}) +
                             Linear(0x0000) + Data(0x1000, {0x00, 0x00, 0x02, 0x05}) + kEndRecord;
    const FileInfo info = FromBuffer(rig, text, 0x0801, 0x8002);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.productCode, 0x0502);
    EXPECT_EQ(info.appVersion, 10000);
    EXPECT_EQ(info.versionFlag, 1);
    EXPECT_TRUE(rig.window.HasStatus(
        "[Message] : File Info Read From Hex File (P Code:1282, APP Version : 10.0, Version "
        "Flag : 1)  \r\n"));

    // Only one of the two present: false, no line.
    PicRig partial;
    EXPECT_FALSE(FromBuffer(partial, Data(0x1800, {1, 2, 3, 4}) + kEndRecord).ok);
    EXPECT_TRUE(partial.window.StatusLines().empty());
}

// The product code and version that are checked must be the ones that get programmed, however
// the text cuts its records: short records, records starting at odd byte addresses, records
// without data, a value split over two records, and a later record overwriting an earlier one.
TEST(PicFileInfoTest, AgreesWithTheLoaderWhateverTheRecords) {
    std::map<uint32_t, uint8_t> bytes;
    for (uint32_t address = 0x17F3; address < 0x1833; ++address)
        bytes[address] = static_cast<uint8_t>(address * 7 + 3);
    bytes[0x1806] = 0x00;  // upper byte of the version instruction: flag 1
    for (int recordSize : {1, 3, 7, 15, 16, 255}) {
        SCOPED_TRACE(recordSize);
        std::string text = FormatIntelHex(bytes, recordSize, true);
        // A record without data at an odd address, and a later record that overwrites the
        // product code's high byte.
        text.insert(0, Data(0x1801, {}));
        text.insert(text.size() - kEndRecord.size(), Data(0x1801, {0x42}));

        PicRig rig;
        const FileInfo info = FromBuffer(rig, text);
        ASSERT_TRUE(info.ok);
        ASSERT_EQ(rig.Load(text), 1);
        // Slots hold the bytes as they stand (first byte high); the file reader reads them
        // little-endian.
        const int codeSlot = rig.programmer.GetImageWord(0x0C00);
        const int versionSlot = rig.programmer.GetImageWord(0x0C02);
        EXPECT_EQ(info.productCode, ((codeSlot & 0xFF) << 8) | (codeSlot >> 8));
        EXPECT_EQ(info.productCode, 0x4200 | bytes[0x1800]);
        EXPECT_EQ(info.appVersion, ((versionSlot & 0xFF) << 8) | (versionSlot >> 8));
        EXPECT_EQ(info.versionFlag, (rig.programmer.GetImageWord(0x0C03) >> 8) == 0 ? 1 : 0);
        EXPECT_EQ(info.versionFlag, 1);
    }

    // A value the text gives only half of is read as the loader programs it: the missing byte
    // stays erased, and a version instruction without its upper byte cannot be compared.
    PicRig half;
    const std::string text = Data(0x1800, {0x39}) + Data(0x1804, {0x4C, 0x04}) + kEndRecord;
    const FileInfo info = FromBuffer(half, text);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.productCode, 0xFF39);
    EXPECT_EQ(info.appVersion, 0x044C);
    EXPECT_EQ(info.versionFlag, 0);
}

TEST(PicFileInfoTest, StopsAtStartRecordsUnknownTypesAndDamagedRecords) {
    std::string damaged = InfoRecord(0x0101, 0);
    damaged[12] = 'x';
    const std::string stoppers[] = {Record(kHexStartLinear, 0, {0, 0, 0, 0}),
                                    Record(kHexStartSegment, 0, {0, 0, 0, 0}), Record(0x07, 0, {}),
                                    damaged};
    for (const std::string& stopper : stoppers) {
        PicRig rig;
        EXPECT_FALSE(FromBuffer(rig, stopper + InfoRecord(0x0101, 0) + kEndRecord).ok);
        EXPECT_TRUE(rig.window.StatusLines().empty());
    }
    // The end record does not stop it.
    PicRig rig;
    EXPECT_TRUE(FromBuffer(rig, kEndRecord + InfoRecord(0x0101, 0)).ok);
}

TEST(PicFileInfoTest, HundredthsForProductLine0x61FromMemoryOnly) {
    PicRig rig;
    const std::string text = InfoRecord(0x6101, 0) + kEndRecord;
    ASSERT_TRUE(FromBuffer(rig, text).ok);
    EXPECT_EQ(rig.window.StatusLines().back(),
              "[Message] : File Info Read From Hex File (P Code:24833, APP Version : 2.30, "
              "Version Flag : 1)  \r\n");

    const std::string path =
        ::testing::TempDir() + "pic_info_" + std::to_string(::getpid()) + ".hex";
    {
        std::ofstream file(path, std::ios::binary);
        file << text;
    }
    FileInfo info;
    ASSERT_TRUE(rig.programmer.ReadFileInfo(path, 0x0C00, info.productCode, 0x0C02, info.appVersion,
                                            info.versionFlag));
    EXPECT_EQ(info.productCode, 0x6101);
    EXPECT_EQ(info.appVersion, 230);
    EXPECT_EQ(rig.window.StatusLines().back(),
              "[Message] : File Info Read From Hex File (P Code:24833, APP Version : 0.2, "
              "Version Flag : 1)  \r\n");
    std::remove(path.c_str());

    EXPECT_FALSE(rig.programmer.ReadFileInfo("/nonexistent/tamrix.hex", 0x0C00, info.productCode,
                                             0x0C02, info.appVersion, info.versionFlag));
    EXPECT_EQ(rig.programmer.Progress(), 0);
}

}  // namespace
}  // namespace tamrix
