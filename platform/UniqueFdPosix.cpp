#include <unistd.h>

#include "platform/UniqueFd.h"

namespace tamrix {

void CUniqueFd::Reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

bool CUniqueFd::Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
}

}  // namespace tamrix
