#include "image/FirmwareFile.h"

#include "common/Format.h"
#include "common/ReportWindow.h"
#include "image/Keystream.h"
#include "platform/FileAccess.h"
#include "platform/Sha256.h"

namespace tamrix {

namespace {

void Report(CReportWindow* window, const std::string& text) {
    if (window != nullptr)
        window->SendStatusLine(text);
}

}  // namespace

int ConvertBinFile(uint8_t* imageBuffer, CReportWindow* window, const std::string& path,
                   int& imageSize, uint32_t seed) {
    // Read-only under the shared advisory lock (see the header), regular files only, the size
    // checked before anything is read, and a file that delivers fewer bytes than its size refused:
    // it was cut short or is still being copied.
    const FileReadResult file = ReadRegularFile(path, kImageBufferSize, FileReadMode::SharedLock);
    switch (file.error) {
        case FileError::None:
            break;
        case FileError::TooLarge:
            // Refused before anything reaches the buffer: the text would run past its end.
            Report(window,
                   Format("[Error] : Bin File Too Large - Convert (%llu bytes, at most %d)\r\n",
                          static_cast<unsigned long long>(file.size), kImageBufferSize));
            return 0;
        case FileError::Empty:
        case FileError::ReadFailed:
        case FileError::Changed:
            Report(window, "[Error] : Bin File Read Fail - Convert \r\n");
            return 0;
        default:
            Report(window, "[Error] : Bin File Open Fail - Convert\r\n");
            return 0;
    }

    // One draw per byte, from the start of the file: the key depends only on the position.
    CKeystream keystream(seed);
    const size_t count = file.bytes.size();
    for (size_t i = 0; i < count; ++i)
        imageBuffer[i] = file.bytes[i] ^ keystream.NextKey();
    imageSize = static_cast<int>(count);
    return 1;
}

void ApplyKeystream(uint8_t* bytes, size_t count, uint32_t seed) {
    CKeystream keystream(seed);
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= keystream.NextKey();
}

std::vector<uint8_t> ScrambleBytes(std::vector<uint8_t> bytes, uint32_t seed) {
    ApplyKeystream(bytes.data(), bytes.size(), seed);
    return bytes;
}

std::string FirmwareFileSha256(const std::vector<uint8_t>& text, uint32_t seed) {
    const std::vector<uint8_t> file = ScrambleBytes(text, seed);
    return Sha256Hex(file.data(), file.size());
}

bool WriteFirmwareFile(const std::string& path, const std::vector<uint8_t>& hexText, uint32_t seed,
                       std::string& error) {
    const std::vector<uint8_t> scrambled = ScrambleBytes(hexText, seed);
    std::string reason;
    switch (ReplaceFileAtomically(path, scrambled.data(), scrambled.size(), &reason)) {
        case FileError::None:
            return true;
        case FileError::CannotOpen:
            error = Format("cannot create %s: %s", path.c_str(), reason.c_str());
            return false;
        default:
            error = Format("cannot write %s: %s", path.c_str(), reason.c_str());
            return false;
    }
}

}  // namespace tamrix
