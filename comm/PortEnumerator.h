#pragma once
// The serial ports present on this machine, as the port dialog and `tamrix-cli ports` list them.
// Every port carries a COM number and a friendly name ending in "(COMn)", as the product's
// documentation speaks of ports; where the system itself has no COM numbers they come from the
// port map (PortMap.h): the on-board ports are COM1..COM4, an adapter gets the lowest free number
// from COM5 up the first time it is seen and keeps it. One implementation per platform, chosen by
// CreatePortEnumerator; this header carries no OS types.

#include <memory>
#include <string>
#include <vector>

namespace tamrix {

struct SerialPortInfo {
    std::string friendlyName;  // "FT232R USB UART (COM5)"; always ends in "(COMn)"
    std::string device;        // what is opened: /dev/ttyUSB0 (on Windows the port's own name)
    std::string byIdKey;       // the adapter's stable name, /dev/serial/by-id/...; empty for
                               // on-board ports and where the system has none
    int portNumber = 0;        // the n of COMn
    bool accessible = true;    // this user may open the port
    std::string group;         // when not accessible: a group whose members may, if any
};

class CPortEnumerator {
  public:
    virtual ~CPortEnumerator() = default;

    // The ports present now, by COM number. A port seen for the first time gets its number here
    // (written into the port map file); when the file cannot be written the port is listed all
    // the same, under a number for this listing only, and Problems() says so.
    virtual std::vector<SerialPortInfo> Enumerate() = 0;

    // What the user should hear of from the last Enumerate, one message each (typically a port
    // map that could not be written). Empty when all went well.
    virtual const std::vector<std::string>& Problems() const = 0;
};

// The enumerator of this platform, keeping new adapters' numbers in the port map file at
// `mapPath` (CPortMap::MapFilePath() is the one in force; empty: numbers for one listing only).
// Null where ports cannot be listed.
std::unique_ptr<CPortEnumerator> CreatePortEnumerator(const std::string& mapPath);

}  // namespace tamrix
