#pragma once
// A system call that a signal interrupted before it did anything fails with EINTR; it is simply
// made again. The POSIX sources make every such call through this one helper.

#include <cerrno>

namespace tamrix {

// Calls `call` until it returns anything but a failure (a negative result) with errno EINTR,
// and returns that. A call that waits for a time computes its time-out inside `call`, so that
// an interruption does not restart the whole wait.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
    while (true) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

}  // namespace tamrix
