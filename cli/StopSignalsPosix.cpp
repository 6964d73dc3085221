#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "cli/StopSignals.h"

namespace tamrix::cli {

namespace {

// Runs only on the thread in Wait (every other thread holds the signals back) and never nested
// (its mask holds both back while it runs).
void OnStopSignal(int number) {
    CStopSignals::RecordSignal(number);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kStopSignals)
        sigaddset(&set, number);
    return set;
}

// What the object found, to be put back: one object at a time.
sigset_t g_previousMask;
struct sigaction g_previousActions[2];
bool g_installed[2] = {false, false};

}  // namespace

CStopSignals::CStopSignals() {
    const sigset_t set = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, &g_previousMask);
    ClearSignals();
    taken_ = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_mask = set;
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        g_installed[i] = false;
        struct sigaction previous {};
        if (sigaction(kStopSignals[i], nullptr, &previous) != 0)
            continue;
        // A signal ignored by whoever started the program (nohup, a background job) stays
        // ignored.
        if (previous.sa_handler == SIG_IGN)
            continue;
        if (sigaction(kStopSignals[i], &action, &g_previousActions[i]) == 0)
            g_installed[i] = true;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        endRead_.Reset(fds[0]);
        endWrite_.Reset(fds[1]);
    }
}

CStopSignals::~CStopSignals() {
    // Signals that came after the end are taken here, never acted on by the default action once
    // the mask is restored: the work they were meant to stop is over.
    const sigset_t set = StopSignalSet();
    const timespec now{0, 0};
    while (sigtimedwait(&set, nullptr, &now) > 0) {
    }
    for (int i = 0; i < 2; ++i) {
        if (g_installed[i])
            sigaction(kStopSignals[i], &g_previousActions[i], nullptr);
        g_installed[i] = false;
    }
    pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
}

void CStopSignals::Wake() {
    // A full pipe already wakes the waiter; a missing one is made up for by its looking again.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(endWrite_.Get(), &byte, 1);
}

void CStopSignals::SleepUntilWoken() {
    // While waiting, and only then, the signals may come in on this thread: the handler runs
    // inside ppoll, which then returns.
    sigset_t during = g_previousMask;
    for (int number : kStopSignals)
        sigdelset(&during, number);
    // Without the pipe (it could not be made) the end is noticed by looking again now and then.
    const timespec poll{0, 100 * 1000 * 1000};
    pollfd end{endRead_.Get(), POLLIN, 0};
    const bool piped = endRead_.IsOpen();
    const int polled = ppoll(&end, piped ? 1 : 0, piped ? nullptr : &poll, &during);
    if (polled > 0) {
        char bytes[16];
        while (::read(endRead_.Get(), bytes, sizeof bytes) > 0) {
        }
    }
}

const char* CStopSignals::Name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "a signal";
    }
}

}  // namespace tamrix::cli
