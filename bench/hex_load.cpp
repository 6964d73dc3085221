// How fast the PIC loader turns Intel HEX text into its row image, next to srec_cat reading the
// same file and writing it out as a binary. About 1 MiB of text: random data in 16-byte records,
// with an extended linear address record at every 64 KiB.
//
//   hex_load [repetitions]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/FamilyCodes.h"
#include "image/IntelHex.h"
#include "programmer/ProgramerPIC.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kTextBytes = 1 << 20;
constexpr int kFamily = tamrix::kFamilyDsPic33F;  // 512-instruction rows: program memory
                                                  // reaches far enough

std::string MakeHexText() {
    std::mt19937 rng(20240611);
    std::string text;
    text.reserve(kTextBytes + 64);
    uint8_t data[16];
    for (uint32_t address = 0; text.size() < kTextBytes; address += sizeof data) {
        if (address % 0x10000 == 0) {
            const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                      static_cast<uint8_t>(address >> 16)};
            text += tamrix::FormatHexRecord(tamrix::kHexExtendedLinear, 0, upper, 2, true);
        }
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(rng());
        text += tamrix::FormatHexRecord(tamrix::kHexData, static_cast<uint16_t>(address & 0xFFFF),
                                        data, sizeof data, true);
    }
    text += ":00000001FF\r\n";
    return text;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One load into a freshly built image; the build is not timed. Negative when the load failed.
double TimeLoad(const std::string& text) {
    tamrix::CProgramerPIC programmer(nullptr);
    programmer.BuildMemoryMap(kFamily);
    const auto start = Clock::now();
    const int result = programmer.LoadHexBuffer(text.data(), static_cast<int>(text.size()));
    const double ms = MillisecondsSince(start);
    return result == 1 ? ms : -1;
}

// One srec_cat run as a child process. Negative when it failed.
double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double ms = MillisecondsSince(start);
    return status == 0 ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string text = MakeHexText();

    const std::string stem = "/tmp/tamrix_hex_load_" + std::to_string(::getpid());
    const std::string hexPath = stem + ".hex";
    const std::string binPath = stem + ".bin";
    const std::string tinyPath = stem + "_tiny.hex";
    {
        std::ofstream(hexPath, std::ios::binary) << text;
        std::ofstream(tinyPath, std::ios::binary) << ":0100000000FF\r\n:00000001FF\r\n";
    }
    const std::string convert = "srec_cat " + hexPath + " -intel -o " + binPath + " -binary";
    const std::string convertTiny = "srec_cat " + tinyPath + " -intel -o " + binPath + " -binary";

    std::vector<double> load, srec, spawn;
    bool failed = false;
    TimeLoad(text);  // warm-up: page in the text and the allocator
    for (int i = 0; i < repetitions && !failed; ++i) {
        const double l = TimeLoad(text);
        const double s = TimeCommand(convert);
        const double e = TimeCommand(convertTiny);
        failed = l < 0 || s < 0 || e < 0;
        load.push_back(l);
        srec.push_back(s);
        spawn.push_back(e);
    }
    std::remove(hexPath.c_str());
    std::remove(binPath.c_str());
    std::remove(tinyPath.c_str());
    if (failed) {
        std::fprintf(stderr, "hex_load: the load or srec_cat failed\n");
        return 1;
    }

    const double loadMs = Median(load);
    const double srecMs = Median(srec);
    std::printf("PIC HEX load, %zu bytes of Intel HEX text, median of %d runs\n", text.size(),
                repetitions);
    std::printf("  LoadHexBuffer                : %8.2f ms\n", loadMs);
    std::printf(
        "  srec_cat -intel -> -binary   : %8.2f ms  (srec_cat on a one-byte file: "
        "%.2f ms)\n",
        srecMs, Median(spawn));
    std::printf("  ratio LoadHexBuffer/srec_cat : %8.3f\n", loadMs / srecMs);
    return 0;
}
