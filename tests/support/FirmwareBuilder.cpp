#include "tests/support/FirmwareBuilder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"

namespace tamrix::test {

FirmwareBuilder& FirmwareBuilder::Instruction(uint32_t deviceAddress, uint32_t value) {
    const uint32_t at = 2 * deviceAddress;
    image_[at] = static_cast<uint8_t>(value);
    image_[at + 1] = static_cast<uint8_t>(value >> 8);
    image_[at + 2] = static_cast<uint8_t>(value >> 16);
    image_[at + 3] = 0;
    return *this;
}

FirmwareBuilder& FirmwareBuilder::Word(uint32_t deviceAddress, uint16_t value) {
    return Instruction(deviceAddress, value);
}

FirmwareBuilder& FirmwareBuilder::Identity(uint16_t productCode, uint16_t appVersion,
                                           uint8_t versionUpper, uint32_t productCodeAddress,
                                           uint32_t versionAddress) {
    Instruction(productCodeAddress, productCode);
    return Instruction(versionAddress, appVersion | (static_cast<uint32_t>(versionUpper) << 16));
}

FirmwareBuilder& FirmwareBuilder::Byte(uint32_t address, uint8_t value) {
    image_[address] = value;
    return *this;
}

std::string FirmwareBuilder::HexText(int recordSize) const {
    return FormatIntelHex(image_, recordSize);
}

bool FirmwareBuilder::WriteHex(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string text = HexText();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

bool FirmwareBuilder::WriteBin(const std::string& path, uint32_t seed) const {
    const std::string text = HexText();
    std::string error;
    return WriteFirmwareFile(path, std::vector<uint8_t>(text.begin(), text.end()), seed, error);
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/tamrix-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr)
        path_ = pattern;
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace tamrix::test
