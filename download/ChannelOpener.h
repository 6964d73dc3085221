#pragma once
// How the download process gets its channels: one call creates and opens a channel on the chosen
// port at a given rate and echo mode. The real program opens serial ports; tests may hand out
// other channels.

#include <functional>
#include <memory>

#include "comm/CommChannel.h"
#include "comm/PortMap.h"
#include "comm/PortName.h"
#include "common/LinkChoices.h"

namespace tamrix {

class CPortLease;
class CReportWindow;

// The channel comes also when it could not be opened (see OpenedChannel).
using ChannelOpener = std::function<OpenedChannel(int baudRate, Wiring wiring)>;

// Opens CSerialPorts on `port`, a COM number being the device `portMap` gives it (the caller loads
// the map once); their message boxes go to `window`. The first opening through
// it takes a lease on the port, and the opener and all its copies keep it: nobody else can
// open the port until the last copy is destroyed, while this program reopens it freely. A lease
// given is shared with whoever else holds it: a port found by one opener stays held while
// another one, reporting to another window, takes over.
ChannelOpener SerialPortOpener(const PortName& port, CPortMap portMap, CReportWindow* window,
                               std::shared_ptr<CPortLease> lease = nullptr);

}  // namespace tamrix
