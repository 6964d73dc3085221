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

// True when `folder` holds the system's own programs: no place for this program's files, even
// for a user who may write there (root, an administrator). POSIX: a folder owned by root under
// /usr, /bin, /sbin, /opt or /snap, or, for root, a folder owned by root on the PATH. Windows: a
// folder under %ProgramFiles%, %ProgramFiles(x86)%, %ProgramW6432% or %SystemRoot%.
bool IsSystemProgramFolder(const std::string& folder);

}  // namespace tamrix
