#pragma once
// Where the program finds its own folder and keeps per-user files. One source per platform; on
// Linux these follow the XDG base directory rules, on Windows they are the known folders.

#include <string>

namespace tamrix {

// The folder of the running executable ("" when it cannot be found).
std::string ExecutableFolder();

// The per-user folder for this program's settings files (the port map): "" when the user has none.
std::string UserConfigFolder();

// The per-user folder for files the program keeps for itself (the process log when the program's
// folder is not writable). Never empty: there is always a last resort.
std::string UserStateFolder();

}  // namespace tamrix
