#include "programmer/DeviceTable.h"

namespace tamrix {

// Rows in the order the lookup scans them. Several names appear twice with another identifier
// or PI value; every (deviceId, pi) pair is unique.
const DeviceTableEntry DeviceTable[kDeviceTableRows + 1] = {
    {"dsPIC30F2010", 0x0040, 1, 1},        // 0
    {"dsPIC30F2011", 0x00C0, 1, 1},        // 1
    {"dsPIC30F2011", 0x0240, 1, 1},        // 2
    {"dsPIC30F2012", 0x00C2, 1, 1},        // 3
    {"dsPIC30F2012", 0x0241, 1, 1},        // 4
    {"dsPIC30F3010", 0x01C0, 1, 1},        // 5
    {"dsPIC30F3011", 0x01C1, 1, 1},        // 6
    {"dsPIC30F3012", 0x00C1, 1, 1},        // 7
    {"dsPIC30F3013", 0x00C3, 1, 1},        // 8
    {"dsPIC30F3014", 0x0160, 1, 1},        // 9
    {"dsPIC30F4011", 0x0101, 1, 1},        // 10
    {"dsPIC30F4012", 0x0100, 1, 1},        // 11
    {"dsPIC30F4013", 0x0141, 1, 1},        // 12
    {"dsPIC30F5011", 0x0080, 1, 1},        // 13
    {"dsPIC30F5013", 0x0081, 1, 1},        // 14
    {"dsPIC30F5015", 0x0200, 1, 1},        // 15
    {"dsPIC30F5016", 0x0201, 1, 1},        // 16
    {"dsPIC30F6010", 0x0188, 1, 1},        // 17
    {"dsPIC30F6010A", 0x0281, 1, 1},       // 18
    {"dsPIC30F6011", 0x0192, 1, 1},        // 19
    {"dsPIC30F6011A", 0x02C0, 1, 1},       // 20
    {"dsPIC30F6012", 0x0193, 1, 1},        // 21
    {"dsPIC30F6012A", 0x02C2, 1, 1},       // 22
    {"dsPIC30F6013", 0x0197, 1, 1},        // 23
    {"dsPIC30F6013A", 0x02C1, 1, 1},       // 24
    {"dsPIC30F6014", 0x0198, 1, 1},        // 25
    {"dsPIC30F6014A", 0x02C3, 1, 1},       // 26
    {"dsPIC30F6015", 0x0280, 1, 1},        // 27
    {"dsPIC33FJ64GP206", 0x00C1, 3, 2},    // 28
    {"dsPIC33FJ64GP306", 0x00CD, 3, 2},    // 29
    {"dsPIC33FJ64GP310", 0x00CF, 3, 2},    // 30
    {"dsPIC33FJ64GP706", 0x00D5, 3, 2},    // 31
    {"dsPIC33FJ64GP708", 0x00D6, 3, 2},    // 32
    {"dsPIC33FJ64GP710", 0x00D7, 3, 2},    // 33
    {"dsPIC33FJ128GP206", 0x00D9, 3, 2},   // 34
    {"dsPIC33FJ128GP306", 0x00E5, 3, 2},   // 35
    {"dsPIC33FJ128GP310", 0x00E7, 3, 2},   // 36
    {"dsPIC33FJ128GP706", 0x00ED, 3, 2},   // 37
    {"dsPIC33FJ128GP708", 0x00EE, 3, 2},   // 38
    {"dsPIC33FJ128GP710", 0x00EF, 3, 2},   // 39
    {"dsPIC33FJ256GP506", 0x00F5, 3, 2},   // 40
    {"dsPIC33FJ256GP510", 0x00F7, 3, 2},   // 41
    {"dsPIC33FJ256GP710", 0x00FF, 3, 2},   // 42
    {"dsPIC33FJ64MC506", 0x0089, 3, 2},    // 43
    {"dsPIC33FJ64MC508", 0x008A, 3, 2},    // 44
    {"dsPIC33FJ64MC510", 0x008B, 3, 2},    // 45
    {"dsPIC33FJ64MC706", 0x0091, 3, 2},    // 46
    {"dsPIC33FJ64MC710", 0x0097, 3, 2},    // 47
    {"dsPIC33FJ128MC204", 0x0623, 3, 2},   // 48
    {"dsPIC33FJ128MC506", 0x00A1, 3, 2},   // 49
    {"dsPIC33FJ128MC510", 0x00A3, 3, 2},   // 50
    {"dsPIC33FJ128MC706", 0x00A9, 3, 2},   // 51
    {"dsPIC33FJ128MC708", 0x00AE, 3, 2},   // 52
    {"dsPIC33FJ128MC710", 0x00AF, 3, 2},   // 53
    {"dsPIC33FJ256MC510", 0x00B7, 3, 2},   // 54
    {"dsPIC33FJ256MC710", 0x00BF, 3, 2},   // 55
    {"PIC24HJ64GP206", 0x0041, 3, 3},      // 56
    {"PIC24HJ64GP210", 0x0047, 3, 3},      // 57
    {"PIC24HJ64GP506", 0x0049, 3, 3},      // 58
    {"PIC24HJ64GP510", 0x004B, 3, 3},      // 59
    {"PIC24HJ128GP206", 0x005D, 3, 3},     // 60
    {"PIC24HJ128GP210", 0x005F, 3, 3},     // 61
    {"PIC24HJ128GP306", 0x0065, 3, 3},     // 62
    {"PIC24HJ128GP310", 0x0067, 3, 3},     // 63
    {"PIC24HJ128GP506", 0x0061, 3, 3},     // 64
    {"PIC24HJ128GP510", 0x0063, 3, 3},     // 65
    {"PIC24HJ256GP206", 0x0071, 3, 3},     // 66
    {"PIC24HJ256GP210", 0x0073, 3, 3},     // 67
    {"PIC24HJ256GP610", 0x007B, 3, 3},     // 68
    {"PIC24HJ128GP204", 0x0667, 3, 3},     // 69
    {"PIC24FJ64GA004", 0x044F, 3, 4},      // 70
    {"PIC24FJ64GA006", 0x0405, 3, 4},      // 71
    {"PIC24FJ64GA008", 0x0408, 3, 4},      // 72
    {"PIC24FJ64GA010", 0x040B, 3, 4},      // 73
    {"PIC24FJ96GA006", 0x0406, 3, 4},      // 74
    {"PIC24FJ96GA008", 0x0409, 3, 4},      // 75
    {"PIC24FJ96GA010", 0x040C, 3, 4},      // 76
    {"PIC24FJ128GA006", 0x0407, 3, 4},     // 77
    {"PIC24FJ128GA008", 0x040A, 3, 4},     // 78
    {"PIC24FJ128GA010", 0x040D, 3, 4},     // 79
    {"PIC24HJ64GP202", 0x0655, 3, 3},      // 80
    {"PIC24HJ64GP204", 0x0657, 3, 3},      // 81
    {"dsPIC33FJ128MC804", 0x062B, 3, 2},   // 82
    {"dsPIC33FJ128MC706A", 0x0A93, 3, 2},  // 83
    {"dsPIC33FJ256MC710A", 0x07BF, 3, 2},  // 84
    {"dsPIC30F4011", 0x0101, 3, 1},        // 85
    {"S3F828B", 0x0001, 1, 101},           // 86
    {"S3F84ZB", 0x0001, 2, 102},           // 87
    {"S3F84YB", 0x0001, 3, 103},           // 88
    {"ATmega128", 0x0002, 1, 201},         // 89
    {nullptr, 0x0000, 0, 0},               // end row
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
