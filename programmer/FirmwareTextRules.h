#pragma once
// The rules every firmware text is read by, whichever family it is for: each record checks out
// (syntax, byte count, checksum), the text ends with an end record and has nothing after it, and
// it holds no start address (a bootloader image has no place for one). The programmers read their
// images by these rules; the download process checks a file by them before the product is woken.

#include <cstdint>
#include <functional>
#include <string>

#include "image/IntelHex.h"

namespace tamrix {

// Called with a status line that says what is wrong with the text.
using TextReport = std::function<void(const std::string& line)>;
// Places one checked data record (see CHexRecordVisitor::OnData): true when every byte found its
// place.
using DataPlacer = std::function<bool(const HexRecord& record, uint32_t extended)>;

// Walks the whole text, placing each data record with `place` (none: only checks): true when
// every record was read and placed. The first fault stops the walk: a record the placer could not
// place whole (it says why), or any other, after a line to `report`.
[[nodiscard]] bool ReadFirmwareText(const char* text, int length, const TextReport& report,
                                    const DataPlacer& place = {});

}  // namespace tamrix
