// Loaded into a program with LD_PRELOAD, this checks what the program still holds when it ends
// normally (main returned or exit was called): the descriptors it has open and the threads that
// still run, against what it had when it started, and whether the serial port it was given with
// --port can be opened and locked again at once by a fresh opening. It prints one line on
// standard error:
//
//   leak-check: descriptors S->E threads S->E port reopened|busy|gone|none
//
// Nothing is printed when the program ends by a signal or by _exit, which the caller notices by
// the missing line. The program itself is not changed: this is the very executable users run.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_descriptorsAtStart = -1;
int g_threadsAtStart = -1;

// Entries of a /proc folder, without "." and ".."; `skipFd` is the folder's own descriptor.
int CountEntries(const char* folder, bool skipOwnDescriptor) {
    DIR* dir = ::opendir(folder);
    if (dir == nullptr)
        return -1;
    const int own = ::dirfd(dir);
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (skipOwnDescriptor && std::atoi(entry->d_name) == own)
            continue;
        ++count;
    }
    ::closedir(dir);
    return count;
}

// The value of --port in this process's command line ("" when there is none).
std::string PortArgument() {
    FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (file == nullptr)
        return "";
    std::vector<std::string> args(1);
    int c = 0;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\0')
            args.emplace_back();
        else
            args.back() += static_cast<char>(c);
    }
    std::fclose(file);
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--port")
            return args[i + 1];
        if (args[i].rfind("--port=", 0) == 0)
            return args[i].substr(7);
    }
    return "";
}

// Opens the port as the program itself does (exclusive use, advisory lock): a descriptor the
// program left open on it, or a lock it kept, makes this fail.
const char* ReopenPort(const std::string& port) {
    if (port.empty() || port[0] != '/')
        return "none";
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == EIO || errno == ENXIO ? "gone" : "busy";
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked ? "reopened" : "busy";
}

// The threads of the process. A thread already joined can still be listed for a moment: its
// joiner is let go as the thread leaves, before the system has taken it off the list. Such a
// thread is gone within microseconds; one that still runs stays for the whole second.
int CountThreads() {
    int threads = CountEntries("/proc/self/task", false);
    for (int tries = 0; tries < 100 && threads > g_threadsAtStart; ++tries) {
        ::usleep(10000);
        threads = CountEntries("/proc/self/task", false);
    }
    return threads;
}

void Report() {
    const int descriptors = CountEntries("/proc/self/fd", true);
    const int threads = CountThreads();
    std::fflush(stdout);
    std::fprintf(stderr, "leak-check: descriptors %d->%d threads %d->%d port %s\n",
                 g_descriptorsAtStart, descriptors, g_threadsAtStart, threads,
                 ReopenPort(PortArgument()));
    std::fflush(stderr);
}

// Runs when the library is loaded, before the program's own static objects are built; the
// handler registered here runs after everything the program registered later has been undone.
__attribute__((constructor)) void Start() {
    g_descriptorsAtStart = CountEntries("/proc/self/fd", true);
    g_threadsAtStart = CountEntries("/proc/self/task", false);
    std::atexit(Report);
}

}  // namespace
