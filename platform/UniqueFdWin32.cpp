// On Windows a CUniqueFd holds a kernel handle (a file, a port's named mutex, an event). Kernel
// handles fit in 32 bits, which is how 32- and 64-bit programs share them, and are never negative.

#include <windows.h>

#include <cstdint>

#include "platform/UniqueFd.h"

namespace tamrix {

namespace {

HANDLE AsHandle(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

}  // namespace

void CUniqueFd::Reset(int fd) {
    if (fd_ >= 0)
        ::CloseHandle(AsHandle(fd_));
    fd_ = fd;
}

bool CUniqueFd::Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::CloseHandle(AsHandle(fd)) != 0;
}

}  // namespace tamrix
