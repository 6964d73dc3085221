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

}  // namespace

SimVerifyResult VerifyFlashImage(bool pic, const std::map<uint32_t, uint8_t>& after,
                                 const std::map<uint32_t, uint8_t>& fileImage,
                                 const std::map<uint32_t, uint8_t>& before) {
    SimVerifyResult result;
    const uint8_t erased = 0xFF;
    auto flashByte = [&](uint32_t address) {
        const auto it = after.find(address);
        return it == after.end() ? erased : it->second;
    };
    auto beforeByte = [&](uint32_t address) {
        const auto it = before.find(address);
        return it == before.end() ? erased : it->second;
    };

    // Every byte the file brings must be in the flash.
    std::set<uint32_t> expected;  // addresses the file decides
    bool samFusesBeyondRowZero = false;
    if (!pic) {
        for (const auto& [address, byte] : fileImage) {
            if (address >= kSamFuseStart + 4)
                samFusesBeyondRowZero = true;
        }
    }
    for (const auto& [address, byte] : fileImage) {
        bool programmed = false;
        if (pic) {
            programmed = PicByteIsProgrammed(address);
        } else {
            programmed =
                address < kSamEepromEnd ||
                (address >= kSamFuseStart && address < kSamFuseStart + 4 && !samFusesBeyondRowZero);
        }
        if (!programmed)
            continue;
        expected.insert(address);
        ++result.compared;
        if (flashByte(address) != byte) {
            result.difference =
                Format("byte 0x%X: file 0x%02X, flash 0x%02X", address, byte, flashByte(address));
            return result;
        }
    }

    // Nothing else may have changed, apart from the padding of the rows the file touched (erased
    // bytes written as erased, which may also erase what was there before) and, on a PIC, the
    // memories a download leaves alone.
    for (const auto& [address, byte] : after) {
        if (expected.count(address) != 0)
            continue;
        if (pic && !PicByteIsProgrammed(address))
            continue;
        if (byte != beforeByte(address)) {
            result.difference = Format(
                "byte 0x%X changed from 0x%02X to 0x%02X although the file "
                "does not set it",
                address, beforeByte(address), byte);
            return result;
        }
    }
    result.matches = true;
    return result;
}

}  // namespace tamrix
