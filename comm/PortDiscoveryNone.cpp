// Platforms without port discovery yet: no list of ports and no notice of their arrival. The port
// dialog then stays empty and tamrix-cli shows the port map alone; ports are still opened by
// their COM number or device.

#include "comm/PortEnumerator.h"
#include "comm/PortMonitor.h"

namespace tamrix {

std::unique_ptr<CPortEnumerator> CreatePortEnumerator(const std::string&) {
    return nullptr;
}

std::unique_ptr<CPortMonitor> CreatePortMonitor() {
    return nullptr;
}

}  // namespace tamrix
