// `tamrix-cli devices` and `tamrix-cli ports`: the chips this program knows, and the serial ports
// present with the port map.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "comm/PortEnumerator.h"
#include "comm/PortMap.h"
#include "comm/PresentPorts.h"
#include "common/Format.h"
#include "image/DeviceTable.h"

namespace tamrix::cli {

void AddDevicesCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand("devices", "list the microcontrollers this program knows");
    command->callback([&exitCode]() {
        std::printf("%-4s %-20s %-8s %-3s %-6s %s\n", "Row", "Name", "ID", "PI", "Family",
                    "Programmer");
        for (int row = 0; row < kDeviceTableRows; ++row) {
            const DeviceTableEntry& e = DeviceTable[row];
            const char* programmer = "-";
            if (ProgrammerKindFor(e) == ProgrammerKind::Pic)
                programmer = "PIC";
            if (ProgrammerKindFor(e) == ProgrammerKind::Sam)
                programmer = "SAM";
            std::printf("%-4d %-20s 0x%04X   %-3d %-6d %s\n", row, e.name, e.deviceId, e.pi,
                        e.family, programmer);
        }
        exitCode = kExitSuccess;
    });
}

namespace {

// The ports present, each under its COM number, with what a technician needs to tell them apart
// and whether they may open it.
void PrintPresentPorts(const PortSurvey& survey) {
    if (!survey.listed)
        std::printf("The system's own ports cannot be listed on this system.\n");
    std::printf("Ports present:%s\n", survey.present.empty() ? " none" : "");
    for (const PresentPort& present : survey.present) {
        const SerialPortInfo& port = present.info;
        // Names and descriptions come from the device database and the devices themselves.
        std::printf("COM%-3d %-14s %s\n", port.portNumber, EscapeControls(port.device).c_str(),
                    EscapeControls(port.friendlyName).c_str());
        if (!port.byIdKey.empty())
            std::printf("       by-id: %s\n", EscapeControls(port.byIdKey).c_str());
        if (present.systemConsole)
            std::printf("       the system console: --port auto leaves it alone\n");
        if (!port.accessible && !port.group.empty()) {
            std::printf(
                "       you may not open it: it belongs to group %s (sudo usermod -aG %s "
                "$USER, then log in again)\n",
                EscapeControls(port.group).c_str(), EscapeControls(port.group).c_str());
        } else if (!port.accessible) {
            std::printf("       you may not open it: ask the administrator for access\n");
        }
    }
}

}  // namespace

void AddPortsCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand(
        "ports", "list the serial ports present and show which device each COM number opens");
    command->callback([&exitCode]() {
        const std::string file = CPortMap::MapFilePath();
        std::printf("Port map file: %s\n", file.empty() ? "(none)" : EscapeControls(file).c_str());

        // Listing the ports gives a new adapter its number, in the map file; a map that cannot
        // be written costs only that.
        const std::unique_ptr<CPortEnumerator> enumerator = CreatePortEnumerator(file);
        const PortSurvey survey = SurveyPorts(enumerator.get());
        PrintPresentPorts(survey);
        for (const std::string& problem : survey.problems)
            std::fprintf(stderr, "tamrix-cli: warning: %s\n", EscapeControls(problem).c_str());

        if (!survey.absent.empty())
            std::printf("Other ports in the map (not present):\n");
        for (const auto& [number, path] : survey.absent)
            std::printf("COM%-3d %s\n", number, EscapeControls(path).c_str());
        if (!survey.map.Problems().empty()) {
            std::printf("Problems with the port map file (left out of the map above):\n");
            for (const std::string& problem : survey.map.Problems())
                std::printf("  %s\n", EscapeControls(problem).c_str());
        }
        exitCode = kExitSuccess;
    });
}

}  // namespace tamrix::cli
