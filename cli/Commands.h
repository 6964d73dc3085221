#pragma once
// The commands of tamrix-cli. Each Add* registers its subcommand; the subcommand's callback sets
// the exit status through `exitCode`.

#include <CLI/CLI.hpp>

namespace tamrix::cli {

void AddDevicesCommand(CLI::App& app, int& exitCode);
void AddPortsCommand(CLI::App& app, int& exitCode);
void AddDetectCommand(CLI::App& app, int& exitCode);
void AddProgramHexCommand(CLI::App& app, int& exitCode);
void AddProgramCommand(CLI::App& app, int& exitCode);
void AddFileCommands(CLI::App& app, int& exitCode);  // info, convert
void AddRunsCommand(CLI::App& app, int& exitCode);   // run reports read back
void AddDemoCommand(CLI::App& app, int& exitCode);   // where the simulator is built

}  // namespace tamrix::cli
