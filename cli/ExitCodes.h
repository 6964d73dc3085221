#pragma once
// Exit status of tamrix-cli, one value per kind of failure, so scripts and production lines can
// tell a wiring problem from a wrong file without reading the text.

namespace tamrix::cli {

enum ExitCode : int {
    kExitSuccess = 0,     // done: every row acknowledged and the finish byte sent
    kExitUsage = 2,       // the command line is wrong (or asks --verify of a chip that cannot)
    kExitPort = 10,       // the serial port cannot be opened (missing, busy, no permission)
    kExitHandshake = 11,  // no target answered, or it could not be identified or served
    kExitFile = 12,       // the firmware file is missing, unreadable, too large or corrupted
    kExitCompatibility =
        13,                 // the file does not belong to this product, or a downgrade was declined
    kExitProgramming = 14,  // the target stopped answering or refused a row while programming,
                            // or (--verify) a row read back differs from the file
    kExitSimulator = 15,    // demo only: the simulated target could not be started or disagrees
    // Interrupted by SIGINT (Ctrl-C) or SIGTERM: the download stopped between two rows or steps,
    // or at once on a second signal. No finish byte was sent, so a product that was woken stays
    // in its bootloader, where the next download finds it.
    kExitInterrupted = 16,
};

// The exit statuses in a line, for the end of every command's help.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 done; 2 usage; 10 port; 11 target/handshake; 12 firmware file; 13 file does "
    "not fit this product or downgrade declined; 14 programming; 15 simulator; 16 interrupted "
    "(SIGINT or SIGTERM).";

}  // namespace tamrix::cli
