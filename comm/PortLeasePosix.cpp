#include "comm/PortLease.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tamrix {

bool CPortLease::Acquire(const std::string& devicePath) {
    Release();
    // Opened without blocking and without becoming anybody's controlling terminal; nothing is
    // read or written through this descriptor, it only carries the lock.
    CUniqueFd fd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    handle_ = std::move(fd);
    return true;
}

void CPortLease::Release() {
    handle_.Reset();  // closing also drops the lock
}

bool CPortLease::HoldsDevice(const std::string& devicePath) const {
    if (!handle_.IsOpen())
        return false;
    struct stat held {};
    struct stat named {};
    if (::fstat(handle_.Get(), &held) != 0 || ::stat(devicePath.c_str(), &named) != 0)
        return false;
    if (S_ISCHR(held.st_mode) && S_ISCHR(named.st_mode))
        return held.st_rdev == named.st_rdev;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace tamrix
