#pragma once
// Exit status of tamrix-cli, one value per kind of failure, so scripts and production lines can
// tell a wiring problem from a wrong file without reading the text.

namespace tamrix::cli {

enum ExitCode : int {
    kExitSuccess = 0,     // done: every row acknowledged and the finish byte sent
    kExitUsage = 2,       // the command line is wrong
    kExitPort = 10,       // the serial port cannot be opened (missing, busy, no permission)
    kExitHandshake = 11,  // no target answered, or it could not be identified or served
    kExitFile = 12,       // the firmware file is missing, unreadable, too large or corrupted
    kExitCompatibility =
        13,                 // the file does not belong to this product, or a downgrade was declined
    kExitProgramming = 14,  // the target stopped answering or refused a row while programming
    kExitSimulator = 15,    // demo only: the simulated target could not be started or disagrees
};

}  // namespace tamrix::cli
