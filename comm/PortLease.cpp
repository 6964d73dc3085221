#include "comm/PortLease.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamrix {

CPortLease::~CPortLease() {
    Release();
}

bool CPortLease::Acquire(const std::string& devicePath) {
    Release();
    // Opened without blocking and without becoming anybody's controlling terminal; nothing is
    // read or written through this descriptor, it only carries the lock.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void CPortLease::Release() {
    if (handle_ >= 0)
        ::close(handle_);  // also drops the lock
    handle_ = -1;
}

bool CPortLease::HoldsDevice(const std::string& devicePath) const {
    if (handle_ < 0)
        return false;
    struct stat held {};
    struct stat named {};
    if (::fstat(handle_, &held) != 0 || ::stat(devicePath.c_str(), &named) != 0)
        return false;
    if (S_ISCHR(held.st_mode) && S_ISCHR(named.st_mode))
        return held.st_rdev == named.st_rdev;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace tamrix
