#pragma once
// Which programmer serves an identified chip, decided in one place for every caller (the download
// process, tamrix-cli program-hex, the tests).

#include <memory>

#include "image/DeviceTable.h"
#include "programmer/Programmer.h"

namespace tamrix {

class CCommChannel;
class CClock;
class CReportWindow;

// The programmer for the chip `entry` names, on `channel`, reporting to `window` (may be null):
// CProgramerSAM for device identifier 0x0001, CProgramerPIC (told the chip's family) for every
// other listed chip, and null for the ATmega128 (0x0002) and the end row, which this program
// cannot program. The channel and window are not owned.
std::unique_ptr<CProgramer> MakeProgrammerFor(const DeviceTableEntry& entry, CCommChannel* channel,
                                              CClock& clock, CReportWindow* window);

}  // namespace tamrix
