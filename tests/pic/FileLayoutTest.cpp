// Which family a firmware text is judged to be made for: every phantom byte counts once, with the
// value the last record to give its address gave it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/FileLayout.h"
#include "image/IntelHex.h"

namespace tamrix {
namespace {

std::string Data(uint16_t address, const std::vector<uint8_t>& bytes) {
    return FormatHexRecord(kHexData, address, bytes.data(), static_cast<int>(bytes.size()));
}

TEST(FileLayoutTest, ARecordGivenAgainCountsOnceWithTheLastValue) {
    const std::string zeros = Data(0, std::vector<uint8_t>(64, 0));   // 16 phantom bytes, all 0
    const std::string set = Data(0, {1, 2, 3, 0xAA, 5, 6, 7, 0xBB});  // two of them set
    const std::string end = ":00000001FF\r\n";
    const auto facts = [](const std::string& text) {
        return ExamineFileLayout(text.data(), static_cast<int>(text.size()));
    };

    FileLayoutFacts laterSet = facts(zeros + set + end);
    EXPECT_EQ(laterSet.phantomBytes, 16);
    EXPECT_EQ(laterSet.phantomNonZero, 2);
    EXPECT_FALSE(ClearlyPicFile(laterSet));

    FileLayoutFacts laterZero = facts(set + zeros + end);
    EXPECT_EQ(laterZero.phantomBytes, 16);
    EXPECT_EQ(laterZero.phantomNonZero, 0);
    EXPECT_TRUE(ClearlyPicFile(laterZero));
    EXPECT_FALSE(laterZero.beyondSam);
}

}  // namespace
}  // namespace tamrix
