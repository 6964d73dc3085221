// The loader computes the row of a byte from its address instead of asking every row in turn.
// These tests hold it to the slow rule it replaces: offer the byte to the rows in table order and
// let the first one that accepts it keep it; only the fuse bytes beyond the target's four
// (0x20004-0x20006, which the later fuse rows would take) are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/Format.h"
#include "image/MemorySAM.h"
#include "platform/Clock.h"
#include "programmer/ProgramerSAM.h"
#include "tests/sam/SamTarget.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::HexText;
using test::RecordingWindow;

class SamPlacementTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    std::mt19937 random{20240601};

    // The slow rule on a scratch image: the index of the first row whose SetWord takes the
    // address, or -1.
    static int FirstMatch(CProgramerSAM& scratch, int64_t address, const char* digits) {
        if (address > INT32_MAX || address >= kSamFuseBase + kSamFuseBytes)
            return -1;
        const auto& rows = scratch.Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]->SetWord(static_cast<int>(address), digits) == 1)
                return static_cast<int>(i);
        }
        return -1;
    }

    // Addresses worth trying: every address near each edge of the layout, and random ones.
    std::vector<int64_t> Addresses(int randomCount) {
        std::vector<int64_t> addresses;
        for (int64_t edge :
             {0x0, 0x80, 0xFF80, 0x10000, 0x13F80, 0x14000, 0x1FF80, 0x20000, 0x20007}) {
            for (int64_t a = edge - 140; a < edge + 140; ++a) {
                if (a >= 0)
                    addresses.push_back(a);
            }
        }
        std::uniform_int_distribution<int64_t> image(0, 0x2FFFF);
        std::uniform_int_distribution<int64_t> wide(0, 0xFFFFFFFFLL);
        for (int i = 0; i < randomCount; ++i)
            addresses.push_back(i % 8 ? image(random) : wide(random));
        return addresses;
    }
};

TEST_F(SamPlacementTest, RowIndexAgreesWithTheFirstMatchScanEverywhere) {
    CProgramerSAM scratch(&channel, clock, &window);
    scratch.BuildMemoryMap(101);
    for (int64_t address : Addresses(20000)) {
        ASSERT_EQ(CProgramerSAM::RowIndexFor(address), FirstMatch(scratch, address, "00"))
            << std::hex << "address 0x" << address;
    }
}

TEST_F(SamPlacementTest, LoadedImageEqualsFirstMatchPlacementForEveryRecordSize) {
    // In-range bytes only: one failing record stops a load, and here every record must land.
    CProgramerSAM probe(&channel, clock, &window);
    probe.BuildMemoryMap(101);
    std::map<uint32_t, uint8_t> bytes;
    std::uniform_int_distribution<int> value(0, 255);
    for (int64_t address : Addresses(6000)) {
        if (FirstMatch(probe, address, "00") >= 0) {
            bytes[static_cast<uint32_t>(address)] = static_cast<uint8_t>(value(random));
        }
    }

    CProgramerSAM reference(&channel, clock, &window);
    reference.BuildMemoryMap(101);
    int64_t maxProgram = 0;
    for (const auto& [address, byte] : bytes) {
        const std::string digits = Format("%02x", byte);
        const int index = FirstMatch(reference, address, digits.c_str());
        ASSERT_GE(index, 0);
        if (index < kSamProgramRows)
            maxProgram = std::max<int64_t>(maxProgram, address);
    }

    for (int recordSize : {1, 5, 16, 64, 255}) {
        SCOPED_TRACE(recordSize);
        CProgramerSAM loaded(&channel, clock, &window);
        loaded.BuildMemoryMap(101);
        const std::string text = HexText(bytes, recordSize);
        ASSERT_EQ(loaded.LoadHexBuffer(text.data(), static_cast<int>(text.size())), 1);
        EXPECT_EQ(loaded.MaxAddress(), maxProgram);
        for (int i = 0; i < kSamRowCount; ++i) {
            const CMemory& want = *reference.Rows()[static_cast<size_t>(i)];
            const CMemory& got = *loaded.Rows()[static_cast<size_t>(i)];
            ASSERT_EQ(got.isEmpty, want.isEmpty) << "row " << i;
            for (int slot = 0; slot < want.wordCount; ++slot) {
                ASSERT_EQ(got.words[slot], want.words[slot]) << "row " << i << " slot " << slot;
            }
        }
    }
}

TEST_F(SamPlacementTest, EachRefusedByteIsNoticedAndEachAcceptedOneLands) {
    // One byte per load onto the same image, so that a refused byte does not hide later ones.
    CProgramerSAM reference(&channel, clock, &window);
    reference.BuildMemoryMap(101);
    CProgramerSAM loaded(&channel, clock, &window);
    loaded.BuildMemoryMap(101);
    std::uniform_int_distribution<int> value(0, 255);
    std::vector<int64_t> addresses = Addresses(3000);
    std::shuffle(addresses.begin(), addresses.end(), random);
    addresses.resize(1500);

    for (int64_t address : addresses) {
        const auto byte = static_cast<uint8_t>(value(random));
        const int index = FirstMatch(reference, address, Format("%02x", byte).c_str());
        const std::string text = HexText({{static_cast<uint32_t>(address), byte}});
        window.events.clear();
        const int result = loaded.LoadHexBuffer(text.data(), static_cast<int>(text.size()));
        const std::string notice = Format("[Notice] : Hex file 0x%xAddress out of range\r\n",
                                          static_cast<unsigned>(address));
        ASSERT_EQ(result, index >= 0 ? 1 : 0) << std::hex << "address 0x" << address;
        ASSERT_EQ(window.CountStatus(notice), index >= 0 ? 0 : 1);
    }
    for (int i = 0; i < kSamRowCount; ++i) {
        const CMemory& want = *reference.Rows()[static_cast<size_t>(i)];
        const CMemory& got = *loaded.Rows()[static_cast<size_t>(i)];
        ASSERT_EQ(got.isEmpty, want.isEmpty) << "row " << i;
        for (int slot = 0; slot < want.wordCount; ++slot) {
            ASSERT_EQ(got.words[slot], want.words[slot]) << "row " << i << " slot " << slot;
        }
    }
}

}  // namespace
}  // namespace tamrix
