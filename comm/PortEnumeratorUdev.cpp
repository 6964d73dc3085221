// The serial ports of a Linux machine, from udev's device database: every device of the "tty"
// subsystem, with what udev knows about it (names from the hardware database, the
// /dev/serial/by-id links its rules make). Which of them are serial ports and what they are
// called is decided in DevicePortEnumerator.cpp.

#include <libudev.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "comm/DeviceAccess.h"
#include "comm/DevicePortEnumerator.h"
#include "platform/Clock.h"

namespace tamrix {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;
using DevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

std::string Text(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

// The driver behind a terminal device and the kind of device it serves. Since Linux 6.5 the
// serial core puts its own port and controller devices ("serial-base") between a UART's node and
// the hardware: they are looked through. Only the first device beyond them counts; a driver
// further up (a PCI bridge, a USB hub) says nothing about this node.
void FindDriver(udev_device* device, SerialDeviceRecord& record) {
    udev_device* parent = udev_device_get_parent(device);  // owned by `device`
    while (parent != nullptr && Text(udev_device_get_subsystem(parent)) == "serial-base")
        parent = udev_device_get_parent(parent);
    if (parent == nullptr)
        return;
    record.driver = Text(udev_device_get_driver(parent));
    record.bus = Text(udev_device_get_subsystem(parent));
}

int UartType(udev_device* device) {
    const char* type = udev_device_get_sysattr_value(device, "type");
    if (type == nullptr)
        return -1;
    char* end = nullptr;
    const long value = std::strtol(type, &end, 10);
    return end == type ? -1 : static_cast<int>(value);
}

SerialDeviceRecord RecordOf(udev_device* device) {
    SerialDeviceRecord record;
    record.devnode = Text(udev_device_get_devnode(device));
    FindDriver(device, record);
    record.uartType = UartType(device);
    for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link != nullptr;
         link = udev_list_entry_get_next(link)) {
        record.devlinks.push_back(Text(udev_list_entry_get_name(link)));
    }
    for (udev_list_entry* property = udev_device_get_properties_list_entry(device);
         property != nullptr; property = udev_list_entry_get_next(property)) {
        record.properties[Text(udev_list_entry_get_name(property))] =
            Text(udev_list_entry_get_value(property));
    }
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
        record.usbProduct = Text(udev_device_get_sysattr_value(usb, "product"));
    }
    if (!record.devnode.empty()) {
        const DeviceAccess access = CheckDeviceAccess(record.devnode);
        record.accessible = access.allowed;
        record.group = access.group;
    }
    return record;
}

class CUdevDeviceSource : public CSerialDeviceSource {
  public:
    std::vector<SerialDeviceRecord> List() override {
        std::vector<SerialDeviceRecord> records;
        const UdevPtr context(udev_new());
        if (!context)
            return records;
        const EnumeratePtr enumerate(udev_enumerate_new(context.get()));
        if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
            udev_enumerate_scan_devices(enumerate.get()) < 0) {
            return records;
        }
        for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get());
             entry != nullptr; entry = udev_list_entry_get_next(entry)) {
            // A device that left between the scan and here is simply not listed.
            const DevicePtr device(
                udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
            if (device)
                records.push_back(RecordOf(device.get()));
        }
        return records;
    }
};

}  // namespace

std::unique_ptr<CPortEnumerator> CreatePortEnumerator(const std::string& mapPath) {
    return std::make_unique<CDevicePortEnumerator>(std::make_unique<CUdevDeviceSource>(), mapPath,
                                                   CSystemClock::Instance());
}

}  // namespace tamrix
