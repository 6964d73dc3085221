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

#include "platform/UniqueFd.h"

namespace tamrix {

class CClock;

enum class FileError {
    None,
    Missing,     // nothing at the path
    CannotOpen,  // there, but it cannot be opened (permission, bad path)
    NotRegular,  // a folder, FIFO, device, socket: never opened for reading, never replaced
    Locked,      // another instance of this program is writing into it (SharedLock mode)
    TooLarge,    // larger than the caller's limit; refused before anything is read
    Empty,
    ReadFailed,
    Changed,  // delivered another number of bytes than its size said: cut short or still growing
    WriteFailed,
};

// A short description for messages, e.g. "not a regular file".
[[nodiscard]] const char* FileErrorText(FileError error);

enum class FileReadMode {
    ReadOnly,
    // Opened for reading only, under a shared advisory lock taken without waiting. An instance
    // of this program that appends to the file (a log or report pointed at it) holds the lock
    // exclusively and so keeps this reader out; other readers and copy tools, which take no lock,
    // are not held up. Needs no write access, so firmware on read-only media, in a shared folder
    // or without write permission reads as any other. A file system that cannot lock at all is
    // read without the lock, as appending to it goes on without one.
    SharedLock,
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
[[nodiscard]] FileReadResult ReadRegularFile(const std::string& path, uint64_t maxSize,
                                             FileReadMode mode = FileReadMode::ReadOnly);

// Replaces (or creates) the file at `path` with `size` bytes at `data`: written to a temporary
// file beside it, flushed to the disk and renamed over it, so that readers see either the old or
// the new file whole. A path that exists and is not a regular file (a symbolic link, device, FIFO
// or folder) is refused with NotRegular and left alone. On any failure the old file is as it was
// and no temporary file remains. A new file gets mode 0644, a replaced one keeps its mode.
// Errors: NotRegular, CannotOpen (the temporary file cannot be created), WriteFailed; `reason`
// (when given) receives what went wrong as FileReadResult::reason does.
[[nodiscard]] FileError ReplaceFileAtomically(const std::string& path, const uint8_t* data,
                                              size_t size, std::string* reason = nullptr);

// True when both paths name the same existing file (the same device and file number), however
// they are spelled: links, "..", relative paths.
[[nodiscard]] bool IsSameFile(const std::string& first, const std::string& second);

// True when the two paths are one file for a program about to read or write both: the same
// existing file as IsSameFile tells it, or, when neither exists yet, the same place once
// resolved ("out.log", "./out.log", a dangling link to it), so that writing one creates the
// other. A path to a file that does not exist yet is never one with an existing file.
[[nodiscard]] bool IsOneFile(const std::string& first, const std::string& second);

// Appends `text` to the regular file at `path`, created (mode 0644) when missing. Never waits on
// the file: a FIFO or device is refused before it is opened (NotRegular). Programs appending at the
// same moment are kept apart by an advisory lock, but no entry is worth stopping for: a lock held
// longer than `lockWaitMs` (by a stuck program, or on a file this program itself holds) is given
// up on and the text written without it; the waiting sleeps on `clock`. Errors: NotRegular,
// CannotOpen, WriteFailed, with `reason` as for ReplaceFileAtomically. The text goes out whole or
// not at all: a write that fails part-way (a full disk) is cut back off the file, so a reader
// never meets half an entry. With `syncToDisk` the entry is on the disk before this returns.
[[nodiscard]] FileError AppendToFile(const std::string& path, const std::string& text,
                                     CClock& clock, int lockWaitMs, std::string* reason = nullptr,
                                     bool syncToDisk = false);

// True when files can be made in `folder` (it exists and is writable).
[[nodiscard]] bool FolderWritable(const std::string& folder);
// Makes `folder` and every missing folder above it (mode 0755): true when it exists afterwards.
[[nodiscard]] bool MakeFolders(const std::string& folder);

// An advisory lock on one file, created when missing, held until Release or destruction. It
// serialises the programs that read, change and write back the same file (the port map), so two
// of them can never both act on what they read before the other wrote.
class CFileLock {
  public:
    // Waits up to `timeoutMs` (sleeping on `clock`) for the lock: false when it stayed taken or
    // the file cannot be opened.
    [[nodiscard]] bool Acquire(const std::string& path, CClock& clock, int timeoutMs);
    void Release() { fd_.Reset(); }
    bool IsHeld() const { return fd_.IsOpen(); }

  private:
    CUniqueFd fd_;
};

// Tests only: `hook` runs inside ReadRegularFile after the file's size was taken and before its
// bytes are read, where another program could cut the file short or add to it. Empty: none.
void SetFileReadHookForTests(std::function<void(const std::string& path)> hook);

}  // namespace tamrix
