#pragma once
// A file descriptor that closes itself: move-only, -1 when empty. Every descriptor the program
// holds (serial ports, files, locks, pseudo-terminals) is one of these, so none can leak on an
// early return. The closing lives in the platform's source; this header carries no OS types. On
// Windows it holds a kernel handle instead (they fit in 32 bits and are never negative).

#include <utility>

namespace tamrix {

class CUniqueFd {
  public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : fd_(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the descriptor held (if any) and takes `fd`.
    void Reset(int fd = -1);
    // Closes now and says whether the close succeeded: a failed close can lose written data.
    [[nodiscard]] bool Close();

  private:
    int fd_ = -1;
};

}  // namespace tamrix
