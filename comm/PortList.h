#pragma once
// The list of the port dialog ("COM Port Manager") without the window: which rows it shows, in
// which order, and which port number a chosen row stands for. A row comes from a port's friendly
// name, which ends in "(COMn)" on every platform; the port name is cut out of it by the dialog's
// long-standing rules, including their quirks (a ")" earlier in the name gives an empty port
// name, only two digits are read), so a name gives the same row everywhere.

#include <optional>
#include <string>
#include <vector>

#include "comm/PortEnumerator.h"

namespace tamrix {

struct PortListEntry {
    std::string portName;      // column "Port": "COM5"; may be empty
    std::string friendlyName;  // column "Device": "FT232R USB UART (COM5)"
    std::string device;        // what is opened: /dev/ttyUSB0
    std::string byIdKey;       // the adapter's stable name, empty for on-board ports
    bool accessible = true;    // this user may open the port
    std::string group;         // when not accessible: the group to join, if there is one
};

// The port name in `friendlyName`: the text after the "(" of the first "(COM", up to just before
// the first ")" of the whole name (searched from its start). Empty when that span is empty or
// runs backwards. Nothing when there is no "(COM" at all: such a device (a printer port) gets no
// row.
std::optional<std::string> PortNameFromFriendlyName(const std::string& friendlyName);

// The rows for `ports`: one per port whose friendly name has "(COM", sorted by port name in
// ascending byte order ("COM10" before "COM2"); rows with equal port names keep the order the
// dialog's exchange sort gives them. Every port gets a row: there is no limit on their number.
std::vector<PortListEntry> BuildPortList(const std::vector<SerialPortInfo>& ports);

// The port number a row stands for, from its "Port" text: the decimal value of its fourth and
// fifth characters, the two after "COM" ("COM12" and "COM123" -> 12, "COM1" -> 1); reading stops
// at the first character that is no digit. 0 for an empty text.
int PortNumberFromRowText(const std::string& text);

// OK (or a double click) with these rows selected, their "Port" texts in list order: the last one
// counts. 0 when nothing is selected or that row's port name is empty; the caller then changes
// nothing.
int PortNumberFromSelection(const std::vector<std::string>& selectedRowTexts);

}  // namespace tamrix
