#pragma once
// --port auto: the product looked for on every port present at once. Each port runs the handshake
// that every download begins with (the identification request a product waiting in its
// bootloader answers, the wake-up message, the wait for the start signal) on a thread of its own,
// so the search takes one wake-up however many ports there are. Exactly one port may answer:
// the product on it is named, its port stays held, and the download that follows finds it waiting
// in its bootloader. A port with no product, or with one that never answers, hears only the
// wake-up message and the identification request, as on every download.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommonOptions.h"
#include "cli/TerminalWindow.h"
#include "comm/PortMap.h"
#include "comm/PortName.h"
#include "image/DeviceTable.h"

namespace tamrix {
class CClock;
class CPortLease;
}  // namespace tamrix

namespace tamrix::cli {

struct FoundProduct {
    PortName port;     // as a download opens it, through `map`
    std::string name;  // "COM7 (/dev/ttyUSB0)", for messages
    CPortMap map;      // the port map in force once the ports were listed
    DeviceTableEntry entry{};
    // Held from the search on: hand it to the opener of the download (SerialPortOpener), so that
    // no other program takes the port in between.
    std::shared_ptr<CPortLease> lease;
};

struct PortSearch {
    std::optional<FoundProduct> found;
    // Without a product: kExitHandshake when none answered (or no port is present),
    // kExitUsage when several did, kExitInterrupted when `stopRequest` ended the search.
    int exitCode = 0;
    int portsTried = 0;  // the ports present that were tried (not the system console)
    int portsWoken = 0;  // of those, the ports that opened and heard the wake-up message
};

// Says on `window` which ports it tries, then what each did and the product found (or on stderr
// why none is used). With `quietWhenNone` (the rounds of --repeat) a search where nothing
// answered says so in one line, and nothing when no port could be woken.
PortSearch SearchForProduct(const LinkOptions& link, CTerminalWindow& window, CClock& clock,
                            const std::atomic<bool>* stopRequest, bool quietWhenNone = false);

}  // namespace tamrix::cli
