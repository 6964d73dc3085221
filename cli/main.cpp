// tamrix-cli: the download process of the Tamrix firmware update utility from a terminal, plus
// the firmware file tools and a demonstration against a simulated product.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "common/Version.h"

int main(int argc, char** argv) {
    using namespace tamrix::cli;
    CLI::App app{"Tamrix firmware update utility (command line)"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tamrix-cli ") + tamrix::kProgramVersion);
    app.footer(kExitStatusHelp);
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
    AddRunsCommand(app, exitCode);
    // A mistyped command would otherwise be taken for a stray argument.
    std::string commands;
    bool known = false;
    for (const CLI::App* command : app.get_subcommands({})) {
        commands += (commands.empty() ? "" : ", ") + command->get_name();
        known = known || (argc > 1 && command->check_name(argv[1]));
    }
    if (argc > 1 && argv[1][0] != '-' && !known) {
        std::fprintf(stderr, "tamrix-cli: unknown command \"%s\"; the commands are %s (tamrix-cli "
                     "COMMAND --help says more)\n",
                     argv[1], commands.c_str());
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }
    std::fflush(stdout);
    return exitCode;
}
