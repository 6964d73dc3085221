// `tamrix-cli program`: one download process exactly as the GUI's Program button runs it.

#include <cstdio>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/RunDownload.h"
#include "common/FileAccess.h"
#include "download/ChannelOpener.h"
#include "image/FirmwareFile.h"

namespace tamrix::cli {

namespace {

struct ProgramOptions {
    std::string file;
    LinkOptions link;
    OutputOptions output;
    uint32_t seed = kConversionSeed;
};

int RunProgram(const ProgramOptions& options) {
    // Log entries appended to the firmware file would damage it, and the log and the firmware
    // reader would contend for the same file's lock.
    if (const std::string log = LogPath(options.output);
        !log.empty() && IsSameFile(log, options.file)) {
        std::fprintf(stderr,
                     "tamrix-cli: the process log %s is the firmware file itself; choose another "
                     "file with --log\n",
                     log.c_str());
        return kExitUsage;
    }

    // Before any thread exists: the worker must never be the one a stop signal interrupts.
    CStopSignals signals;
    const PortName port = options.link.Port();
    auto window = MakeWindow(options.output);
    if (const CProcessLog* log = window->Log()) {
        std::printf("Process log: %s\n", log->Path().c_str());
    }

    auto params = std::make_unique<DownloadParams>();
    params->port = port;
    params->baudRate = options.link.baud;
    params->interfaceType = options.link.InterfaceType();
    params->filePath = options.file;
    params->window = window.get();

    DownloadSettings settings;
    settings.conversionSeed = options.seed;
    settings.portMap = options.link.portMap;
    settings.openChannel = SerialPortOpener(port, settings.portMap, window.get());

    return RunDownload(std::move(params), settings, *window, signals);
}

}  // namespace

void AddProgramCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ProgramOptions>();
    auto* command = app.add_subcommand(
        "program", "update the product's firmware from an Upgrade Binary File (.bin)");
    command->add_option("FILE", options->file, "firmware file")->required();
    AddLinkOptions(*command, options->link);
    AddOutputOptions(*command, options->output, true);
    command->add_option("--seed", options->seed,
                        "conversion seed of the file's producer (default: this program's own)");
    command->callback([options, &exitCode]() { exitCode = RunProgram(*options); });
}

}  // namespace tamrix::cli
