#include "download/ProcessLog.h"

#include <ctime>

#include "common/Format.h"
#include "platform/FileAccess.h"
#include "platform/LocalTime.h"
#include "platform/UserFolders.h"

namespace tamrix {

namespace {

// How long another program's lock on the log may hold an entry back before it is written anyway.
constexpr int kLockWaitMs = 50;

}  // namespace

std::string FormatLogTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || !ToLocalTime(now, local))
        return "Invalid DateTime";
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d (%H:%M:%S)", &local) == 0)
        return "Invalid DateTime";
    return text;
}

bool CProcessLog::Write(const std::string& text, std::string* reason) {
    const std::string entry = Format("%s >> %s ", FormatLogTime().c_str(), text.c_str());
    std::lock_guard<std::mutex> lock(mutex_);
    return AppendToFile(path_, entry, clock_, kLockWaitMs, reason) == FileError::None;
}

std::string CProcessLog::ProgramFolder() {
    return ExecutableFolder();
}

std::string CProcessLog::ChoosePath(const std::string& programFolder) {
    if (FolderWritable(programFolder) && !IsSystemProgramFolder(programFolder))
        return programFolder + "/" + kProcessLogName;
    const std::string state = UserStateFolder();
    // A state folder that cannot be made is still the place to name: the first entry that cannot
    // be written there says why.
    static_cast<void>(MakeFolders(state));
    return state + "/" + kProcessLogName;
}

}  // namespace tamrix
