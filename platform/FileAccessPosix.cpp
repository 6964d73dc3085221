// Whole-file reading and replacing on POSIX systems, and the primitives of the reading policy
// (FilePrimitives.h).

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Clock.h"
#include "platform/FileAccess.h"
#include "platform/FilePrimitives.h"
#include "platform/RetryOnInterrupt.h"
#include "platform/UniqueFd.h"

namespace tamrix {

namespace {

bool WriteFully(int fd, const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t put =
            RetryOnInterrupt([&] { return ::write(fd, data + done, count - done); });
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// What went wrong, for messages: the system's own words when it gave a reason.
std::string ReasonFor(FileError error, int systemError) {
    return systemError != 0 ? std::strerror(systemError) : FileErrorText(error);
}

// A primitive's fault: the system's words when it gave a reason.
file_primitives::Fault SystemFault(FileError error, int systemError) {
    return file_primitives::Fault{error, systemError != 0 ? std::strerror(systemError) : ""};
}

FileError Failed(FileError error, int systemError, std::string* reason) {
    if (reason != nullptr)
        *reason = ReasonFor(error, systemError);
    return error;
}

// Takes the advisory lock of `fd`, waiting up to `waitMs` while somebody else holds it (sleeping
// on `clock`): false when it stayed taken, or the file cannot be locked at all.
bool LockWithin(int fd, CClock& clock, int waitMs) {
    constexpr int kRetryMs = 2;
    for (int waited = 0;; waited += kRetryMs) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK || waited >= waitMs)
            return false;
        clock.SleepMs(kRetryMs);
    }
}

// Makes a finished rename survive a power cut; a folder that cannot be flushed changes nothing
// about the result.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    CUniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsOpen())
        ::fsync(dir.Get());
}

}  // namespace

FileError ReplaceFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                std::string* reason) {
    const auto fail = [reason](FileError error, int systemError) {
        return Failed(error, systemError, reason);
    };

    // lstat: a symbolic link is refused as it is, not followed to whatever it points at.
    mode_t permissions = 0644;
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            return fail(FileError::NotRegular, 0);
        permissions = existing.st_mode & 07777;
    }

    std::string temporary = path + ".XXXXXX";
    CUniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.IsOpen())
        return fail(FileError::CannotOpen, errno);
    const bool written = ::fchmod(file.Get(), permissions) == 0 &&
                         WriteFully(file.Get(), data, size) && ::fsync(file.Get()) == 0;
    const int writeErrno = errno;
    const bool closed = file.Close();
    const int closeErrno = errno;
    if (!written || !closed) {
        ::unlink(temporary.c_str());
        return fail(FileError::WriteFailed, written ? closeErrno : writeErrno);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temporary.c_str());
        return fail(FileError::WriteFailed, renameErrno);
    }
    SyncFolderOf(path);
    return FileError::None;
}

bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileError AppendToFile(const std::string& path, const std::string& text, CClock& clock,
                       int lockWaitMs, std::string* reason, bool syncToDisk) {
    const auto fail = [reason](FileError error, int systemError) {
        return Failed(error, systemError, reason);
    };
    // Looked at before it is opened: opening a FIFO waits for a reader, a terminal or device has
    // effects of its own, and none of them is a file to append to.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return fail(FileError::NotRegular, 0);
    CUniqueFd file(::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644));
    if (!file.IsOpen())
        return fail(FileError::CannotOpen, errno);
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(FileError::NotRegular, 0);

    // Written whether the lock came or not.
    LockWithin(file.Get(), clock, lockWaitMs);
    // Where the entry starts: what a write that fails part-way is cut back to. Other appenders
    // of this program wait for the lock, so nothing of theirs lies beyond it.
    struct stat before {};
    const bool sized = ::fstat(file.Get(), &before) == 0;
    errno = 0;
    if (!WriteFully(file.Get(), reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        const int error = errno != 0 ? errno : EIO;
        if (sized && ::ftruncate(file.Get(), before.st_size) != 0) {
            // Nothing more can be done about it; the write's own error is the one to report.
        }
        return fail(FileError::WriteFailed, error);
    }
    if (syncToDisk && ::fsync(file.Get()) != 0)
        return fail(FileError::WriteFailed, errno);
    return FileError::None;
}

bool FolderWritable(const std::string& folder) {
    return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& folder) {
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        const std::string partial = folder.substr(0, at);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CFileLock::Acquire(const std::string& path, CClock& clock, int timeoutMs) {
    Release();
    CUniqueFd file(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644));
    if (!file.IsOpen() || !LockWithin(file.Get(), clock, timeoutMs))
        return false;
    fd_ = std::move(file);
    return true;
}

namespace file_primitives {

Fault LookBeforeOpening(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return SystemFault(errno == ENOENT ? FileError::Missing : FileError::CannotOpen, errno);
    if (!S_ISREG(info.st_mode))
        return Fault{FileError::NotRegular, std::string()};
    return Fault{};
}

OpenedFile OpenForReading(const std::string& path) {
    // O_NONBLOCK: should the path have been swapped for a FIFO since, the open does not wait.
    OpenedFile opened;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int openError = errno;
    opened.file.Reset(fd);
    if (!opened.file.IsOpen()) {
        const FileError error = openError == ENOENT   ? FileError::Missing
                                : openError == EISDIR ? FileError::NotRegular
                                                      : FileError::CannotOpen;
        opened.fault = SystemFault(error, openError);
        return opened;
    }
    struct stat info {};
    if (::fstat(opened.file.Get(), &info) != 0)
        opened.fault = SystemFault(FileError::CannotOpen, errno);
    else if (!S_ISREG(info.st_mode))
        opened.fault = Fault{FileError::NotRegular, std::string()};
    return opened;
}

bool TakeSharedLock(const CUniqueFd& file) {
    // A shared lock needs no write access, on a network file system too.
    return ::flock(file.Get(), LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

FileSize SizeOf(const CUniqueFd& file) {
    FileSize size;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        size.fault = SystemFault(FileError::CannotOpen, errno);
    else
        size.bytes = static_cast<uint64_t>(info.st_size);
    return size;
}

ReadBytes ReadUpTo(const CUniqueFd& file, uint8_t* buffer, size_t count) {
    ReadBytes read;
    size_t done = 0;
    while (done < count) {
        const ssize_t got =
            RetryOnInterrupt([&] { return ::read(file.Get(), buffer + done, count - done); });
        if (got < 0) {
            read.count = -1;
            read.fault = SystemFault(FileError::ReadFailed, errno);
            return read;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    read.count = static_cast<int64_t>(done);
    return read;
}

}  // namespace file_primitives

}  // namespace tamrix
