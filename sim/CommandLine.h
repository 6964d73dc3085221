#pragma once
// The command line of tamrix-sim.

#include <string>
#include <vector>

#include "sim/SimTypes.h"

namespace tamrix {

struct SimCommandLine {
    SimOptions options;
    std::string loadPath;  // Intel HEX laid over the initial flash
    std::string dumpPath;  // Intel HEX of the flash, written on exit
    bool verbose = false;  // every byte on stderr
};

// Parses the arguments into `commandLine`. Returns -1 when the program should run; otherwise
// the exit code after --help (0) or a usage error (printed to stderr).
int ParseSimCommandLine(int argc, const char* const* argv, SimCommandLine& commandLine);

// Reads a HEX file into the options' initial image. False with a reason on failure.
bool LoadInitialImage(SimCommandLine& commandLine, std::string* error);

// The command-line arguments that switch on `faults` (with their seed), so a run of the
// simulator in a program can be repeated with tamrix-sim. Counts of -1 other than --garbage's
// have no argument and are left out.
std::vector<std::string> SimFaultArguments(const SimFaults& faults);

// One trace line: time in milliseconds, direction, byte.
std::string FormatTraceLine(const SimTraceEntry& entry);

}  // namespace tamrix
