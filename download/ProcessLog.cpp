#include "download/ProcessLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/Format.h"

namespace tamrix {

namespace {

bool FolderWritable(const std::string& folder) {
    return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

// mkdir -p
bool MakeFolders(const std::string& folder) {
    std::string partial;
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        partial = folder.substr(0, at);
        if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

}  // namespace

std::string FormatLogTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
        return "Invalid DateTime";
    }
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d (%H:%M:%S)", &local) == 0) {
        return "Invalid DateTime";
    }
    return text;
}

bool CProcessLog::Write(const std::string& text, std::string* reason) {
    const std::string entry = Format("%s >> %s ", FormatLogTime().c_str(), text.c_str());
    std::lock_guard<std::mutex> lock(mutex_);
    auto fail = [reason](const char* why) {
        if (reason != nullptr)
            *reason = why;
        return false;
    };

    // Looked at before it is opened: opening a FIFO waits for a reader, a terminal or device has
    // effects of its own, and none of them is a log.
    struct stat info {};
    if (stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return fail("not a regular file");
    const int fd = open(path_.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0)
        return fail(std::strerror(errno));
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return fail("not a regular file");
    }

    // Another program appending at the same moment must not interleave with us, but no log entry
    // is worth stopping a download for: a lock held longer than a moment (by a stuck program, or
    // on a file this program itself holds) is given up on and the entry written without it.
    constexpr int kLockAttempts = 25;
    constexpr int kLockRetryMs = 2;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
            break;
        clock_.SleepMs(kLockRetryMs);
    }
    size_t done = 0;
    int writeErrno = 0;
    while (done < entry.size()) {
        const ssize_t n = write(fd, entry.data() + done, entry.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            writeErrno = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == entry.size() || fail(std::strerror(writeErrno));
}

std::string CProcessLog::ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string CProcessLog::ChoosePath(const std::string& programFolder) {
    if (FolderWritable(programFolder))
        return programFolder + "/" + kProcessLogName;
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
        state = std::string(xdg) + "/tamrix";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        state = std::string(home) + "/.local/state/tamrix";
    } else {
        state = "/tmp/tamrix-" + std::to_string(getuid());
    }
    MakeFolders(state);
    return state + "/" + kProcessLogName;
}

}  // namespace tamrix
