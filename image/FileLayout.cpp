#include "image/FileLayout.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/IntelHex.h"
#include "image/MemorySAM.h"

namespace tamrix {

namespace {

// Phantom bytes a file must have before its layout is judged.
constexpr int kFewestPhantomBytes = 16;

}  // namespace

FileLayoutFacts ExamineFileLayout(const char* text, int length) {
    // Only the phantom bytes need their addresses kept, and only to count each address once with
    // the last value a record gave it; a byte image of the whole file would cost tens of bytes of
    // memory and an allocation for every byte, on every port of a download on several at once.
    class CLayoutReader : public CHexRecordVisitor {
      public:
        bool OnAfterEnd(const HexRecord&) override { return false; }
        bool OnData(const HexRecord& record, uint32_t extended) override {
            const uint32_t first = extended + static_cast<uint32_t>(record.address);
            for (int k = 0; k < record.byteCount; ++k) {
                const uint32_t address = first + static_cast<uint32_t>(k);
                if (address >= static_cast<uint32_t>(kSamFuseBase + kSamFuseBytes))
                    beyondSam = true;
                if (address % 4 == 3)
                    phantoms.push_back(Phantom{address, record.DataByte(k)});
            }
            return true;
        }

        struct Phantom {
            uint32_t address;
            uint8_t byte;
        };
        std::vector<Phantom> phantoms;  // in the order the records give them
        bool beyondSam = false;
    };

    // A text with a bad record still shows its layout in the records before it; whether the text
    // may be programmed at all is judged by the rules every firmware text is read by.
    CLayoutReader reader;
    static_cast<void>(WalkHexRecords(text, length, reader));
    std::vector<CLayoutReader::Phantom>& phantoms = reader.phantoms;
    // Records in rising order, none written over, is how firmware files come; otherwise the last
    // record to give an address has the final say, as when the bytes are laid into memory.
    const bool oncePerAddress =
        std::adjacent_find(phantoms.begin(), phantoms.end(), [](const auto& a, const auto& b) {
            return a.address >= b.address;
        }) == phantoms.end();
    if (!oncePerAddress) {
        std::stable_sort(phantoms.begin(), phantoms.end(),
                         [](const auto& a, const auto& b) { return a.address < b.address; });
    }

    FileLayoutFacts facts;
    facts.beyondSam = reader.beyondSam;
    for (size_t i = 0; i < phantoms.size(); ++i) {
        if (i + 1 < phantoms.size() && phantoms[i + 1].address == phantoms[i].address)
            continue;  // a later record gives this address again
        ++facts.phantomBytes;
        if (phantoms[i].byte != 0)
            ++facts.phantomNonZero;
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
