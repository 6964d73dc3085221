#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Format.h"

namespace tamrix {

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error)
        *error = Format("%s: %s", what.c_str(), std::strerror(errno));
    return false;
}

}  // namespace

CPseudoTerminal::~CPseudoTerminal() {
    Close();
}

bool CPseudoTerminal::Open(const std::string& linkPath, std::string* error) {
    Close();
    CUniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsOpen())
        return Fail(error, "posix_openpt");
    if (grantpt(master.Get()) != 0)
        return Fail(error, "grantpt");
    if (unlockpt(master.Get()) != 0)
        return Fail(error, "unlockpt");
    char name[128] = {};
    if (ptsname_r(master.Get(), name, sizeof name) != 0)
        return Fail(error, "ptsname_r");
    const int flags = fcntl(master.Get(), F_GETFL);
    if (flags < 0 || fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return Fail(error, "fcntl O_NONBLOCK");
    }

    CUniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!slave.IsOpen())
        return Fail(error, Format("open %s", name));
    // Raw from the start: no echo, no line editing, no CR/LF translation of the start signal.
    termios settings{};
    if (tcgetattr(slave.Get(), &settings) != 0)
        return Fail(error, "tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave.Get(), TCSANOW, &settings) != 0)
        return Fail(error, "tcsetattr");

    if (!linkPath.empty()) {
        struct stat existing {};
        if (lstat(linkPath.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode)) {
                errno = EEXIST;
                return Fail(error, Format("link %s", linkPath.c_str()));
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            return Fail(error, Format("link %s", linkPath.c_str()));
        }
        linkPath_ = linkPath;
    }
    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = name;
    return true;
}

void CPseudoTerminal::HangUp() {
    master_.Reset();
    slave_.Reset();
}

void CPseudoTerminal::Close() {
    HangUp();
    if (!linkPath_.empty()) {
        ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
}

}  // namespace tamrix
