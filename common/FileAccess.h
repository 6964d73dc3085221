#pragma once
// Reading and replacing whole files: the one place the program does either, so that every file it
// is handed gets the same care. A path may name anything (a folder, a FIFO, a terminal, a file
// still being copied), and none of those may hang the program, fill its memory or be damaged.
// One source per platform implements this header; it carries no OS types.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tamrix {

enum class FileError {
    None,
    Missing,      // nothing at the path
    CannotOpen,   // there, but it cannot be opened (permission, bad path)
    NotRegular,   // a folder, FIFO, device, socket: never opened for reading, never replaced
    Locked,       // another instance of this program holds it (update mode)
    NotWritable,  // no write permission bit at all (update mode)
    TooLarge,     // larger than the caller's limit; refused before anything is read
    Empty,
    ReadFailed,
    Changed,  // delivered another number of bytes than its size said: cut short or still growing
    WriteFailed,
};

// A short description for messages, e.g. "not a regular file".
const char* FileErrorText(FileError error);

enum class FileReadMode {
    ReadOnly,
    // Opened read-write (nothing is ever written) under an advisory lock taken without waiting.
    // The lock keeps out other instances of this program only; copy tools take no lock. A file
    // without any write permission bit is refused whoever runs the program.
    Update,
};

struct FileReadResult {
    FileError error = FileError::None;
    std::vector<uint8_t> bytes;  // the whole file when `error` is None
    uint64_t size = 0;           // the size the file had; also set when it is TooLarge
    std::string reason;          // what went wrong, for messages: the system's own words when
                                 // it gave a reason, else FileErrorText(error); empty on success
};

// Reads the whole regular file at `path`, at most `maxSize` bytes. Opening never blocks (a FIFO or
// a device is refused before it is opened, and the open itself does not wait), the size is
// checked before any memory is taken, and a file that delivers another number of bytes than its
// size is refused as Changed. An empty file gives Empty (with no bytes).
FileReadResult ReadRegularFile(const std::string& path, uint64_t maxSize,
                               FileReadMode mode = FileReadMode::ReadOnly);

// Replaces (or creates) the file at `path` with `size` bytes at `data`: written to a temporary
// file beside it, flushed to the disk and renamed over it, so that readers see either the old or
// the new file whole. A path that exists and is not a regular file (a symbolic link, device, FIFO
// or folder) is refused with NotRegular and left alone. On any failure the old file is as it was
// and no temporary file remains. A new file gets mode 0644, a replaced one keeps its mode.
// Errors: NotRegular, CannotOpen (the temporary file cannot be created), WriteFailed; `reason`
// (when given) receives what went wrong as FileReadResult::reason does.
FileError ReplaceFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                std::string* reason = nullptr);

// True when both paths name the same existing file (the same device and file number), however
// they are spelled: links, "..", relative paths.
bool IsSameFile(const std::string& first, const std::string& second);

// Tests only: `hook` runs inside ReadRegularFile after the file's size was taken and before its
// bytes are read, where another program could cut the file short or add to it. Empty: none.
void SetFileReadHookForTests(std::function<void(const std::string& path)> hook);

}  // namespace tamrix
