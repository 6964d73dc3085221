// The program's folders on Windows: the executable's own folder, and the per-user folders under
// the profile (%APPDATA%\Tamrix for settings files, %LOCALAPPDATA%\Tamrix for the files the
// program keeps for itself, such as the process log when its own folder is not writable).

#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "platform/UserFolders.h"

namespace tamrix {

namespace {

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Lower case, backslashes only, no separator at the end: paths compared as Windows compares them.
std::string Comparable(std::string path) {
    for (char& c : path) {
        c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

}  // namespace

std::string ExecutableFolder() {
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::string();
    const std::string path(buffer, n);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string UserConfigFolder() {
    if (const std::string roaming = FromEnvironment("APPDATA"); !roaming.empty())
        return roaming + "\\Tamrix";
    return std::string();
}

std::string UserStateFolder() {
    if (const std::string local = FromEnvironment("LOCALAPPDATA"); !local.empty())
        return local + "\\Tamrix";
    if (const std::string profile = FromEnvironment("USERPROFILE"); !profile.empty())
        return profile + "\\AppData\\Local\\Tamrix";
    char temporary[MAX_PATH + 1];
    const DWORD n = ::GetTempPathA(sizeof temporary, temporary);
    if (n > 0 && n < sizeof temporary)
        return std::string(temporary, n) + "Tamrix";
    return "C:\\Tamrix";
}

bool IsSystemProgramFolder(const std::string& folder) {
    const std::string mine = Comparable(folder);
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
        const std::string root = Comparable(FromEnvironment(name));
        if (!root.empty() && mine.compare(0, root.size(), root) == 0 &&
            (mine.size() == root.size() || mine[root.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

}  // namespace tamrix
