// What the platforms' file sources share.

#include "common/FileAccess.h"

#include <filesystem>
#include <system_error>

namespace tamrix {

namespace {

namespace fs = std::filesystem;

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
