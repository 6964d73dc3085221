// Whole-file reading and replacing on Windows, and the primitives of the reading policy
// (FilePrimitives.h).
//
// Devices (COM1, NUL, \\.\...) are refused by their name before anything is opened: opening a
// serial port moves its modem lines. The advisory lock of the POSIX source is a lock on one byte
// far beyond any file's end here, exclusive for writers and shared for readers: it keeps out other
// instances of this program, which take the same lock, and leaves plain readers and copy tools
// alone, as the advisory lock does.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <utility>

#include "platform/Clock.h"
#include "platform/FileAccess.h"
#include "platform/FilePrimitives.h"
#include "platform/UniqueFd.h"

namespace tamrix {

namespace {

HANDLE AsHandle(const CUniqueFd& fd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd.Get()));
}

CUniqueFd Own(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return CUniqueFd();
    return CUniqueFd(static_cast<int>(reinterpret_cast<intptr_t>(handle)));
}

// The system's own words for `error`, without the line end it puts after them.
std::string SystemText(DWORD error) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    return result.empty() ? "system error " + std::to_string(error) : result;
}

std::string ReasonFor(FileError error, DWORD systemError) {
    return systemError != 0 ? SystemText(systemError) : FileErrorText(error);
}

// A primitive's fault: the system's words when it gave a reason.
file_primitives::Fault SystemFault(FileError error, DWORD systemError) {
    return file_primitives::Fault{error, systemError != 0 ? SystemText(systemError) : ""};
}

