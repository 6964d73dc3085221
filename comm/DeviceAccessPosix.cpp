#include "comm/DeviceAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

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

}  // namespace tamrix
