// What the platforms' file sources share: the reading policy of ReadRegularFile over the
// platform's primitives (FilePrimitives.h), and the comparison of paths.

#include "platform/FileAccess.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/FilePrimitives.h"

namespace tamrix {

namespace {

namespace fs = std::filesystem;
namespace primitives = file_primitives;

std::function<void(const std::string&)>& ReadHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

FileReadResult Failure(const primitives::Fault& fault, uint64_t size = 0) {
    FileReadResult result;
    result.error = fault.error;
    result.size = size;
    result.reason = fault.reason.empty() ? FileErrorText(fault.error) : fault.reason;
    return result;
}

FileReadResult Failure(FileError error, uint64_t size = 0) {
    return Failure(primitives::Fault{error, std::string()}, size);
}

// Where a file that does not exist yet would be made: links followed (a bounded number of them,
// as the system does), the rest of the path resolved as far as it exists.
fs::path PlaceOf(const std::string& path) {
    std::error_code error;
    fs::path place = fs::absolute(path, error);
    for (int links = 0; links < 40 && fs::is_symlink(place, error); ++links) {
        const fs::path target = fs::read_symlink(place, error);
        if (error)
            break;
        place = target.is_absolute() ? target : place.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(place, error);
    return error ? place.lexically_normal() : resolved;
}

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, uint64_t maxSize, FileReadMode mode) {
    if (const primitives::Fault fault = primitives::LookBeforeOpening(path))
        return Failure(fault);
    primitives::OpenedFile opened = primitives::OpenForReading(path);
    if (opened.fault)
        return Failure(opened.fault);
    // Only a writer's lock keeps the reader out.
    if (mode == FileReadMode::SharedLock && !primitives::TakeSharedLock(opened.file))
        return Failure(FileError::Locked);

    const primitives::FileSize size = primitives::SizeOf(opened.file);
    if (size.fault)
        return Failure(size.fault);
    if (size.bytes > maxSize)
        return Failure(FileError::TooLarge, size.bytes);
    if (size.bytes == 0)
        return Failure(FileError::Empty);

    if (ReadHook())
        ReadHook()(path);

    FileReadResult result;
    result.size = size.bytes;
    result.bytes.resize(static_cast<size_t>(size.bytes));
    const primitives::ReadBytes got =
        primitives::ReadUpTo(opened.file, result.bytes.data(), result.bytes.size());
    if (got.count < 0)
        return Failure(got.fault, size.bytes);
    // Fewer bytes than the size: cut short while read. One byte more: still being written.
    uint8_t extra = 0;
    if (static_cast<uint64_t>(got.count) != size.bytes ||
        primitives::ReadUpTo(opened.file, &extra, 1).count != 0) {
        return Failure(FileError::Changed, size.bytes);
    }
    return result;
}

void SetFileReadHookForTests(std::function<void(const std::string& path)> hook) {
    ReadHook() = std::move(hook);
}

bool IsOneFile(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty())
        return false;
    if (IsSameFile(first, second))
        return true;
    std::error_code error;
    if (fs::exists(first, error) || fs::exists(second, error))
        return false;
    return PlaceOf(first) == PlaceOf(second);
}

const char* FileErrorText(FileError error) {
    switch (error) {
        case FileError::None:
            return "no error";
        case FileError::Missing:
            return "no such file";
        case FileError::CannotOpen:
            return "cannot be opened";
        case FileError::NotRegular:
            return "not a regular file";
        case FileError::Locked:
            return "in use by another instance of this program";
        case FileError::TooLarge:
            return "too large";
        case FileError::Empty:
            return "empty";
        case FileError::ReadFailed:
            return "read failed";
        case FileError::Changed:
            return "changed while it was read (cut short or still being written)";
        case FileError::WriteFailed:
            return "write failed";
    }
    return "unknown error";
}

}  // namespace tamrix
