// Fuzzer of the port map reader, CPortMap::LoadText. Every entry it keeps must be one the file
// format can say again: a COM number from 1 to 255 and a device path that is not empty, has no
// white space at its ends, no comment sign, no line end and no NUL byte (the path goes to the
// system as a C string, which would end there). Written back in the format ("COMn = device",
// as Save writes it), the entries must read back the same. The result is true exactly when no
// line was refused, and every refused line is named once.

#include <cctype>
#include <cstdint>
#include <string>

#include "comm/PortMap.h"
#include "fuzz/FuzzCheck.h"

using namespace tamrix;
using fuzz::Disagree;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024)
        return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    CPortMap map;
    std::string error;
    const bool good = map.LoadText(text, &error);
    if (good != map.Problems().empty() || (!good && error != map.Problems().front()))
        Disagree("LoadText's result and its problems do not match");

    std::string again;
    for (const auto& [number, device] : map.Entries()) {
        if (number < 1 || number > 255)
            Disagree("COM" + std::to_string(number));
        if (device.empty() || std::isspace(static_cast<unsigned char>(device.front())) ||
            std::isspace(static_cast<unsigned char>(device.back())) ||
            device.find_first_of(std::string("#\n\0", 3)) != std::string::npos) {
            Disagree("device path \"" + device + "\" of COM" + std::to_string(number));
        }
        again += "COM" + std::to_string(number) + " = " + device + "\n";
    }
    CPortMap reread;
    if (!reread.LoadText(again) || reread.Entries() != map.Entries())
        Disagree("the entries do not read back as they are written");
    return 0;
}
