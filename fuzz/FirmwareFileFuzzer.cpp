// Fuzzer of firmware files: the input is the Intel HEX text a producer scrambles; the harness
// writes it scrambled as a firmware file, reads it back with ConvertBinFile into the download's
// 1 MiB buffer and loads the result with LoadHexBuffer, as the download process does. The
// keystream is a bijection, so every file content is some text's scrambled form.
//
// ConvertBinFile must give back the text exactly, report its length, leave the rest of the
// buffer zero, and refuse an empty file; the loader must then take the text as HexPicFuzzer's
// model says (accepted syntax, bytes within the image).

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/HexModel.h"
#include "fuzz/HexMutator.h"
#include "image/FamilyCodes.h"
#include "image/FirmwareFile.h"
#include "platform/Clock.h"
#include "programmer/ProgramerPIC.h"

using namespace tamrix;
using fuzz::Disagree;

namespace {

// One scratch file per fuzzing process, in memory where the system offers it.
class ScratchFile {
  public:
    ScratchFile() {
        std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = folder + "/tamrix-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder_ = pattern;
        path_ = folder_ + "/firmware.bin";
    }
    ~ScratchFile() {
        std::remove(path_.c_str());
        rmdir(folder_.c_str());
    }
    const std::string& Path() const { return path_; }
    void Write(const std::vector<uint8_t>& bytes) const {
        FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            std::fclose(file) != 0) {
            std::perror(path_.c_str());
            std::abort();
        }
    }

  private:
    std::string folder_;
    std::string path_;
};

bool InImage(uint32_t device) {
    return device < 1536u * 1024u || (device >= 0x7FF000 && device < 0x800000) ||
           (device >= 0xF80000 && device < 0xF80010);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024)
        return -1;
    static ScratchFile file;
    static std::vector<uint8_t> imageBuffer(kImageBufferSize, 0);
    static size_t previous = 0;

    file.Write(ScrambleBytes(std::vector<uint8_t>(data, data + size)));
    std::memset(imageBuffer.data(), 0, previous);
    int imageSize = -1;
    const int converted = ConvertBinFile(imageBuffer.data(), nullptr, file.Path(), imageSize);
    previous = size;
    if (size == 0) {
        if (converted != 0)
            Disagree("an empty firmware file was converted");
        return 0;
    }
    if (converted != 1 || imageSize != static_cast<int>(size) ||
        std::memcmp(imageBuffer.data(), data, size) != 0 || imageBuffer[size] != 0) {
        Disagree("ConvertBinFile did not give the text back");
    }

    CVirtualClock clock;
    CProgramerPIC programmer(nullptr, clock);
    programmer.BuildMemoryMap(kFamilyDsPic33F);
    const int loaded =
        programmer.LoadHexBuffer(reinterpret_cast<const char*>(imageBuffer.data()), imageSize);
    const fuzz::HexModel model = fuzz::ReadHexModel(data, size);
    bool expectLoaded = model.accepted;
    for (const auto& entry : model.bytes)
        expectLoaded = expectLoaded && InImage(entry.first / 2);
    if ((loaded == 1) != expectLoaded)
        Disagree("the converted text loads " + std::to_string(loaded) + "; the model says " +
                 (expectLoaded ? "1" : "0: " + model.why));
    return 0;
}

// Record-aware mutations (HexMutator.h) besides libFuzzer's own.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
    return fuzz::MutateHexText(data, size, maxSize, seed);
}
