// Placement of random HEX files, checked against an independent Intel HEX implementation
// (srec_cat turns the same file into a binary) and against a first-match scan over the rows.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "tests/pic/PicTestHelpers.h"

namespace tamrix {
namespace {

using test::PicRig;

constexpr uint32_t kEepromBytes = 2u * kPicEepromBase;  // byte address of device 0x7FF000
constexpr uint32_t kConfigBytes = 2u * kPicConfigBase;

// A random HEX text and the bytes it describes (byte address -> value).
struct RandomHex {
    std::string text;
    std::map<uint32_t, uint8_t> bytes;
    uint32_t base = 0;  // what the last address record set
    std::mt19937 rng;

    explicit RandomHex(unsigned seed) : rng(seed) {}

    unsigned Pick(unsigned below) { return static_cast<unsigned>(rng() % below); }

    // One data record at an even byte address, preceded by an address record when the upper
    // part changes: a segment record (type 02) or a linear one (type 04), at random.
    void Emit(uint32_t address, int count) {
        if ((address & 0xFFFF) + static_cast<uint32_t>(count) > 0x10000)
            return;
        for (int k = 0; k < count; ++k) {
            if (bytes.count(address + k) != 0)
                return;  // no overlaps
        }
        const bool upper = Pick(2) == 1;
        if ((address & ~0xFFFFu) != base) {
            if (address < 0x100000 && Pick(2) == 0) {
                const uint16_t segment = static_cast<uint16_t>((address & 0xF0000) >> 4);
                const uint8_t value[2] = {static_cast<uint8_t>(segment >> 8), 0};
                text += FormatHexRecord(kHexExtendedSegment, 0, value, 2, upper);
            } else {
                const uint8_t value[2] = {static_cast<uint8_t>(address >> 24),
                                          static_cast<uint8_t>(address >> 16)};
                text += FormatHexRecord(kHexExtendedLinear, 0, value, 2, upper);
            }
            base = address & ~0xFFFFu;
        }
        std::vector<uint8_t> data(static_cast<size_t>(count));
        for (int k = 0; k < count; ++k) {
            data[static_cast<size_t>(k)] = static_cast<uint8_t>(rng());
            bytes[address + k] = data[static_cast<size_t>(k)];
        }
        text += FormatHexRecord(kHexData, static_cast<uint16_t>(address & 0xFFFF), data.data(),
                                count, upper);
    }

    // Clusters of records of several sizes with gaps, at random places of [start, end).
    void Clusters(uint32_t start, uint32_t end, int clusters) {
        static const int kSizes[] = {2, 4, 8, 16, 16, 16, 32, 64, 128, 254};
        for (int c = 0; c < clusters; ++c) {
            uint32_t address = (start + Pick(end - start)) & ~1u;
            for (int r = 1 + static_cast<int>(Pick(20)); r > 0 && address < end; --r) {
                const int count = std::min<int>(kSizes[Pick(10)], static_cast<int>(end - address));
                Emit(address, count);
                address += static_cast<uint32_t>(count);
                if (Pick(4) == 0)
                    address += 2 * (1 + Pick(200));  // a gap
            }
        }
    }
};

RandomHex MakeFile(unsigned seed, int family) {
    RandomHex hex(seed);
    const uint32_t programEnd =
        4u * kPicProgramRows * static_cast<uint32_t>(PicProgramRowWords(FamilyOf(family)));
    hex.Clusters(0, programEnd, 60);
    hex.Emit(programEnd - 8, 8);  // the very last instructions
    hex.Clusters(kEepromBytes, kEepromBytes + 2 * kPicEepromRows * kPicEepromRowSpan, 8);
    hex.Emit(kConfigBytes, 20);
    hex.Emit(kConfigBytes + 28, 4);
    hex.text += ":00000001FF\r\n";
    return hex;
}

// srec_cat's reading of the file: the bytes at their addresses, holes as zeros.
std::vector<uint8_t> ConvertWithSrecCat(const std::string& text, const std::string& name) {
    const std::string stem = ::testing::TempDir() + name + "_" + std::to_string(::getpid());
    {
        std::ofstream file(stem + ".hex", std::ios::binary);
        file << text;
    }
    const std::string command = "srec_cat -Disable_Sequence_Warnings '" + stem +
                                ".hex' -intel -o '" + stem + ".bin' -binary";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    std::ifstream binary(stem + ".bin", std::ios::binary | std::ios::ate);
    std::vector<uint8_t> image(static_cast<size_t>(std::max<std::streamoff>(binary.tellg(), 0)));
    binary.seekg(0);
    binary.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    std::remove((stem + ".hex").c_str());
    std::remove((stem + ".bin").c_str());
    return image;
}

// The reference placement: the first row in table order whose range covers a device address,
// found by a plain scan over every row.
class FirstMatchScan {
  public:
    explicit FirstMatchScan(const CProgramerPIC& programmer) {
        for (const auto& row : programmer.Rows()) {
            const uint32_t span = row->kind == kRowConfig ? 2u : 2u * row->wordCount;
            ranges_.push_back({static_cast<uint32_t>(row->baseAddress), span, row.get()});
        }
    }
    const CMemory* operator()(uint32_t address) const {
        for (const Range& r : ranges_) {
            if (address >= r.base && address - r.base < r.span)
                return r.row;
        }
        return nullptr;
    }

