#pragma once
// What one download process did, for the run report and the end-of-run lines: when it ran, which
// product it met, what the product ran before and holds after, what went over the link, how it
// ended and the last thing the window was told.

#include <chrono>
#include <cstdint>
#include <string>

#include "comm/LinkStatistics.h"
#include "programmer/Programmer.h"

namespace tamrix {

enum class DownloadOutcome;

struct DownloadRecord {
    std::chrono::system_clock::time_point started;
    std::chrono::system_clock::time_point ended;

    // The chip the handshake identified (empty name: none was).
    std::string chip;
    uint16_t deviceId = 0;
    int family = 0;

    // The product's firmware before the download, as its bootloader or its flash told it
    // (PIC targets only; SAM targets are not asked).
    bool targetVersionRead = false;
    VersionInfo before;

    // The firmware file's product code and application version, when they could be read (PIC
    // targets). After a successful download the product holds this firmware.
    bool fileInfoRead = false;
    uint16_t fileProductCode = 0;
    uint16_t fileAppVersion = 0;

    // The SHA-256 of the firmware file's bytes as the download read them at its start: the ones
    // it programs ("" when the file could not be read).
    std::string fileSha256;

    int passes = 0;            // a bootloader pass is followed by the application's
    int bootloaderPasses = 0;  // passes that programmed a bootloader image
    bool verifyAsked = false;  // every program row was to be read back and compared
    LinkStatistics link;       // summed over the passes
    // The programming of the rows alone (from the first row to the finish byte), summed over
    // the passes: the link's effective throughput.
    int64_t programmingMs = 0;
    int64_t programmingBytes = 0;  // both ways

    std::string lastStatusLine;  // without its line end
};

}  // namespace tamrix
