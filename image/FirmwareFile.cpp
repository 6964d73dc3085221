#include "image/FirmwareFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Format.h"
#include "common/ReportWindow.h"
#include "image/Keystream.h"

namespace tamrix {

namespace {

// Owns one file descriptor.
class CFileHandle {
  public:
    explicit CFileHandle(int fd = -1) : fd_(fd) {}
    ~CFileHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (a failed close can lose written data).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

void Report(CReportWindow* window, const std::string& text) {
    if (window != nullptr)
        window->SendStatusLine(text);
}

// Reads up to `count` bytes, retrying short reads and interruptions; the number of bytes read.
size_t ReadFully(int fd, uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, buffer + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool WriteFully(int fd, const uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, buffer + done, count - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

}  // namespace

int ConvertBinFile(uint8_t* imageBuffer, CReportWindow* window, const std::string& path,
                   int& imageSize, uint32_t seed) {
    // Read-write and exclusive: a file that another program holds (still being copied, say) is
    // refused instead of being read half-written. O_NONBLOCK keeps a FIFO or a terminal from
    // hanging the download; only regular files are accepted anyway. A read-only file is refused
    // even where the open itself would succeed (as root), so the rule does not depend on who runs
    // the program.
    CFileHandle file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file.IsOpen() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0 ||
        ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        Report(window, "[Error] : Bin File Open Fail - Convert\r\n");
        return 0;
    }

    const long long length = static_cast<long long>(info.st_size);
    if (length > kImageBufferSize) {
        // Refused before anything reaches the buffer: the text would run past its end.
        Report(window, Format("[Error] : Bin File Too Large - Convert (%lld bytes, at most %d)\r\n",
                              length, kImageBufferSize));
        return 0;
    }

    std::vector<uint8_t> contents(static_cast<size_t>(length));
    const size_t count = length > 0 ? ReadFully(file.Get(), contents.data(), contents.size()) : 0;
    file.Close();
    if (count == 0) {
        Report(window, "[Error] : Bin File Read Fail - Convert \r\n");
        return 0;
    }

    // One draw per byte, from the start of the file: the key depends only on the position.
    CKeystream keystream(seed);
    for (size_t i = 0; i < count; ++i)
        imageBuffer[i] = contents[i] ^ keystream.NextKey();
    imageSize = static_cast<int>(count);
    return 1;
}

void ApplyKeystream(uint8_t* bytes, size_t count, uint32_t seed) {
    CKeystream keystream(seed);
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= keystream.NextKey();
}

std::vector<uint8_t> ScrambleBytes(std::vector<uint8_t> bytes, uint32_t seed) {
    ApplyKeystream(bytes.data(), bytes.size(), seed);
    return bytes;
}

bool WriteFirmwareFile(const std::string& path, const std::vector<uint8_t>& hexText, uint32_t seed,
                       std::string& error) {
    const std::vector<uint8_t> scrambled = ScrambleBytes(hexText, seed);

    // Written beside the target and renamed over it at the end, so that a failure never leaves a
    // truncated firmware file (or destroys the one that was there).
    std::string temporary = path + ".XXXXXX";
    CFileHandle file(::mkstemp(temporary.data()));
    if (!file.IsOpen()) {
        error = Format("cannot create %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = ::fchmod(file.Get(), 0644) == 0 &&
                         WriteFully(file.Get(), scrambled.data(), scrambled.size()) &&
                         ::fsync(file.Get()) == 0;
    const int writeErrno = errno;
    if (!file.Close() || !written) {
        error = Format("cannot write %s: %s", path.c_str(),
                       std::strerror(written ? errno : writeErrno));
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Format("cannot write %s: %s", path.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace tamrix
