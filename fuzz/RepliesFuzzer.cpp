// Fuzzer of what the host makes of its bootloader's replies: the handshake's identification
// (DetectTarget), the version and version-address requests, the flash reads, and the row
// acknowledges of ProgramFlash, each against a target whose every answer, and when it comes,
// is the fuzzer's. It runs on the scripted channel of the tests in virtual time, so a ten-second
// time-out costs nothing.
//
// Besides the sanitizers' checks: however the target answers (noise, silence, half replies,
// floods), every operation ends within a bounded virtual time; an identified target is a row of
// the device table; a version flag is 0 or 1; a flash read that succeeded leaves row 0 to be
// programmed; a programming run that says it succeeded sent the finish byte last.
//
// Input: byte 0 chooses the operation, byte 1 the line's rate, the PIC family and the row frames'
// checksum; the rest is the target's answers, one chunk at the start and one after each write of
// the host, each chunk
//     delay, n, n bytes                       (n < 0x80)
//     delay, 0x80 | c1, c0, value             c1 * 256 + c0 bytes of one value, at most 4096
//                                             (a long reply, or a flood)
// with the delay in virtual milliseconds: 5 x delay below 200, else 250 x (delay - 200).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "image/FamilyCodes.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "programmer/ProgramerPIC.h"
#include "programmer/ProgramerSAM.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

using namespace tamrix;
using fuzz::Disagree;
using test::FakeChannel;
using test::RecordingWindow;

