// The simulated flash memories and their Intel HEX form.

#include <gtest/gtest.h>

#include "image/IntelHex.h"
#include "sim/PicFlash.h"
#include "sim/SamFlash.h"

namespace tamrix {
namespace {

TEST(SimPicFlashTest, GeometryFollowsTheFamily) {
    const CSimPicFlash dsPic30(1);
    EXPECT_EQ(dsPic30.ProgramEnd(), 0x18000u);
    EXPECT_EQ(dsPic30.RowInstructions(), 32);
    const CSimPicFlash pic24(4);
    EXPECT_EQ(pic24.ProgramEnd(), 0x180000u);
    EXPECT_EQ(pic24.RowInstructions(), 512);

    CSimPicFlash flash(1);
    EXPECT_EQ(flash.Instruction(0x17FFE), CSimPicFlash::kErasedInstruction);
    EXPECT_FALSE(flash.SetInstruction(0x18000, 1));
    EXPECT_EQ(flash.Instruction(0x18000), 0u) << "unimplemented memory reads 0";
    ASSERT_TRUE(flash.SetInstruction(0x100, 0x123456));
    EXPECT_EQ(flash.Instruction(0x101), 0x123456u) << "an odd address names its instruction";
    EXPECT_FALSE(flash.SetEepromWord(0x7FEFFE, 1));
    EXPECT_TRUE(flash.SetEepromWord(0x7FFFFE, 0xBEEF));
    EXPECT_EQ(flash.EepromWord(0x7FFFFE), 0xBEEF);
    EXPECT_FALSE(flash.SetConfigWord(8, 1));
    EXPECT_EQ(flash.ConfigWord(7), CSimPicFlash::kErasedWord);
}

TEST(SimPicFlashTest, HexImageUsesFourBytesPerWordAtTwiceTheDeviceAddress) {
    CSimPicFlash flash(2);
    flash.SetInstruction(0x0C00, 0x563412);
    flash.SetEepromWord(0x7FF000, 0xBBAA);
    flash.SetConfigWord(1, 0x2211);
    const std::map<uint32_t, uint8_t> expected = {
        {0x1800, 0x12},    {0x1801, 0x34},    {0x1802, 0x56},    {0x1803, 0x00},
        {0xFFE000, 0xAA},  {0xFFE001, 0xBB},  {0xFFE002, 0x00},  {0xFFE003, 0x00},
        {0x1F00004, 0x11}, {0x1F00005, 0x22}, {0x1F00006, 0x00}, {0x1F00007, 0x00},
    };
    EXPECT_EQ(flash.HexImage(), expected);
}

TEST(SimPicFlashTest, LoadingAHexFileAndDumpingItGivesTheSameText) {
    CSimPicFlash source(1);
    source.SetInstruction(0, 0x040C04);
    source.SetInstruction(2, 0x000000);
    for (uint32_t a = 0x400; a < 0x480; a += 2)
        source.SetInstruction(a, 0x0F0000 + a);
    source.SetEepromWord(0x7FF010, 0x1234);
    source.SetConfigWord(0, 0x00C3);
    const std::string text = FormatIntelHex(source.HexImage());

    std::map<uint32_t, uint8_t> parsed;
    ASSERT_TRUE(ParseIntelHex(text.data(), static_cast<int>(text.size()), parsed));
    CSimPicFlash loaded(1);
    std::string error;
    ASSERT_TRUE(loaded.LoadHexImage(parsed, &error)) << error;
    EXPECT_EQ(FormatIntelHex(loaded.HexImage()), text);
    EXPECT_EQ(loaded.Instruction(0x47E), 0x0F047Eu);
}

TEST(SimPicFlashTest, LoadPatchesSingleBytesAndIgnoresThePhantomByte) {
    CSimPicFlash flash(2);
    flash.SetInstruction(0x10, 0xAABBCC);
    std::string error;
    ASSERT_TRUE(flash.LoadHexImage({{0x21, 0x55}, {0x23, 0x99}}, &error));
    EXPECT_EQ(flash.Instruction(0x10), 0xAA55CCu);
}

TEST(SimPicFlashTest, LoadRefusesBytesOutsideEveryMemory) {
    CSimPicFlash flash(1);
    std::string error;
    EXPECT_FALSE(flash.LoadHexImage({{2 * 0x18000, 0x01}}, &error));
    EXPECT_NE(error.find("0x30000"), std::string::npos) << error;
    EXPECT_FALSE(flash.LoadHexImage({{2 * 0xF80010, 0x01}}, &error));
}

TEST(SimSamFlashTest, OneAddressSpaceForProgramEepromAndFuses) {
    CSimSamFlash flash;
    EXPECT_TRUE(flash.SetByte(0xFFFF, 0x12));
    EXPECT_TRUE(flash.SetByte(0x13FFF, 0x34));
    EXPECT_TRUE(flash.SetByte(0x20003, 0x56));
    EXPECT_FALSE(flash.SetByte(0x14000, 0x00));
    EXPECT_FALSE(flash.SetByte(0x20004, 0x00));
    EXPECT_EQ(flash.Byte(0x14000), CSimSamFlash::kErased);
    const std::map<uint32_t, uint8_t> expected = {{0xFFFF, 0x12}, {0x13FFF, 0x34}, {0x20003, 0x56}};
    EXPECT_EQ(flash.HexImage(), expected);

    CSimSamFlash copy;
    std::string error;
    ASSERT_TRUE(copy.LoadHexImage(flash.HexImage(), &error)) << error;
    EXPECT_EQ(copy.HexImage(), expected);
    EXPECT_FALSE(copy.LoadHexImage({{0x20004, 0x00}}, &error));
}

}  // namespace
}  // namespace tamrix
