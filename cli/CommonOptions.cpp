#include "cli/CommonOptions.h"

#include <algorithm>
#include <cstdio>

#include "comm/PortMap.h"
#include "common/Format.h"
#include "download/ProcessLog.h"
#include "image/DeviceTable.h"
#include "platform/FileAccess.h"

namespace tamrix::cli {

void AddLinkOptions(CLI::App& command, LinkOptions& link, bool severalPorts) {
    const CLI::Validator portName(
        [](std::string& text) {
            return text == kAutoPort || PortName::Parse(text).IsValid()
                       ? std::string()
                       : std::string("wants COMn, a device path or auto");
        },
        "");
    const std::string help =
        "COM1..COM255 (mapped to a device by the port map, see `tamrix-cli ports`), a device "
        "path such as /dev/ttyUSB0, or auto: wake every port `tamrix-cli ports` lists as present "
        "(all at once) and use the one where a product answers; none answering is exit status "
        "11, several are refused (exit status 2) before anything is written";
    if (severalPorts) {
        command
            .add_option("--port", link.ports,
                        help +
                            "; give it again for each further product to program at the same "
                            "time (default: " +
                            link.port + ")")
            ->check(portName)
            ->type_name("COMn|PATH|auto");
    } else {
        command.add_option("--port", link.port, help)
            ->check(portName)
            ->type_name("COMn|PATH|auto")
            ->capture_default_str();
    }
    AddBaudOption(command, link.baud, "baud rate of the bootloader");
    AddWiringOption(command, link.interface);
    // Once the command line is read and before the command runs: the map is read once for the
    // whole command, and when a COM number goes through it, what was wrong with it is shown
    // before the port is opened.
    command.parse_complete_callback([&link]() {
        // Every command ends up with the list of its ports (one, where it takes one).
        if (link.ports.empty())
            link.ports.push_back(link.port);
        link.port = link.ports.front();
        // One product is looked for among all ports: another port beside it is a contradiction.
        if (link.ports.size() > 1 &&
            std::find(link.ports.begin(), link.ports.end(), kAutoPort) != link.ports.end()) {
            throw CLI::ValidationError("--port", "auto tries every port present: give no other");
        }
        link.portMap = CPortMap::Load();
        const bool anyComNumber =
            link.IsAuto() ||
            std::any_of(link.ports.begin(), link.ports.end(),
                        [](const std::string& text) { return PortName::Parse(text).number > 0; });
        if (!anyComNumber)
            return;
        for (const std::string& problem : link.portMap.Problems())
            std::fprintf(stderr, "tamrix-cli: warning: %s\n", EscapeControls(problem).c_str());
    });
}

void AddBaudOption(CLI::App& command, int& baud, const std::string& description) {
    // The parser takes an empty value for the default rate; a script that passes an empty
    // variable must hear about it instead of running at a rate nobody chose. Other text that is
    // not a number is refused by the conversion itself.
    const CLI::Validator notEmpty(
        [](std::string& text) {
            return text.empty() ? std::string("wants a number, got nothing") : std::string();
        },
        "");
    command.add_option("--baud", baud, description)
        ->check(notEmpty)
        ->check(CLI::IsMember(BaudRates()))
        ->capture_default_str();
}

void AddSeedOption(CLI::App& command, uint32_t& seed, const std::string& description) {
    command.add_option("--seed", seed, description);
}

void AddWiringOption(CLI::App& command, std::string& interface) {
    // "wiring: usb = 1:Tx 2:Rx 3:Gnd (Built-in USB); signal = 1:Signal 2:Vcc 3:Gnd (one wire,
    // every byte echoed)"
    std::string help = "wiring: ";
    for (int index = 0; index < WiringCount(); ++index) {
        const WiringChoice& choice = WiringAt(index);
        help += Format("%s%s = %s%s", index > 0 ? "; " : "", choice.shortName, choice.label,
                       choice.echo ? " (one wire, every byte echoed)" : "");
    }
    command.add_option("--interface", interface, help)
        ->check(CLI::IsMember(WiringNames()))
        ->capture_default_str();
}

Wiring ChosenWiring(const std::string& interface) {
    Wiring wiring = WiringAt(0).wiring;
    WiringFromName(interface, wiring);
    return wiring;
}

void AddOutputOptions(CLI::App& command, OutputOptions& output, bool questions) {
    command.add_option("--log", output.logPath,
                       "process log file (default: ProcssLog.log beside the program, or in the "
                       "per-user state folder when that folder is not writable or holds the "
                       "system's programs)");
    command.add_flag("--no-log", output.noLog, "write no process log");
    if (questions) {
        auto* yes = command.add_flag("--yes", output.yes,
                                     "answer Yes to the question before programming an older file");
        auto* no = command.add_flag("--no", output.no, "answer No to that question");
        yes->excludes(no);
    }
}

std::string LogPath(const OutputOptions& output) {
    if (output.noLog)
        return std::string();
    return output.logPath.empty() ? CProcessLog::ChoosePath(CProcessLog::ProgramFolder())
                                  : output.logPath;
}

bool FilesDistinct(const std::vector<CommandFile>& files) {
    for (size_t later = 1; later < files.size(); ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            const CommandFile& first = files[earlier];
            const CommandFile& second = files[later];
            if (!IsOneFile(first.path, second.path))
                continue;
            // An option is chosen "with --log"; an argument is another OUTPUT.
            const bool argument = second.option[0] != '-';
            std::fprintf(stderr, "tamrix-cli: %s is %s itself; choose another %s%s\n",
                         EscapeControls(second.path).c_str(), first.what,
                         argument ? "" : "file with ", second.option);
            return false;
        }
    }
    return true;
}

std::unique_ptr<CTerminalWindow> MakeWindow(const OutputOptions& output) {
    std::unique_ptr<CProcessLog> log;
    if (const std::string path = LogPath(output); !path.empty())
        log = std::make_unique<CProcessLog>(path);
    const QuestionPolicy policy = output.yes  ? QuestionPolicy::AlwaysYes
                                  : output.no ? QuestionPolicy::AlwaysNo
                                              : QuestionPolicy::Ask;
    return std::make_unique<CTerminalWindow>(stdout, std::move(log), policy);
}

std::string DescribeDevice(const DeviceTableEntry& entry) {
    const char* programmer = "no programmer in this program";
    switch (ProgrammerKindFor(entry)) {
        case ProgrammerKind::Pic:
            programmer = "PIC bootloader";
            break;
        case ProgrammerKind::Sam:
            programmer = "SAM bootloader";
            break;
        case ProgrammerKind::None:
            break;
    }
    return Format("%s (ID 0x%04x, PI %d, family %d, %s)", entry.name ? entry.name : "(none)",
                  entry.deviceId, entry.pi, entry.family, programmer);
}

}  // namespace tamrix::cli
