// `tamrix-cli devices` and `tamrix-cli ports`: the chips this program knows, and the port map.

#include <cstdio>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "comm/PortMap.h"
#include "programmer/DeviceTable.h"

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

void AddPortsCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand("ports", "show which device each COM number opens");
    command->callback([&exitCode]() {
        const std::string file = CPortMap::MapFilePath();
        std::printf("Port map file: %s\n", file.empty() ? "(none)" : file.c_str());
        // Held in a named object: a range over a member of a temporary would outlive it.
        const CPortMap map = CPortMap::Load();
        for (const auto& [number, path] : map.Entries()) {
            std::printf("COM%-3d %s\n", number, path.c_str());
        }
        if (!map.Problems().empty()) {
            std::printf("Problems with the port map file (left out of the map above):\n");
            for (const std::string& problem : map.Problems())
                std::printf("  %s\n", problem.c_str());
        }
        exitCode = kExitSuccess;
    });
}

}  // namespace tamrix::cli