namespace {

// The target: the fuzzer's chunks, one after each write of the host.
class ScriptedAnswers {
  public:
    ScriptedAnswers(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Delivers the next chunk, if there is one.
    void Next(FakeChannel& channel) {
        if (at_ + 2 > size_) {
            at_ = size_;
            return;
        }
        const unsigned code = data_[at_];
        const int delayMs =
            code < 200 ? static_cast<int>(5 * code) : static_cast<int>(250 * (code - 200));
        const unsigned n = data_[at_ + 1];
        at_ += 2;
        std::vector<uint8_t> bytes;
        if ((n & 0x80) != 0) {
            if (at_ + 2 > size_) {
                at_ = size_;
                return;
            }
            // At most 4 KiB: more than any reply, and noise enough.
            const size_t count = std::min<size_t>((n & 0x7F) * 256u + data_[at_], 4096);
            bytes.assign(count, data_[at_ + 1]);
            at_ += 2;
        } else {
            const size_t count = std::min<size_t>(n, size_ - at_);
            bytes.assign(data_ + at_, data_ + at_ + count);
            at_ += count;
        }
        channel.Deliver(bytes, delayMs);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A small image with program rows 0 and 1, an EEPROM row and the configuration words: the row
// frames of both kinds and both families' row loops.
const std::string& PicImage() {
    static const std::string text = [] {
        const uint8_t program[8] = {0x00, 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
        const uint8_t word[4] = {0x34, 0x12, 0x00, 0x00};
        const uint8_t linearEeprom[2] = {0x00, 0xFF};
        const uint8_t linearConfig[2] = {0x01, 0xF0};
        return FormatHexRecord(kHexData, 0x0000, program, 8) +
               FormatHexRecord(kHexData, 0x1800, word, 4) +
               FormatHexRecord(kHexExtendedLinear, 0, linearEeprom, 2) +
               FormatHexRecord(kHexData, 0xE000, word, 4) +
               FormatHexRecord(kHexExtendedLinear, 0, linearConfig, 2) +
               FormatHexRecord(kHexData, 0x0000, word, 4) + ":00000001FF\r\n";
    }();
    return text;
}

const std::string& SamImage() {
    static const std::string text = [] {
        const uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
        const uint8_t linear[2] = {0x00, 0x01};
        const uint8_t linearFuses[2] = {0x00, 0x02};
        return FormatHexRecord(kHexData, 0x0100, bytes, 4) +
               FormatHexRecord(kHexExtendedLinear, 0, linear, 2) +
               FormatHexRecord(kHexData, 0x0000, bytes, 4) +
               FormatHexRecord(kHexExtendedLinear, 0, linearFuses, 2) +
               FormatHexRecord(kHexData, 0x0000, bytes, 4) + ":00000001FF\r\n";
    }();
    return text;
}

enum Operation {
    kDetect,
    kPicVersion,
    kPicAddresses,
    kPicReadTarget,
    kPicReadSmallRow,
    kPicVersionFromFlash,
    kPicProgram,
    kSamVersion,
    kSamProgram,
    kPicDownload,  // the download's order: detect, addresses, version, reset vector, rows
    kOperations
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return -1;
    const int operation = data[0] % kOperations;
    static const int kRates[4] = {0, 115200, 9600, 1200};
    const int family = 1 + (data[1] >> 2) % 4;  // the four PIC families
    const int useChecksum = (data[1] >> 4) & 1;

    CVirtualClock clock(1000);
    FakeChannel channel(clock);
    channel.baudRate = kRates[data[1] % 4];
    RecordingWindow window;
    ScriptedAnswers answers(data + 2, size - 2);
    channel.onWrite = [&answers](FakeChannel& ch, const std::vector<uint8_t>&) {
        answers.Next(ch);
    };
    answers.Next(channel);

    CProgramerPIC pic(&channel, clock, &window);
    CProgramerSAM sam(&channel, clock, &window);
    bool ok = false;
    switch (operation) {
        case kDetect: {
            DeviceTableEntry found{};
            ok = pic.DetectTarget(found);
            if (ok != (found.name != nullptr) || (ok && found.family == 0))
                Disagree("DetectTarget's result and the device it found do not match");
            break;
        }
        case kPicVersion: {
            VersionInfo info;
            int flag = -1;
            ok = pic.ReadTargetVersion(info, flag) == 1;
            if (ok && flag != 0 && flag != 1)
                Disagree("version flag " + std::to_string(flag));
            break;
        }
        case kPicAddresses: {
            int addresses[3] = {};
            ok = pic.ReadVersionAddresses(addresses) == 1;
            break;
        }
        case kPicReadTarget:
        case kPicReadSmallRow: {
            pic.BuildMemoryMap(family);
            // The harness's own image loads whole: what is fuzzed is the replies.
            static_cast<void>(
                pic.LoadHexBuffer(PicImage().data(), static_cast<int>(PicImage().size())));
            ok = (operation == kPicReadTarget ? pic.ReadTargetData(family)
                                              : pic.ReadTargetDataSmallRow()) == 1;
            // The reset vector comes from the reply, and row 0 is always sent.
            if (ok && pic.Rows()[0]->isEmpty != 0)
                Disagree("row 0 is empty after a flash read");
            break;
        }
        case kPicVersionFromFlash: {
            pic.SetTargetFamily(FamilyOf(family));
            VersionInfo info;
            int flag = -1;
            ok = pic.ReadVersionFromFlash(info, flag) == 1;
            break;
        }
        case kPicProgram:
        case kPicDownload: {
            pic.BuildMemoryMap(family);
            // The harness's own image loads whole: what is fuzzed is the replies.
            static_cast<void>(
                pic.LoadHexBuffer(PicImage().data(), static_cast<int>(PicImage().size())));
            if (operation == kPicDownload) {
                DeviceTableEntry found{};
                int addresses[3] = {};
                VersionInfo info;
                int flag = 0;
                if (!pic.DetectTarget(found) || pic.ReadVersionAddresses(addresses) != 1 ||
                    pic.ReadTargetVersion(info, flag) != 1 || pic.ReadTargetData(family) != 1) {
                    break;
                }
            } else {
                for (const auto& row : pic.Rows())
                    row->PackRow();
            }
            ok = pic.ProgramFlash(useChecksum);
            break;
        }
        case kSamVersion: {
            VersionInfo info;
            int flag = 0;
            ok = sam.ReadTargetVersion(info, flag) == 1;
            break;
        }
        case kSamProgram:
            sam.BuildMemoryMap(kFamilyS3F828B);
            // The harness's own image loads whole, and a SAM target is never read.
            static_cast<void>(
                sam.LoadHexBuffer(SamImage().data(), static_cast<int>(SamImage().size())));
            static_cast<void>(sam.ReadTargetData(kFamilyS3F828B));
            ok = sam.ProgramFlash(useChecksum);
            break;
    }

    // A programming run that says it succeeded ended with the finish byte.
    if (ok && (operation == kPicProgram || operation == kPicDownload || operation == kSamProgram) &&
        (channel.writes.empty() || channel.writes.back() != std::vector<uint8_t>{kFinishCommand})) {
        Disagree("ProgramFlash succeeded without the finish byte last");
    }

    // Every wait of the host follows one of its writes and is bounded: the reply limits (about a
    // second and a half, plus the reply's wire time), a row frame's answer window (which grows on
    // a link seen to answer late, up to kLongestAnswerWindowMs), the quiet wait, the pauses; the
    // ten seconds of the start signal come once per handshake, and one more answer window at the
    // end of a programming run listens for answers that were given up.
    const int64_t perWrite = std::max(2500, kLongestAnswerWindowMs + kAckWaitMs) +
                             2 * int64_t{channel.WireTimeMs(2048)};
    const int64_t bound =
        2 * 12000 + kLongestAnswerWindowMs + int64_t(channel.writes.size() + 2) * perWrite;
    const int64_t spent = clock.NowMs() - 1000;
    if (spent > bound) {
        Disagree("the operation took " + std::to_string(spent) + " virtual ms for " +
                 std::to_string(channel.writes.size()) + " writes");
    }
    return 0;
}
