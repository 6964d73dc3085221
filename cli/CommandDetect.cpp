// `tamrix-cli detect`: wake the product, find its bootloader and name the microcontroller.

#include <cstdio>

#include "cli/Commands.h"
#include "cli/Connect.h"
#include "cli/ExitCodes.h"
#include "platform/Clock.h"

namespace tamrix::cli {

namespace {

struct DetectOptions {
    LinkOptions link;
    OutputOptions output;
};

int RunDetect(const DetectOptions& options) {
    auto window = MakeWindow(options.output);
    TargetConnection connection = ConnectToTarget(options.link, *window, CSystemClock::Instance());
    if (connection.exitCode != 0)
        return connection.exitCode;
    std::printf("Identified: %s\n", DescribeDevice(connection.entry).c_str());
    connection.channel->Close();
    return kExitSuccess;
}

}  // namespace

void AddDetectCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DetectOptions>();
    auto* command = app.add_subcommand(
        "detect", "wake the product, run the bootloader handshake and name the microcontroller");
    AddLinkOptions(*command, options->link);
    AddOutputOptions(*command, options->output, false);
    command->callback([options, &exitCode]() { exitCode = RunDetect(*options); });
}

}  // namespace tamrix::cli
