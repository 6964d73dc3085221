#include "comm/DeviceAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

namespace tamrix {

DeviceAccess CheckDeviceAccess(const std::string& devicePath) {
    DeviceAccess access;
    // As the program itself will open it: with the effective user and groups.
    access.allowed = ::faccessat(AT_FDCWD, devicePath.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    if (!access.allowed)
        access.group = DeviceAccessGroup(devicePath);
    return access;
}

std::string DeviceAccessGroup(const std::string& devicePath) {
    struct stat info {};
    if (::stat(devicePath.c_str(), &info) != 0)
        return std::string();
    // Joining the group helps only when the group may both read and write; root's group is no
    // advice to give.
    const mode_t readWrite = S_IRGRP | S_IWGRP;
    if (info.st_gid == 0 || (info.st_mode & readWrite) != readWrite)
        return std::string();
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->gr_name == nullptr) {
        return std::string();
    }
    return found->gr_name;
}

bool IsSystemConsole(const std::string& devicePath) {
    struct stat info {};
    if (::stat(devicePath.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    // One console a line, its device number last: "ttyS0  -W- (EC p a)    4:64". Compared by
    // number, so that any name of the device counts.
    std::ifstream consoles("/proc/consoles");
    std::string line;
    while (std::getline(consoles, line)) {
        const size_t space = line.find_last_of(" \t");
        unsigned consoleMajor = 0;
        unsigned consoleMinor = 0;
        char colon = 0;
        std::istringstream number(line.substr(space == std::string::npos ? 0 : space + 1));
        if (number >> consoleMajor >> colon >> consoleMinor && colon == ':' &&
            consoleMajor == major(info.st_rdev) && consoleMinor == minor(info.st_rdev)) {
            return true;
        }
    }
    return false;
}

}  // namespace tamrix
