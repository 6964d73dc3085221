#pragma once
// Helpers of the PIC tests: HEX records and a scripted bootloader answering row writes.

#include <cstdint>
#include <string>
#include <vector>

#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "programmer/ProgramerPIC.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix::test {

// One record with CR LF, upper-case digits, correct checksum.
inline std::string Record(int type, uint16_t address, const std::vector<uint8_t>& data) {
    return FormatHexRecord(type, address, data.data(), static_cast<int>(data.size()), true);
}
inline std::string Data(uint16_t address, const std::vector<uint8_t>& data) {
    return Record(kHexData, address, data);
}
inline std::string Linear(uint16_t upper) {
    return Record(kHexExtendedLinear, 0,
                  {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)});
}
inline const std::string kEndRecord = ":00000001FF\r\n";

// The bootloader's side of row writes: once `frameBytes` more bytes have been written, the next
// scripted answer arrives 2 ms later; an empty answer, or none left, is silence. The time of
// every completed frame is kept.
struct ScriptedRowTarget {
    size_t frameBytes = 0;
    std::vector<std::vector<uint8_t>> answers;
    std::vector<int64_t> frameTimes;

    void Attach(FakeChannel& channel, CVirtualClock& clock) {
        channel.onWrite = [this, &clock, got = size_t{0}](FakeChannel& ch,
                                                          const std::vector<uint8_t>& w) mutable {
            got += w.size();
            if (got < frameBytes)
                return;
            got = 0;
            frameTimes.push_back(clock.NowMs());
            const size_t n = frameTimes.size() - 1;
            if (n < answers.size() && !answers[n].empty())
                ch.Deliver(answers[n], 2);
        };
    }
};

// A PIC programmer on a scripted channel in virtual time, with a recording window.
struct PicRig {
    CVirtualClock clock;
    FakeChannel channel{clock};
    RecordingWindow window;
    CProgramerPIC programmer{&channel, clock, &window};

    explicit PicRig(int family = 2) { programmer.BuildMemoryMap(family); }
    int Load(const std::string& text) {
        return programmer.LoadHexBuffer(text.data(), static_cast<int>(text.size()));
    }
    CMemory& Row(int index) { return *programmer.Rows()[static_cast<size_t>(index)]; }
};

}  // namespace tamrix::test
