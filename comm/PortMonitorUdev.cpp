// Serial ports arriving and leaving on Linux: udev's event stream for the "tty" subsystem. The
// events are taken after udev has handled them, so that a port that arrived already has its
// /dev/serial/by-id name when the list is read again.

#include <libudev.h>

#include <cstring>
#include <memory>

#include "comm/PortMonitor.h"

namespace tamrix {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using MonitorPtr = std::unique_ptr<udev_monitor, UdevDeleter>;
using DevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

class CUdevPortMonitor : public CPortMonitor {
  public:
    CUdevPortMonitor(UdevPtr context, MonitorPtr monitor)
        : context_(std::move(context)), monitor_(std::move(monitor)) {}

    int Handle() const override { return udev_monitor_get_fd(monitor_.get()); }

    bool TakeEvents() override {
        bool changed = false;
        // The monitor's socket does not block: this ends when nothing more is waiting.
        while (const DevicePtr device{udev_monitor_receive_device(monitor_.get())}) {
            const char* action = udev_device_get_action(device.get());
            const bool comesOrGoes = action != nullptr && (std::strcmp(action, "add") == 0 ||
                                                           std::strcmp(action, "remove") == 0);
            if (comesOrGoes && udev_device_get_devnode(device.get()) != nullptr)
                changed = true;
        }
        return changed;
    }

  private:
    UdevPtr context_;  // the monitor refers to it
    MonitorPtr monitor_;
};

}  // namespace

std::unique_ptr<CPortMonitor> CreatePortMonitor() {
    UdevPtr context(udev_new());
    if (!context)
        return nullptr;
    MonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0 ||
        udev_monitor_get_fd(monitor.get()) < 0) {
        return nullptr;
    }
    return std::make_unique<CUdevPortMonitor>(std::move(context), std::move(monitor));
}

}  // namespace tamrix