FileError Failed(FileError error, DWORD systemError, std::string* reason) {
    if (reason != nullptr)
        *reason = ReasonFor(error, systemError);
    return error;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A name the system takes for a device rather than a file: the device namespaces, and the DOS
// device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9) in any folder and with any extension.
bool NamesDevice(const std::string& path) {
    if (path.compare(0, 4, "\\\\.\\") == 0 || path.compare(0, 4, "//./") == 0)
        return true;
    const size_t slash = path.find_last_of("\\/:");
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    base = base.substr(0, base.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// The byte every instance of this program locks for a file; no file reaches it.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFF0;

// Exclusive for a writer; shared for a reader, which needs no more than read access for it.
bool TryLock(HANDLE file, bool exclusive = true) {
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return ::LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

bool LockWithin(HANDLE file, CClock& clock, int waitMs) {
    constexpr int kRetryMs = 2;
    for (int waited = 0;; waited += kRetryMs) {
        if (TryLock(file))
            return true;
        if (::GetLastError() != ERROR_LOCK_VIOLATION || waited >= waitMs)
            return false;
        clock.SleepMs(kRetryMs);
    }
}

bool WriteFully(HANDLE file, const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD put = 0;
        if (!::WriteFile(file, data + done, piece, &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

FileError ReplaceFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                std::string* reason) {
    const auto fail = [reason](FileError error, DWORD systemError) {
        return Failed(error, systemError, reason);
    };
    if (NamesDevice(path))
        return fail(FileError::NotRegular, 0);
    // A link is refused as it is, not followed to whatever it points at.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return fail(FileError::NotRegular, 0);
    }

    // A name of its own beside the file: this process, and a count for several in a row.
    static std::atomic<unsigned> serial{0};
    const std::string temporary = path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(serial.fetch_add(1));
    CUniqueFd file = Own(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return fail(FileError::CannotOpen, ::GetLastError());
    const bool written =
        WriteFully(AsHandle(file), data, size) && ::FlushFileBuffers(AsHandle(file)) != 0;
    const DWORD writeError = written ? 0 : ::GetLastError();
    const bool closed = file.Close();
    const DWORD closeError = closed ? 0 : ::GetLastError();
    if (!written || !closed) {
        ::DeleteFileA(temporary.c_str());
        return fail(FileError::WriteFailed, written ? closeError : writeError);
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD renameError = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        return fail(FileError::WriteFailed, renameError);
    }
    return FileError::None;
}

bool IsSameFile(const std::string& first, const std::string& second) {
    const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        if (NamesDevice(path))
            return false;
        CUniqueFd file = Own(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file.IsOpen() && ::GetFileInformationByHandle(AsHandle(file), &info) != 0;
    };
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify(first, a) && identify(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

FileError AppendToFile(const std::string& path, const std::string& text, CClock& clock,
                       int lockWaitMs, std::string* reason, bool syncToDisk) {
    const auto fail = [reason](FileError error, DWORD systemError) {
        return Failed(error, systemError, reason);
    };
    if (NamesDevice(path))
        return fail(FileError::NotRegular, 0);
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail(FileError::NotRegular, 0);
    // Append access alone: every write goes to the end, whoever else appends meanwhile.
    CUniqueFd file =
        Own(::CreateFileA(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE, kShareAll,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return fail(FileError::CannotOpen, ::GetLastError());
    if (::GetFileType(AsHandle(file)) != FILE_TYPE_DISK)
        return fail(FileError::NotRegular, 0);

    // Written whether the lock came or not.
    LockWithin(AsHandle(file), clock, lockWaitMs);
    // Where the entry starts: what a write that fails part-way is cut back to.
    LARGE_INTEGER before{};
    const bool sized = ::GetFileSizeEx(AsHandle(file), &before) != 0;
    if (!WriteFully(AsHandle(file), reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        const DWORD error = ::GetLastError();
        // An append-only handle cannot shorten the file: a second one, for that alone.
        CUniqueFd cut = Own(::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (sized && cut.IsOpen() &&
            ::SetFilePointerEx(AsHandle(cut), before, nullptr, FILE_BEGIN) != 0) {
            ::SetEndOfFile(AsHandle(cut));
        }
        return fail(FileError::WriteFailed, error);
    }
    if (syncToDisk && ::FlushFileBuffers(AsHandle(file)) == 0)
        return fail(FileError::WriteFailed, ::GetLastError());
    return FileError::None;
}

bool FolderWritable(const std::string& folder) {
    if (folder.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    // A folder's read-only flag means nothing to the files in it; only trying tells.
    const std::string probe =
        folder + "\\.tamrix-write-test-" + std::to_string(::GetCurrentProcessId());
    const HANDLE file =
        ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

bool MakeFolders(const std::string& folder) {
    // Every prefix up to a separator, then the whole; a drive ("C:") or a share's root fails
    // harmlessly as it exists.
    for (size_t at = folder.find_first_of("\\/", 1); at != std::string::npos;
         at = folder.find_first_of("\\/", at + 1)) {
        ::CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    }
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CFileLock::Acquire(const std::string& path, CClock& clock, int timeoutMs) {
    Release();
    CUniqueFd file = Own(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen() || !LockWithin(AsHandle(file), clock, timeoutMs))
        return false;
    fd_ = std::move(file);
    return true;
}

namespace file_primitives {

Fault LookBeforeOpening(const std::string& path) {
    if (NamesDevice(path))
        return Fault{FileError::NotRegular, std::string()};
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return SystemFault(IsMissing(error) ? FileError::Missing : FileError::CannotOpen, error);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Fault{FileError::NotRegular, std::string()};
    return Fault{};
}

OpenedFile OpenForReading(const std::string& path) {
    OpenedFile opened;
    opened.file = Own(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.file.IsOpen()) {
        const DWORD error = ::GetLastError();
        opened.fault =
            SystemFault(IsMissing(error) ? FileError::Missing : FileError::CannotOpen, error);
    } else if (::GetFileType(AsHandle(opened.file)) != FILE_TYPE_DISK) {
        opened.fault = Fault{FileError::NotRegular, std::string()};
    }
    return opened;
}

bool TakeSharedLock(const CUniqueFd& file) {
    return TryLock(AsHandle(file), false) || ::GetLastError() != ERROR_LOCK_VIOLATION;
}

FileSize SizeOf(const CUniqueFd& file) {
    FileSize size;
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(AsHandle(file), &length))
        size.fault = SystemFault(FileError::CannotOpen, ::GetLastError());
    else
        size.bytes = static_cast<uint64_t>(length.QuadPart);
    return size;
}

ReadBytes ReadUpTo(const CUniqueFd& file, uint8_t* buffer, size_t count) {
    ReadBytes read;
    size_t done = 0;
    while (done < count) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(AsHandle(file), buffer + done, piece, &got, nullptr)) {
            read.count = -1;
            read.fault = SystemFault(FileError::ReadFailed, ::GetLastError());
            return read;
        }
        if (got == 0)
            break;
        done += got;
    }
    read.count = static_cast<int64_t>(done);
    return read;
}

}  // namespace file_primitives

}  // namespace tamrix
