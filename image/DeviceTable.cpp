#include "image/DeviceTable.h"

namespace tamrix {

// Rows in the order the lookup scans them. Several names appear twice with another identifier
// or PI value; every (deviceId, pi) pair is unique.
const DeviceTableEntry DeviceTable[kDeviceTableRows + 1] = {
    {"dsPIC30F2010", 0x0040, 1, kFamilyDsPic30F},        // 0
    {"dsPIC30F2011", 0x00C0, 1, kFamilyDsPic30F},        // 1
    {"dsPIC30F2011", 0x0240, 1, kFamilyDsPic30F},        // 2
    {"dsPIC30F2012", 0x00C2, 1, kFamilyDsPic30F},        // 3
    {"dsPIC30F2012", 0x0241, 1, kFamilyDsPic30F},        // 4
    {"dsPIC30F3010", 0x01C0, 1, kFamilyDsPic30F},        // 5
    {"dsPIC30F3011", 0x01C1, 1, kFamilyDsPic30F},        // 6
    {"dsPIC30F3012", 0x00C1, 1, kFamilyDsPic30F},        // 7
    {"dsPIC30F3013", 0x00C3, 1, kFamilyDsPic30F},        // 8
    {"dsPIC30F3014", 0x0160, 1, kFamilyDsPic30F},        // 9
    {"dsPIC30F4011", 0x0101, 1, kFamilyDsPic30F},        // 10
    {"dsPIC30F4012", 0x0100, 1, kFamilyDsPic30F},        // 11
    {"dsPIC30F4013", 0x0141, 1, kFamilyDsPic30F},        // 12
    {"dsPIC30F5011", 0x0080, 1, kFamilyDsPic30F},        // 13
    {"dsPIC30F5013", 0x0081, 1, kFamilyDsPic30F},        // 14
    {"dsPIC30F5015", 0x0200, 1, kFamilyDsPic30F},        // 15
    {"dsPIC30F5016", 0x0201, 1, kFamilyDsPic30F},        // 16
    {"dsPIC30F6010", 0x0188, 1, kFamilyDsPic30F},        // 17
    {"dsPIC30F6010A", 0x0281, 1, kFamilyDsPic30F},       // 18
    {"dsPIC30F6011", 0x0192, 1, kFamilyDsPic30F},        // 19
    {"dsPIC30F6011A", 0x02C0, 1, kFamilyDsPic30F},       // 20
    {"dsPIC30F6012", 0x0193, 1, kFamilyDsPic30F},        // 21
    {"dsPIC30F6012A", 0x02C2, 1, kFamilyDsPic30F},       // 22
    {"dsPIC30F6013", 0x0197, 1, kFamilyDsPic30F},        // 23
    {"dsPIC30F6013A", 0x02C1, 1, kFamilyDsPic30F},       // 24
    {"dsPIC30F6014", 0x0198, 1, kFamilyDsPic30F},        // 25
    {"dsPIC30F6014A", 0x02C3, 1, kFamilyDsPic30F},       // 26
    {"dsPIC30F6015", 0x0280, 1, kFamilyDsPic30F},        // 27
    {"dsPIC33FJ64GP206", 0x00C1, 3, kFamilyDsPic33F},    // 28
    {"dsPIC33FJ64GP306", 0x00CD, 3, kFamilyDsPic33F},    // 29
    {"dsPIC33FJ64GP310", 0x00CF, 3, kFamilyDsPic33F},    // 30
    {"dsPIC33FJ64GP706", 0x00D5, 3, kFamilyDsPic33F},    // 31
    {"dsPIC33FJ64GP708", 0x00D6, 3, kFamilyDsPic33F},    // 32
    {"dsPIC33FJ64GP710", 0x00D7, 3, kFamilyDsPic33F},    // 33
    {"dsPIC33FJ128GP206", 0x00D9, 3, kFamilyDsPic33F},   // 34
    {"dsPIC33FJ128GP306", 0x00E5, 3, kFamilyDsPic33F},   // 35
    {"dsPIC33FJ128GP310", 0x00E7, 3, kFamilyDsPic33F},   // 36
    {"dsPIC33FJ128GP706", 0x00ED, 3, kFamilyDsPic33F},   // 37
    {"dsPIC33FJ128GP708", 0x00EE, 3, kFamilyDsPic33F},   // 38
    {"dsPIC33FJ128GP710", 0x00EF, 3, kFamilyDsPic33F},   // 39
    {"dsPIC33FJ256GP506", 0x00F5, 3, kFamilyDsPic33F},   // 40
    {"dsPIC33FJ256GP510", 0x00F7, 3, kFamilyDsPic33F},   // 41
    {"dsPIC33FJ256GP710", 0x00FF, 3, kFamilyDsPic33F},   // 42
    {"dsPIC33FJ64MC506", 0x0089, 3, kFamilyDsPic33F},    // 43
    {"dsPIC33FJ64MC508", 0x008A, 3, kFamilyDsPic33F},    // 44
    {"dsPIC33FJ64MC510", 0x008B, 3, kFamilyDsPic33F},    // 45
    {"dsPIC33FJ64MC706", 0x0091, 3, kFamilyDsPic33F},    // 46
    {"dsPIC33FJ64MC710", 0x0097, 3, kFamilyDsPic33F},    // 47
    {"dsPIC33FJ128MC204", 0x0623, 3, kFamilyDsPic33F},   // 48
    {"dsPIC33FJ128MC506", 0x00A1, 3, kFamilyDsPic33F},   // 49
    {"dsPIC33FJ128MC510", 0x00A3, 3, kFamilyDsPic33F},   // 50
    {"dsPIC33FJ128MC706", 0x00A9, 3, kFamilyDsPic33F},   // 51
    {"dsPIC33FJ128MC708", 0x00AE, 3, kFamilyDsPic33F},   // 52
    {"dsPIC33FJ128MC710", 0x00AF, 3, kFamilyDsPic33F},   // 53
    {"dsPIC33FJ256MC510", 0x00B7, 3, kFamilyDsPic33F},   // 54
    {"dsPIC33FJ256MC710", 0x00BF, 3, kFamilyDsPic33F},   // 55
    {"PIC24HJ64GP206", 0x0041, 3, kFamilyPic24H},        // 56
    {"PIC24HJ64GP210", 0x0047, 3, kFamilyPic24H},        // 57
    {"PIC24HJ64GP506", 0x0049, 3, kFamilyPic24H},        // 58
    {"PIC24HJ64GP510", 0x004B, 3, kFamilyPic24H},        // 59
    {"PIC24HJ128GP206", 0x005D, 3, kFamilyPic24H},       // 60
    {"PIC24HJ128GP210", 0x005F, 3, kFamilyPic24H},       // 61
    {"PIC24HJ128GP306", 0x0065, 3, kFamilyPic24H},       // 62
    {"PIC24HJ128GP310", 0x0067, 3, kFamilyPic24H},       // 63
    {"PIC24HJ128GP506", 0x0061, 3, kFamilyPic24H},       // 64
    {"PIC24HJ128GP510", 0x0063, 3, kFamilyPic24H},       // 65
    {"PIC24HJ256GP206", 0x0071, 3, kFamilyPic24H},       // 66
    {"PIC24HJ256GP210", 0x0073, 3, kFamilyPic24H},       // 67
    {"PIC24HJ256GP610", 0x007B, 3, kFamilyPic24H},       // 68
    {"PIC24HJ128GP204", 0x0667, 3, kFamilyPic24H},       // 69
    {"PIC24FJ64GA004", 0x044F, 3, kFamilyPic24F},        // 70
    {"PIC24FJ64GA006", 0x0405, 3, kFamilyPic24F},        // 71
    {"PIC24FJ64GA008", 0x0408, 3, kFamilyPic24F},        // 72
    {"PIC24FJ64GA010", 0x040B, 3, kFamilyPic24F},        // 73
    {"PIC24FJ96GA006", 0x0406, 3, kFamilyPic24F},        // 74
    {"PIC24FJ96GA008", 0x0409, 3, kFamilyPic24F},        // 75
    {"PIC24FJ96GA010", 0x040C, 3, kFamilyPic24F},        // 76
    {"PIC24FJ128GA006", 0x0407, 3, kFamilyPic24F},       // 77
    {"PIC24FJ128GA008", 0x040A, 3, kFamilyPic24F},       // 78
    {"PIC24FJ128GA010", 0x040D, 3, kFamilyPic24F},       // 79
    {"PIC24HJ64GP202", 0x0655, 3, kFamilyPic24H},        // 80
    {"PIC24HJ64GP204", 0x0657, 3, kFamilyPic24H},        // 81
    {"dsPIC33FJ128MC804", 0x062B, 3, kFamilyDsPic33F},   // 82
    {"dsPIC33FJ128MC706A", 0x0A93, 3, kFamilyDsPic33F},  // 83
    {"dsPIC33FJ256MC710A", 0x07BF, 3, kFamilyDsPic33F},  // 84
    {"dsPIC30F4011", 0x0101, 3, kFamilyDsPic30F},        // 85
    {"S3F828B", 0x0001, 1, kFamilyS3F828B},              // 86
    {"S3F84ZB", 0x0001, 2, kFamilyS3F84ZB},              // 87
    {"S3F84YB", 0x0001, 3, kFamilyS3F84YB},              // 88
    {"ATmega128", 0x0002, 1, kFamilyAtmega128},          // 89
    {nullptr, 0x0000, 0, 0},                             // end row
};

DeviceTableEntry LookupDevice(uint16_t deviceId, uint16_t pi) {
    const DeviceTableEntry* row = DeviceTable;
    while (row->family != 0 && !(row->deviceId == deviceId && row->pi == pi))
        ++row;
    return *row;
}

const DeviceTableEntry* FindDeviceByName(const std::string& name) {
    for (const DeviceTableEntry* row = DeviceTable; row->family != 0; ++row) {
        if (name == row->name)
            return row;
    }
    return nullptr;
}

ProgrammerKind ProgrammerKindFor(const DeviceTableEntry& entry) {
    if (entry.family == 0)
        return ProgrammerKind::None;
    if (entry.deviceId == kSamDeviceId)
        return ProgrammerKind::Sam;
    if (entry.deviceId == kAtmegaDeviceId)
        return ProgrammerKind::None;
    return ProgrammerKind::Pic;
}

}  // namespace tamrix
