// tamrix-cli: the download process of the Tamrix firmware update utility from a terminal, plus
// the firmware file tools and a demonstration against a simulated product.

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"

int main(int argc, char** argv) {
    using namespace tamrix::cli;
    CLI::App app{"Tamrix firmware update utility (command line)"};
    app.require_subcommand(1);
    app.footer(
        "Exit status: 0 done; 2 usage; 10 port; 11 target/handshake; 12 firmware file; "
        "13 file does not fit this product or downgrade declined; 14 programming; 15 simulator; "
        "16 interrupted (SIGINT or SIGTERM).");
    int exitCode = kExitSuccess;
#ifdef TAMRIX_HAVE_DEMO
    AddDemoCommand(app, exitCode);
#endif
    AddProgramCommand(app, exitCode);
    AddDetectCommand(app, exitCode);
    AddProgramHexCommand(app, exitCode);
    AddFileCommands(app, exitCode);
    AddDevicesCommand(app, exitCode);
    AddPortsCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }
    std::fflush(stdout);
    return exitCode;
}
