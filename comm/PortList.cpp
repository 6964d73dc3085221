#include "comm/PortList.h"

#include <utility>

namespace tamrix {

std::optional<std::string> PortNameFromFriendlyName(const std::string& friendlyName) {
    const size_t open = friendlyName.find("(COM");
    if (open == std::string::npos)
        return std::nullopt;
    const size_t start = open + 1;
    const size_t close = friendlyName.find(')');
    if (close == std::string::npos || close <= start)
        return std::string();
    return friendlyName.substr(start, close - start);
}

std::vector<PortListEntry> BuildPortList(const std::vector<SerialPortInfo>& ports) {
    std::vector<PortListEntry> rows;
    rows.reserve(ports.size());
    for (const SerialPortInfo& port : ports) {
        std::optional<std::string> name = PortNameFromFriendlyName(port.friendlyName);
        if (!name)
            continue;
        rows.push_back(PortListEntry{std::move(*name), port.friendlyName, port.device, port.byIdKey,
                                     port.accessible, port.group});
    }
    // The dialog's own exchange sort, kept as it is: it is not stable, and rows with equal port
    // names (empty ones) must come out in the same order as always. A few dozen rows at most.
    for (size_t j = 0; j < rows.size(); ++j) {
        for (size_t i = j; i < rows.size(); ++i) {
            if (rows[j].portName > rows[i].portName)
                std::swap(rows[j], rows[i]);
        }
    }
    return rows;
}

int PortNumberFromRowText(const std::string& text) {
    int number = 0;
    for (size_t i = 3; i < 5 && i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
    }
    return number;
}

int PortNumberFromSelection(const std::vector<std::string>& selectedRowTexts) {
    return selectedRowTexts.empty() ? 0 : PortNumberFromRowText(selectedRowTexts.back());
}

}  // namespace tamrix
