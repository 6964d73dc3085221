// `tamrix-cli program`: the download process exactly as the GUI's Program button runs it, on one
// port or on several at once, once or (--repeat) for one product after another.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/ExitCodes.h"
#include "cli/ProgramSession.h"
#include "comm/SerialDevice.h"
#include "common/Format.h"
#include "image/FirmwareFile.h"
#include "platform/FileAccess.h"

namespace tamrix::cli {

namespace {

constexpr const char* kVerifyHelp =
    "read every program row back after it is written and compare it before the product is "
    "started; a difference stops the download with its address. PIC targets only: the S3F8 "
    "bootloader has no command to read its flash, so a SAM product is refused before anything is "
    "written";

// Two names for one port would run two downloads against one product: one of them would meet
// "Port Open Fail" after the other had begun. Compared as devices, so that a COM number, the
// device the port map gives it, a /dev/serial/by-id link and the node it points at all count as
// one port.
bool PortsDistinct(const LinkOptions& link) {
    std::vector<std::string> devices;
    for (const std::string& text : link.ports) {
        const PortName port = PortName::Parse(text);
        std::string device = port.path.empty() ? link.portMap.DevicePath(port.number) : port.path;
        if (device.empty())
            device = port.Text();  // a COM number with no device: only its own name is it
        for (const std::string& earlier : devices) {
            if (IsSameSerialDevice(earlier, device)) {
                std::fprintf(stderr, "tamrix-cli: %s is given twice (as --port %s)\n",
                             EscapeControls(earlier).c_str(), EscapeControls(text).c_str());
                return false;
            }
        }
        devices.push_back(device);
    }
    return true;
}

int RunProgram(const ProgramRequest& request) {
    // Log entries or report lines appended to the firmware file would damage it, and log and
    // report in one file would interleave two formats.
    if (!FilesDistinct({{request.file, "the firmware file", "FILE"},
                        {LogPath(request.output), "the process log (--log)", "--log"},
                        {request.reportPath, "the run report (--report)", "--report"}})) {
        return kExitUsage;
    }
    if (!PortsDistinct(request.link))
        return kExitUsage;

    // Before any thread exists: no worker must ever be the one a stop signal interrupts.
    CStopSignals signals;
    return RunProgramSession(request, signals);
}

}  // namespace

void AddProgramCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ProgramRequest>();
    auto* command = app.add_subcommand(
        "program", "update the product's firmware from an Upgrade Binary File (.bin)");
    command->add_option("FILE", options->file, "firmware file")->required();
    AddLinkOptions(*command, options->link, true);
    AddOutputOptions(*command, options->output, true);
    AddSeedOption(*command, options->seed,
                  "conversion seed of the file's producer (default: this program's own)");
    command->add_flag("--verify", options->verify, kVerifyHelp);
    command->add_option("--report", options->reportPath,
                        "append one JSON line per download to this file (JSON Lines): times, "
                        "port, chip, versions before and after, the file's SHA-256, link "
                        "figures, outcome and exit status");
    command->add_flag("--repeat", options->repeat,
                      "keep serving the port(s): after each download wait for the product to be "
                      "disconnected and the next one connected (a port that comes and goes with "
                      "the product: built-in USB, or an adapter in the product's cable), until "
                      "Ctrl-C; a table of the downloads ends the run");
    command->footer(
        "--port auto wakes every port present at once (the system console is left alone) and "
        "programs the product on the one port that answers, after a line that names it; the "
        "other ports hear only the wake-up message. When several answer, nothing is written and "
        "each product waits in its bootloader, where the next try finds it. With --repeat every "
        "product is looked for again.\n\n"
        "Several --port options program one product on each port at once; every line then "
        "starts with its port, and a table ends the run. With several ports or --repeat the file "
        "is read once, at the start, and every product gets those bytes. The exit status is 0 "
        "only when every download succeeded, else that of the first that failed; with --repeat, "
        "ended by Ctrl-C or SIGTERM, 16 when no product was served.\n\n" +
        std::string(kExitStatusHelp));
    command->callback([options, &exitCode]() { exitCode = RunProgram(*options); });
}

}  // namespace tamrix::cli