  private:
    struct Range {
        uint32_t base;
        uint32_t span;
        const CMemory* row;
    };
    std::vector<Range> ranges_;
};

class PicPlacementTest : public ::testing::TestWithParam<int> {};

TEST_P(PicPlacementTest, RandomFilesMatchSrecCatAndFirstMatchPlacement) {
    const int family = GetParam();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RandomHex hex = MakeFile(seed * 7919u + static_cast<unsigned>(family), family);
        const std::vector<uint8_t> binary =
            ConvertWithSrecCat(hex.text, "pic_place_" + std::to_string(family));
        ASSERT_GT(binary.size(), kConfigBytes);

        PicRig rig(family);
        ASSERT_EQ(rig.Load(hex.text), 1);
        ASSERT_EQ(rig.window.StatusLines().size(), 1u);
        const FirstMatchScan firstMatch(rig.programmer);

        // Every device address the file gave: the slot is the binary's two bytes, first high,
        // in the row a first-match scan picks.
        int highestProgramWord = 0;
        std::map<const CMemory*, bool> loadedRows;
        for (const auto& [address, value] : hex.bytes) {
            if (address % 2 != 0)
                continue;
            ASSERT_EQ(value, binary[address]) << "the generator and srec_cat disagree";
            const uint32_t device = address / 2;
            const int expected = binary[address] * 256 + binary[address + 1];
            const CMemory* row = firstMatch(device);
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(rig.programmer.FindRow(device), row);
            EXPECT_EQ(rig.programmer.GetImageWord(static_cast<int>(device)), expected)
                << std::hex << "device 0x" << device;
            loadedRows[row] = true;
            if (row->kind == kRowProgram) {
                highestProgramWord = std::max(highestProgramWord, static_cast<int>(device));
            }
        }
        EXPECT_EQ(rig.programmer.MaxAddress(), highestProgramWord);

        // Every other address: 0xFFFF in a loaded row, nothing (0) elsewhere.
        for (const auto& row : rig.programmer.Rows()) {
            const bool loaded = loadedRows.count(row.get()) != 0;
            EXPECT_EQ(row->isEmpty, loaded ? 0 : 1);
            const int span = row->kind == kRowConfig ? 2 : 2 * row->wordCount;
            for (int device = row->baseAddress; device < row->baseAddress + span; ++device) {
                if (loaded && hex.bytes.count(2u * device) != 0)
                    continue;
                ASSERT_EQ(rig.programmer.GetImageWord(device), loaded ? 0xFFFF : 0);
            }
        }

        // Addresses anywhere in 24 bits, including those no row holds.
        std::mt19937 rng(seed);
        for (int i = 0; i < 3000; ++i) {
            const uint32_t device = rng() % 0x1000000;
            ASSERT_EQ(rig.programmer.FindRow(device), firstMatch(device))
                << std::hex << "device 0x" << device;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, PicPlacementTest, ::testing::Values(1, 2));

TEST(PicPlacementEdges, RowBoundariesAndWordsNoRowHolds) {
    for (int family : {1, 3}) {
        PicRig rig(family);
        const FirstMatchScan firstMatch(rig.programmer);
        const uint32_t programEnd =
            2u * kPicProgramRows * static_cast<uint32_t>(PicProgramRowWords(FamilyOf(family)));
        const uint32_t probes[] = {0,
                                   programEnd - 1,
                                   programEnd,
                                   kPicEepromBase - 1,
                                   kPicEepromBase,
                                   kPicEepromBase + 31,
                                   kPicEepromBase + 32,
                                   kPicEepromBase + 128 * 32 - 1,
                                   kPicEepromBase + 128 * 32,
                                   kPicConfigBase - 1,
                                   kPicConfigBase,
                                   kPicConfigBase + 15,
                                   kPicConfigBase + 16,
                                   0xFFFFFFFFu};
        for (uint32_t device : probes) {
            EXPECT_EQ(rig.programmer.FindRow(device), firstMatch(device))
                << std::hex << "device 0x" << device << " family " << family;
        }
    }
    // Before BuildMemoryMap there is nothing to place into.
    CVirtualClock clock;
    test::FakeChannel channel(clock);
    CProgramerPIC bare(&channel, clock);
    EXPECT_EQ(bare.FindRow(0), nullptr);
    const std::string text = test::Data(0, {1, 2});
    EXPECT_EQ(bare.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 0);
    EXPECT_EQ(bare.GetImageWord(0), 0);
}

}  // namespace
}  // namespace tamrix
