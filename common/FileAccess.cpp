// What the platforms' file sources share.

#include "common/FileAccess.h"

namespace tamrix {

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
