#pragma once
// `tamrix-cli program` as a session: one download on one port, one on each of several ports at
// once, or (--repeat) one product after another on each port until interrupted. Every port has its
// own status stream (prefixed by the port when there are several), the process log stays one file
// whose entries name their port, every download can add a line to a JSON run report, and the
// session ends with a table of its downloads. Exit status 0 only when every download succeeded.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommonOptions.h"
#include "cli/StopSignals.h"
#include "image/FirmwareFile.h"

namespace tamrix::cli {

// What `tamrix-cli program` was asked for: its options as the command line filled them in.
struct ProgramRequest {
    std::string file;
    LinkOptions link;  // the ports (link.ports: as given, at least one, none twice), rate, wiring
    OutputOptions output;
    uint32_t seed = kConversionSeed;
    bool verify = false;
    std::string reportPath;  // empty: no run report
    bool repeat = false;
};

// How long a port is looked at again while a session waits for a product to come or go.
inline constexpr int kPresencePollMs = 500;

// Runs the session; returns the exit status. `signals` must have been made before any thread.
int RunProgramSession(const ProgramRequest& request, CStopSignals& signals);

}  // namespace tamrix::cli
