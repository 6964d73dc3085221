#include "image/FileLayout.h"

#include <cstdint>
#include <map>

#include "image/IntelHex.h"
#include "image/MemorySAM.h"

namespace tamrix {

namespace {

// Phantom bytes a file must have before its layout is judged.
constexpr int kFewestPhantomBytes = 16;

}  // namespace

FileLayoutFacts ExamineFileLayout(const char* text, int length) {
    std::map<uint32_t, uint8_t> image;
    // A text with a bad record still shows its layout in the records before it; whether the text
    // may be programmed at all is judged by the rules every firmware text is read by.
    static_cast<void>(ParseIntelHex(text, length, image));
    FileLayoutFacts facts;
    for (const auto& [address, byte] : image) {
        if (address >= static_cast<uint32_t>(kSamFuseBase + kSamFuseBytes))
            facts.beyondSam = true;
        if (address % 4 == 3) {
            ++facts.phantomBytes;
            if (byte != 0)
                ++facts.phantomNonZero;
        }
    }
    return facts;
}

bool GuessedSam(const FileLayoutFacts& facts) {
    return !facts.beyondSam && facts.phantomNonZero > 0;
}

bool ClearlyPicFile(const FileLayoutFacts& facts) {
    // Data beyond a SAM image cannot be for a SAM product at all.
    const int fewest = facts.beyondSam ? 1 : kFewestPhantomBytes;
    return facts.phantomBytes >= fewest && facts.phantomNonZero == 0;
}

bool ClearlySamFile(const FileLayoutFacts& facts) {
    return !facts.beyondSam && facts.phantomBytes >= kFewestPhantomBytes &&
           4 * facts.phantomNonZero > facts.phantomBytes;
}

}  // namespace tamrix
