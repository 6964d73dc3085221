#pragma once
// The ports present, as `tamrix-cli ports` lists them and `--port auto` tries them: every port the
// system lists (PortEnumerator.h), and every port map entry of the user's own whose device is
// there although the system does not list it (a pseudo-terminal, a device the database does not
// call a serial port). The map entries whose device is not there are kept apart.

#include <string>
#include <utility>
#include <vector>

#include "comm/PortEnumerator.h"
#include "comm/PortMap.h"
#include "comm/PortName.h"

namespace tamrix {

struct PresentPort {
    SerialPortInfo info;  // a map entry's friendly name is "Port map entry (COMn)"
    PortName port;        // what opens it: its COM number, or its device where the map lacks it
    bool fromMap = false;
    bool systemConsole = false;  // the system writes its console to it (IsSystemConsole)
};

struct PortSurvey {
    bool listed = false;                              // the system's ports could be listed
    std::vector<PresentPort> present;                 // by COM number
    std::vector<std::pair<int, std::string>> absent;  // map entries not present: number, device
    std::vector<std::string> problems;                // the listing's (see CPortEnumerator)
    CPortMap map = CPortMap::Defaults();              // the map in force after the listing
};

// Lists the ports with `enumerator` (null: the system's cannot be listed), then reads the map
// in force: a new adapter gets its number in the listing, and the map read afterwards has it.
PortSurvey SurveyPorts(CPortEnumerator* enumerator);

}  // namespace tamrix
