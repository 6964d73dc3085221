#pragma once
// Notice of serial ports arriving and leaving, so the port dialog can refresh its list while it is
// open, as it does on a device change. No thread and no callback: the caller watches Handle()
// in its own event loop and calls TakeEvents when it becomes readable. One implementation per
// platform; this header carries no OS types.

#include <memory>

namespace tamrix {

class CPortMonitor {
  public:
    virtual ~CPortMonitor() = default;

    // Watch this for "readable"; a platform-specific handle (on Linux a file descriptor, e.g. for
    // a QSocketNotifier of type Read; on Windows an event handle, signalled while events wait,
    // e.g. for a QWinEventNotifier). Valid as long as the monitor exists.
    virtual int Handle() const = 0;

    // Takes every event that is waiting, without ever blocking: true when a serial port arrived
    // or left among them (the list should be refreshed), false for nothing or nothing relevant.
    virtual bool TakeEvents() = 0;
};

// The monitor of this platform, already listening. Null where hot-plug notice is not available
// (no device manager to ask, or it refused): the list then refreshes only when reopened.
std::unique_ptr<CPortMonitor> CreatePortMonitor();

}  // namespace tamrix
