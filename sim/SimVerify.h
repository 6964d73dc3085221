#pragma once
// Does the simulated product's flash hold what a firmware file describes? The check used after
// every successful download in the demo and the end-to-end tests.
//
// What a download leaves on a PIC target: every instruction and EEPROM word of the file, except
// the first two instructions (the target keeps its own reset vector) and the configuration words
// (never sent by the download process); phantom bytes and EEPROM upper bytes carry nothing. On a
// SAM target: every program and EEPROM byte, and the four fuse bytes when the file sets only
// those. Everywhere else the flash must be as before (erased, or the product's own version words).

#include <cstdint>
#include <map>
#include <string>

namespace tamrix {

class CSimTarget;

struct SimVerifyResult {
    bool matches = false;
    int compared = 0;        // bytes of the file compared with the flash
    std::string difference;  // the first difference found, for the user
};

// `fileImage` is the file's Intel HEX content as a byte map (ParseIntelHex). `before` is the
// flash before the download (CSimTarget::HexImage()), so that untouched memory can be checked too.
SimVerifyResult VerifySimFlash(const CSimTarget& target,
                               const std::map<uint32_t, uint8_t>& fileImage,
                               const std::map<uint32_t, uint8_t>& before);
// The same for a flash given as its byte map (CSimProduct::HexImage()); `pic` chooses the PIC
// rules, else the SAM ones.
SimVerifyResult VerifyFlashImage(bool pic, const std::map<uint32_t, uint8_t>& after,
                                 const std::map<uint32_t, uint8_t>& fileImage,
                                 const std::map<uint32_t, uint8_t>& before);

}  // namespace tamrix
