#pragma once
// What ReadRegularFile asks of the operating system, one source per platform
// (FileAccessPosix.cpp, FileAccessWin32.cpp). The reading policy itself (regular files only,
// looked at before and after opening, the size limit, empty files, files that change while they
// are read, the tests' hook) is FileAccess.cpp's, the same on every platform. No OS types here.

#include <cstdint>
#include <string>

#include "platform/FileAccess.h"
#include "platform/UniqueFd.h"

namespace tamrix::file_primitives {

// Why a primitive failed: the program's error, and the system's own words when it gave a reason
// (empty: FileErrorText says it).
struct Fault {
    FileError error = FileError::None;
    std::string reason;
    explicit operator bool() const { return error != FileError::None; }
};

// Looks at `path` without opening it (opening a FIFO, a terminal or a device has effects of its
// own): Missing, CannotOpen, NotRegular, or no fault for a regular file.
Fault LookBeforeOpening(const std::string& path);

struct OpenedFile {
    CUniqueFd file;
    Fault fault;
};
// Opens `path` for reading only, never waiting (should it have been swapped for a FIFO since it
// was looked at), and makes sure what was opened is a regular file.
OpenedFile OpenForReading(const std::string& path);

// Takes the shared advisory lock of a reader without waiting: false when a writer of this
// program holds the file. A file system that cannot lock at all is read without the lock.
bool TakeSharedLock(const CUniqueFd& file);

struct FileSize {
    uint64_t bytes = 0;
    Fault fault;  // CannotOpen when the size cannot be had
};
FileSize SizeOf(const CUniqueFd& file);

struct ReadBytes {
    int64_t count = 0;  // read until `count` bytes were in or the file ended; -1 on an error
    Fault fault;        // ReadFailed, with the system's words, when count is -1
};
ReadBytes ReadUpTo(const CUniqueFd& file, uint8_t* buffer, size_t count);

}  // namespace tamrix::file_primitives
