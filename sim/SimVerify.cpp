#include "sim/SimVerify.h"

#include <set>

#include "common/Format.h"

namespace tamrix {

namespace {

constexpr uint32_t kPicResetVectorEnd = 8;         // HEX bytes of device addresses 0..3
constexpr uint32_t kPicEepromHexStart = 0xFFE000;  // device 0x7FF000
constexpr uint32_t kPicEepromHexEnd = 0x1000000;
constexpr uint32_t kPicConfigHexStart = 0x1F00000;  // device 0xF80000
constexpr uint32_t kSamEepromEnd = 0x14000;
constexpr uint32_t kSamFuseStart = 0x20000;

// Whether a HEX byte of a PIC file reaches the target's flash in a download.
bool PicByteIsProgrammed(uint32_t address) {
    if (address < kPicResetVectorEnd || address >= kPicConfigHexStart)
        return false;
    const uint32_t k = address % 4;
    if (address >= kPicEepromHexStart && address < kPicEepromHexEnd)
        return k < 2;
    return k < 3;
}

// The byte at `address` of a flash given as its byte map: erased where the map has none.
uint8_t ByteAt(const std::map<uint32_t, uint8_t>& flash, uint32_t address) {
    const auto it = flash.find(address);
    return it == flash.end() ? 0xFF : it->second;
}

// The rule that says which bytes of a file reach the target's flash in a download.
class CProgrammedBytes {
  public:
    CProgrammedBytes(bool pic, const std::map<uint32_t, uint8_t>& fileImage) : pic_(pic) {
        if (pic)
            return;
        // A SAM file that sets fuse bytes beyond the first fuse row has them all left alone.
        for (const auto& [address, byte] : fileImage) {
            if (address >= kSamFuseStart + 4)
                samFusesBeyondRowZero_ = true;
        }
    }
    bool operator()(uint32_t address) const {
        if (pic_)
            return PicByteIsProgrammed(address);
        return address < kSamEepromEnd ||
               (address >= kSamFuseStart && address < kSamFuseStart + 4 && !samFusesBeyondRowZero_);
    }

  private:
    bool pic_;
    bool samFusesBeyondRowZero_ = false;
};

// Every byte the file brings must be in the flash: false, with the difference, at the first that
// is not. `expected` receives the addresses the file decides.
bool FileBytesInFlash(const CProgrammedBytes& programmed, const std::map<uint32_t, uint8_t>& after,
                      const std::map<uint32_t, uint8_t>& fileImage, std::set<uint32_t>& expected,
                      SimVerifyResult& result) {
    for (const auto& [address, byte] : fileImage) {
        if (!programmed(address))
            continue;
        expected.insert(address);
        ++result.compared;
        if (ByteAt(after, address) != byte) {
            result.difference = Format("byte 0x%X: file 0x%02X, flash 0x%02X", address, byte,
                                       ByteAt(after, address));
            return false;
        }
    }
    return true;
}

// Nothing else may have changed, apart from the padding of the rows the file touched (erased
// bytes written as erased, which may also erase what was there before) and, on a PIC, the
// memories a download leaves alone: false, with the difference, at the first that did.
bool RestUnchanged(bool pic, const std::map<uint32_t, uint8_t>& after,
                   const std::map<uint32_t, uint8_t>& before, const std::set<uint32_t>& expected,
                   SimVerifyResult& result) {
    for (const auto& [address, byte] : after) {
        if (expected.count(address) != 0)
            continue;
        if (pic && !PicByteIsProgrammed(address))
            continue;
        if (byte != ByteAt(before, address)) {
            result.difference = Format(
                "byte 0x%X changed from 0x%02X to 0x%02X although the file "
                "does not set it",
                address, ByteAt(before, address), byte);
            return false;
        }
    }
    return true;
}

}  // namespace

SimVerifyResult VerifyFlashImage(bool pic, const std::map<uint32_t, uint8_t>& after,
                                 const std::map<uint32_t, uint8_t>& fileImage,
                                 const std::map<uint32_t, uint8_t>& before) {
    SimVerifyResult result;
    std::set<uint32_t> expected;  // addresses the file decides
    const CProgrammedBytes programmed(pic, fileImage);
    result.matches = FileBytesInFlash(programmed, after, fileImage, expected, result) &&
                     RestUnchanged(pic, after, before, expected, result);
    return result;
}

}  // namespace tamrix
