#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "image/DeviceTable.h"
#include "platform/Clock.h"
#include "programmer/ProgramerPIC.h"
#include "programmer/ProgramerSAM.h"
#include "programmer/ProgrammerFactory.h"

namespace tamrix {
namespace {

TEST(DeviceTable, HasNinetyRowsAndAnAllZeroEndRow) {
    for (int i = 0; i < kDeviceTableRows; ++i) {
        EXPECT_NE(DeviceTable[i].name, nullptr) << "row " << i;
        EXPECT_NE(DeviceTable[i].family, 0) << "row " << i;
    }
    const DeviceTableEntry& end = DeviceTable[kDeviceTableRows];
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.deviceId, 0);
    EXPECT_EQ(end.pi, 0);
    EXPECT_EQ(end.family, 0);
}

TEST(DeviceTable, EveryIdentifierPiPairOccursOnce) {
    std::set<std::pair<int, int>> seen;
    for (int i = 0; i < kDeviceTableRows; ++i) {
        EXPECT_TRUE(seen.insert({DeviceTable[i].deviceId, DeviceTable[i].pi}).second)
            << "row " << i;
    }
}

TEST(DeviceTable, FamiliesCoverTheirRowRanges) {
    auto familyOf = [](int row) { return DeviceTable[row].family; };
    for (int r = 0; r <= 27; ++r)
        EXPECT_EQ(familyOf(r), 1) << r;
    for (int r = 28; r <= 55; ++r)
        EXPECT_EQ(familyOf(r), 2) << r;
    for (int r = 56; r <= 69; ++r)
        EXPECT_EQ(familyOf(r), 3) << r;
    for (int r = 70; r <= 79; ++r)
        EXPECT_EQ(familyOf(r), 4) << r;
    EXPECT_EQ(familyOf(80), 3);
    EXPECT_EQ(familyOf(81), 3);
    for (int r = 82; r <= 84; ++r)
        EXPECT_EQ(familyOf(r), 2) << r;
    EXPECT_EQ(familyOf(85), 1);
    EXPECT_EQ(familyOf(86), 101);
    EXPECT_EQ(familyOf(87), 102);
    EXPECT_EQ(familyOf(88), 103);
    EXPECT_EQ(familyOf(89), 201);
}

TEST(DeviceTable, LookupFindsRowsByIdentifierAndPi) {
    DeviceTableEntry e = LookupDevice(0x0040, 1);
    EXPECT_STREQ(e.name, "dsPIC30F2010");
    EXPECT_EQ(e.family, 1);

    EXPECT_EQ(LookupDevice(0x0040, 3).family, 0);  // right identifier, wrong PI
    EXPECT_EQ(LookupDevice(0x0040, 3).name, nullptr);

    EXPECT_STREQ(LookupDevice(0x0101, 1).name, "dsPIC30F4011");
    EXPECT_STREQ(LookupDevice(0x0101, 3).name, "dsPIC30F4011");
    EXPECT_EQ(LookupDevice(0x0101, 3).family, 1);

    e = LookupDevice(0x0001, 2);
    EXPECT_STREQ(e.name, "S3F84ZB");
    EXPECT_EQ(e.family, 102);
    EXPECT_EQ(ProgrammerKindFor(e), ProgrammerKind::Sam);

    e = LookupDevice(0x0002, 1);
    EXPECT_STREQ(e.name, "ATmega128");
    EXPECT_EQ(e.family, 201);
    EXPECT_EQ(ProgrammerKindFor(e), ProgrammerKind::None);

    // (0, 0) equals the end row's fields, but the scan stops at the end row without a match.
    EXPECT_EQ(LookupDevice(0x0000, 0).family, 0);
    EXPECT_EQ(ProgrammerKindFor(LookupDevice(0x0000, 0)), ProgrammerKind::None);

    // The same identifier means another chip in another family (dsPIC30F3012 / dsPIC33FJ64GP206).
    EXPECT_STREQ(LookupDevice(0x00C1, 1).name, "dsPIC30F3012");
    EXPECT_STREQ(LookupDevice(0x00C1, 3).name, "dsPIC33FJ64GP206");
    EXPECT_EQ(ProgrammerKindFor(LookupDevice(0x00C1, 3)), ProgrammerKind::Pic);
}

// Identifier 0x0001 is the SAM bootloader whatever the family, 0x0002 (ATmega128) has no
// programmer, and every other listed chip is served by the PIC programmer.
TEST(ProgrammerFactory, EveryRowGetsTheProgrammerItsIdentifierCallsFor) {
    CVirtualClock clock;
    for (int i = 0; i <= kDeviceTableRows; ++i) {
        const DeviceTableEntry& row = DeviceTable[i];
        SCOPED_TRACE(row.name != nullptr ? row.name : "end row");
        const std::unique_ptr<CProgramer> programmer =
            MakeProgrammerFor(row, nullptr, clock, nullptr);
        if (row.family == 0 || row.deviceId == 0x0002) {
            EXPECT_EQ(programmer, nullptr);
        } else if (row.deviceId == 0x0001) {
            EXPECT_NE(dynamic_cast<CProgramerSAM*>(programmer.get()), nullptr);
        } else {
            EXPECT_NE(dynamic_cast<CProgramerPIC*>(programmer.get()), nullptr);
        }
    }
}

TEST(DeviceTable, FindByNameReturnsTheFirstRowOfThatName) {
    const DeviceTableEntry* e = FindDeviceByName("dsPIC30F2011");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->deviceId, 0x00C0);
    EXPECT_EQ(FindDeviceByName("no such chip"), nullptr);
}

}  // namespace
}  // namespace tamrix
