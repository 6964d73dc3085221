#include "bench/BenchImages.h"

#include <random>

#include "common/Format.h"
#include "image/IntelHex.h"
#include "image/MemorySAM.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix::bench {

namespace {

constexpr uint32_t kErasedInstruction = 0xFFFFFF;
constexpr uint8_t kErasedByte = 0xFF;

}  // namespace

ByteImage PicImage(int rows, int rowInstructions, uint32_t seed) {
    std::mt19937 rng(seed);
    test::FirmwareBuilder builder;
    const uint32_t instructions = static_cast<uint32_t>(rows) * rowInstructions;
    for (uint32_t i = 0; i < instructions; ++i) {
        uint32_t value = rng() & kErasedInstruction;
        if (value == kErasedInstruction)
            value = 0;
        builder.Instruction(2 * i, value);
    }
    return builder.Image();
}

ByteImage SamImage(uint32_t seed) {
    std::mt19937 rng(seed);
    test::FirmwareBuilder builder;
    for (uint32_t address = 0; address < kSamProgramRows * kSamRowBytes; ++address)
        builder.Byte(address, static_cast<uint8_t>(rng() % kErasedByte));
    return builder.Image();
}

int CountDifferences(const ByteImage& image, const ByteImage& dump, uint32_t from,
                     std::string* first) {
    if (image.empty())
        return 0;
    const uint32_t last = image.rbegin()->first;
    int count = 0;
    auto note = [&](uint32_t address, const char* what) {
        if (count++ == 0 && first)
            *first = Format("HEX address 0x%X: %s", address, what);
    };
    for (auto it = image.lower_bound(from); it != image.end(); ++it) {
        const auto found = dump.find(it->first);
        if (found == dump.end())
            note(it->first, "missing in the simulated flash");
        else if (found->second != it->second)
            note(it->first, "differs");
    }
    for (auto it = dump.lower_bound(from); it != dump.end() && it->first <= last; ++it) {
        if (image.count(it->first) == 0)
            note(it->first, "in the simulated flash but not in the image");
    }
    return count;
}

bool DumpMatches(const std::string& dumpPath, const ByteImage& image, uint32_t from,
                 std::string* error) {
    const std::string text = test::ReadWholeFile(dumpPath);
    ByteImage dump;
    std::string reason;
    if (text.empty() || !ParseIntelHex(text.data(), static_cast<int>(text.size()), dump, &reason)) {
        if (error)
            *error = "cannot read the simulator's dump " + dumpPath + " " + reason;
        return false;
    }
    std::string first;
    if (const int differences = CountDifferences(image, dump, from, &first)) {
        if (error) {
            *error = Format("the simulated flash differs from the image in %d bytes; first at %s",
                            differences, first.c_str());
        }
        return false;
    }
    return true;
}

}  // namespace tamrix::bench
