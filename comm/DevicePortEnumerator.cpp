#include "comm/DevicePortEnumerator.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

#include "comm/PortMap.h"
#include "common/Format.h"

namespace tamrix {

namespace {

constexpr const char* kByIdFolder = "/dev/serial/by-id/";
// What a port is called when the database knows nothing better; the name on-board ports have
// always had in the port dialog.
constexpr const char* kGenericName = "Communications Port";

bool IsSerialPort(const SerialDeviceRecord& record) {
    // Virtual consoles, ptmx and the like have no hardware (and so no driver) behind them.
    if (record.devnode.empty() || record.driver.empty())
        return false;
    // The kernel keeps nodes for on-board ports it found no UART behind; it says so by type 0.
    if (record.uartType == 0)
        return false;
    // The legacy 8250 driver makes its placeholder ports whether or not a UART is there: only a
    // known UART type shows a real one.
    if (record.driver == "serial8250" && record.uartType < 0)
        return false;
    return true;
}

// The database's *_ENC values spell spaces and other awkward bytes as \xNN.
std::string DecodeEscapes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const char* digits = text.data() + i + 2;
            unsigned value = 0;
            const auto [end, error] = std::from_chars(digits, digits + 2, value, 16);
            if (error == std::errc() && end == digits + 2) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// One line of text without parentheses: the port dialog takes a port's name from the first ")"
// of the whole friendly name, so "FT232 Serial (UART) IC (COM5)" would lose its port name.
std::string CleanDescription(const std::string& text) {
    std::string out;
    bool pendingSpace = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '(' || c == ')')
            continue;
        if (byte <= ' ' || byte == 0x7F) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

std::string Property(const SerialDeviceRecord& record, const char* name) {
    const auto it = record.properties.find(name);
    return it == record.properties.end() ? std::string() : it->second;
}

// The plain value spells spaces as '_'; the encoded one keeps them.
std::string DeviceString(const SerialDeviceRecord& record, const char* encoded, const char* plain) {
    if (std::string value = DecodeEscapes(Property(record, encoded)); !value.empty())
        return value;
    std::string value = Property(record, plain);
    std::replace(value.begin(), value.end(), '_', ' ');
    return value;
}

// "Vendor Model", or nothing without a model.
std::string Joined(const std::string& vendor, const std::string& model) {
    if (model.empty())
        return std::string();
    return vendor.empty() ? model : vendor + " " + model;
}

// Vendor and model from the hardware database, else as the device reports them, else the USB
// product string, else the generic name.
std::string Description(const SerialDeviceRecord& record) {
    const std::string candidates[] = {
        Joined(Property(record, "ID_VENDOR_FROM_DATABASE"),
               Property(record, "ID_MODEL_FROM_DATABASE")),
        Joined(DeviceString(record, "ID_VENDOR_ENC", "ID_VENDOR"),
               DeviceString(record, "ID_MODEL_ENC", "ID_MODEL")),
        record.usbProduct,
    };
    for (const std::string& candidate : candidates) {
        if (std::string clean = CleanDescription(candidate); !clean.empty())
            return clean;
    }
    return kGenericName;
}

std::string ByIdLink(const SerialDeviceRecord& record) {
    for (const std::string& link : record.devlinks) {
        if (link.compare(0, std::char_traits<char>::length(kByIdFolder), kByIdFolder) == 0)
            return link;
    }
    return std::string();
}

}  // namespace

CDevicePortEnumerator::CDevicePortEnumerator(std::unique_ptr<CSerialDeviceSource> source,
                                             std::string mapPath, CClock& clock)
    : source_(std::move(source)), mapPath_(std::move(mapPath)), clock_(clock) {}

std::vector<SerialPortInfo> CDevicePortEnumerator::Enumerate() {
    problems_.clear();
    CPortMap map = CPortMap::Defaults();
    // A map with bad lines still counts with its good ones; its problems are reported by whoever
    // shows the map.
    if (!mapPath_.empty())
        map.LoadFile(mapPath_);

    std::vector<SerialPortInfo> ports;
    for (const SerialDeviceRecord& record : source_->List()) {
        if (!IsSerialPort(record))
            continue;
        SerialPortInfo port;
        port.device = record.devnode;
        port.byIdKey = ByIdLink(record);
        port.accessible = record.accessible;
        port.group = record.accessible ? std::string() : record.group;

        // An adapter is known by its stable name, which follows it from socket to socket and
        // from /dev/ttyUSB0 to /dev/ttyUSB1; an on-board port by its node.
        const std::string key = port.byIdKey.empty() ? record.devnode : port.byIdKey;
        port.portNumber = map.NumberForDevice(key);
        if (port.portNumber == 0 && key != record.devnode)
            port.portNumber = map.NumberForDevice(record.devnode);
        if (port.portNumber == 0) {
            std::string error = "no port map file";
            if (!mapPath_.empty())
                port.portNumber = CPortMap::AssignNumber(mapPath_, key, clock_, &error);
            if (port.portNumber == 0) {
                // Still listed: the port exists, and a technician can use it this once.
                port.portNumber = map.LowestFreeNumber();
                problems_.push_back(Format("COM%d = %s holds for this listing only: %s",
                                           port.portNumber, key.c_str(), error.c_str()));
            }
            map.Set(port.portNumber, key);
        }
        port.friendlyName = Description(record) + Format(" (COM%d)", port.portNumber);
        ports.push_back(std::move(port));
    }
    std::stable_sort(ports.begin(), ports.end(),
                     [](const SerialPortInfo& a, const SerialPortInfo& b) {
                         return a.portNumber < b.portNumber;
                     });
    return ports;
}

}  // namespace tamrix
