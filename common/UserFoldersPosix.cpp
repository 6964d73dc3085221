#include <limits.h>
#include <unistd.h>

#include <cstdlib>

#include "common/UserFolders.h"

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

}  // namespace tamrix
