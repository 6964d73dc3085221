#pragma once
// How the download process gets its channels: one call creates and opens a channel on the chosen
// port at a given rate and echo mode. The real program opens serial ports; tests may hand out
// other channels.

#include <functional>
#include <memory>

#include "comm/CommChannel.h"
#include "comm/PortMap.h"
#include "comm/PortName.h"

namespace tamrix {

class CReportWindow;

// Returns the channel even when it could not be opened: callers use it exactly as an open one
// (its flushes then tell the user), as the download process does. `opened`, when not null,
// receives the result of Open (1 opened, 0 failed).
using ChannelOpener =
    std::function<std::unique_ptr<CCommChannel>(int baudRate, int echoMode, int* opened)>;

// Opens CSerialPorts on `port`, a COM number being the device `portMap` gives it (the caller loads
// the map once); their message boxes go to `window`. The first opening through
// it takes a lease on the port, and the opener and all its copies keep it: nobody else can
// open the port until the last copy is destroyed, while this program reopens it freely.
ChannelOpener SerialPortOpener(const PortName& port, CPortMap portMap, CReportWindow* window);

}  // namespace tamrix
