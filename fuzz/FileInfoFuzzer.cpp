// Fuzzer of the PIC file-information reader: ReadFileInfoFromBuffer on any text, refused ones
// included (the download process asks it before the loader has seen the text), with the product
// code and version addresses at their defaults or at what a bootloader's version-address reply
// may say: any 32-bit value, negative and huge ones too. The input's length picks the pair.
// HexPicFuzzer compares its findings with the loader's on the texts the loader accepts.

#include <climits>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/HexMutator.h"
#include "platform/Clock.h"
#include "programmer/PicVersion.h"
#include "programmer/ProgramerPIC.h"
#include "tests/support/RecordingWindow.h"

using namespace tamrix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20)
        return -1;
    static const int kAddresses[][2] = {
        {kPicProductCodeAddress, kPicVersionAddress},
        {0, 1},
        {kPicVersionAddress, kPicProductCodeAddress},
        {-1, INT_MIN},
        {INT_MAX, INT_MAX - 1},
        {0x7FF000, 0xF80000},
        {0x40000000, 0x7FFFFFFF},
    };
    const int(&pair)[2] = kAddresses[size % (sizeof kAddresses / sizeof kAddresses[0])];

    CVirtualClock clock;
    test::RecordingWindow window;
    CProgramerPIC programmer(nullptr, clock, &window);
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    int versionFlag = -1;
    const bool found = programmer.ReadFileInfoFromBuffer(
        reinterpret_cast<const char*>(data), static_cast<int>(size), pair[0], productCode, pair[1],
        appVersion, versionFlag);
    if (found && versionFlag != 0 && versionFlag != 1)
        fuzz::Disagree("version flag " + std::to_string(versionFlag));
    if (found != (window.StatusLines().size() == 1))
        fuzz::Disagree("a found file information is reported once, a missing one never");
    return 0;
}

// Record-aware mutations (HexMutator.h) besides libFuzzer's own.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
    return fuzz::MutateHexText(data, size, maxSize, seed);
}
