#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/UserFolders.h"

namespace tamrix {

namespace {

// An absolute path from the environment, or "".
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value == '/' ? std::string(value) : std::string();
}

// Any value from the environment, or "".
std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The path with every link and ".." resolved, or "" when it does not exist.
std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

bool IsUnder(const std::string& path, const char* root) {
    const size_t length = std::strlen(root);
    return path.compare(0, length, root) == 0 && (path.size() == length || path[length] == '/');
}

}  // namespace

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    const std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string UserConfigFolder() {
    if (const std::string xdg = FromEnvironment("XDG_CONFIG_HOME"); !xdg.empty())
        return xdg + "/tamrix";
    if (const std::string home = FromEnvironment("HOME"); !home.empty())
        return home + "/.config/tamrix";
    return std::string();
}

std::string UserStateFolder() {
    if (const std::string xdg = AbsoluteFromEnvironment("XDG_STATE_HOME"); !xdg.empty())
        return xdg + "/tamrix";
    if (const std::string home = AbsoluteFromEnvironment("HOME"); !home.empty())
        return home + "/.local/state/tamrix";
    return "/tmp/tamrix-" + std::to_string(::getuid());
}

bool IsSystemProgramFolder(const std::string& folder) {
    const std::string resolved = Resolved(folder);
    struct stat info {};
    if (resolved.empty() || ::stat(resolved.c_str(), &info) != 0 || info.st_uid != 0)
        return false;
    for (const char* root : {"/usr", "/bin", "/sbin", "/opt", "/snap"}) {
        if (IsUnder(resolved, root))
            return true;
    }
    // Elsewhere only root's own search path: a folder root runs programs from unasked.
    if (::geteuid() != 0)
        return false;
    const std::string path = FromEnvironment("PATH");
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string entry = path.substr(start, end - start);
        if (!entry.empty() && Resolved(entry) == resolved)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace tamrix
