#pragma once
// Options and set-up shared by the tamrix-cli commands that talk to a target.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/TerminalWindow.h"
#include "comm/PortMap.h"
#include "comm/PortName.h"
#include "common/LinkChoices.h"
#include "image/DeviceTable.h"

namespace tamrix::cli {

// The wiring a checked --interface value names.
Wiring ChosenWiring(const std::string& interface);

// --port auto: every port present is woken, and the product is the one that answers.
inline constexpr const char* kAutoPort = "auto";

struct LinkOptions {
    std::string port = PortName::Com(kDefaultPortNumber).Text();
    // Every --port given, in order, once the command line is read (just `port` where a command
    // takes one).
    std::vector<std::string> ports;
    int baud = kDefaultBaudRate;
    std::string interface = WiringChoiceFor(Wiring::TwoWire).shortName;  // usb or signal
    // The port map in force, loaded once when the command line has been read.
    CPortMap portMap = CPortMap::Defaults();

    PortName Port() const { return PortName::Parse(port); }
    bool IsAuto() const { return port == kAutoPort; }
    Wiring WiringChosen() const { return ChosenWiring(interface); }
};

struct OutputOptions {
    std::string logPath;  // empty: beside the program, else the per-user state folder
    bool noLog = false;
    bool yes = false;
    bool no = false;
};

// --port, --baud, --interface, and the port map in force. When the port is a COM number, the
// problems of the map (malformed lines, a map file that cannot be read) are printed once on
// stderr as warnings.
// With `severalPorts`, --port may be given more than once (LinkOptions::ports; `port` is the
// first). --port auto is one of the values, and stands alone.
void AddLinkOptions(CLI::App& command, LinkOptions& link, bool severalPorts = false);
// --baud alone: one of the rates a bootloader runs at (an empty or non-numeric value is a
// command-line error, never the default).
void AddBaudOption(CLI::App& command, int& baud, const std::string& description);
// --seed: the keystream seed a firmware file was scrambled with (each command says whose).
void AddSeedOption(CLI::App& command, uint32_t& seed, const std::string& description);
// --interface: the wiring by its command-line name (usb or signal).
void AddWiringOption(CLI::App& command, std::string& interface);
// --log, --no-log (and --yes/--no when `questions`)
void AddOutputOptions(CLI::App& command, OutputOptions& output, bool questions);

// The process log the options choose, empty for --no-log.
std::string LogPath(const OutputOptions& output);

// A file a command reads or writes, for the check that no two of them are one file.
struct CommandFile {
    std::string path;    // empty: not used this time (--no-log, no --report)
    const char* what;    // "the firmware file", "the process log (--log)"
    const char* option;  // where the command line names it: "--log", "OUTPUT"
};

// False, after saying which two and the file on stderr, when two of `files` are one file (see
// IsOneFile): a log or report written into the firmware file or into each other, or a conversion
// that would replace its own input. Every command that takes files checks them before it reads,
// writes or sends anything; a clash is a usage error.
bool FilesDistinct(const std::vector<CommandFile>& files);

// The terminal window with the process log chosen by the options; tells where the log goes.
std::unique_ptr<CTerminalWindow> MakeWindow(const OutputOptions& output);

// The chip, its identifier and PI and which programmer serves it, for the end of a handshake.
std::string DescribeDevice(const DeviceTableEntry& entry);

}  // namespace tamrix::cli
