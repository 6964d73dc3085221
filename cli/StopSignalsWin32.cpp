// Ctrl-C and Ctrl-Break in a Windows console. The system runs the console's control handler on a
// thread of its own; the handler only notes the event and wakes the thread in Wait, which acts on
// it. Returning TRUE keeps the process alive for that: the download stops at its next safe point.
// They are reported as SIGINT and SIGBREAK (the C runtime's numbers for them).

#include <windows.h>

#include <csignal>
#include <cstdint>

#include "cli/StopSignals.h"

namespace tamrix::cli {

namespace {

constexpr int kKept = 8;
std::atomic<int> g_count{0};
std::atomic<int> g_numbers[kKept] = {};
std::atomic<HANDLE> g_wake{nullptr};

HANDLE AsHandle(const CUniqueFd& fd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd.Get()));
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    int number = 0;
    if (event == CTRL_C_EVENT)
        number = SIGINT;
    else if (event == CTRL_BREAK_EVENT)
        number = SIGBREAK;
    else
        return FALSE;  // closing, logging off, shutting down: the system's default
    const int count = g_count.load();
    g_numbers[count < kKept ? count : kKept - 1] = number;
    g_count = count + 1;
    if (const HANDLE wake = g_wake.load())
        ::SetEvent(wake);
    return TRUE;
}

}  // namespace

CStopSignals::CStopSignals() {
    g_count = 0;
    taken_ = 0;
    // An auto-reset event: set by NotifyEnd and by the handler, taken by Wait.
    const HANDLE wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (wake != nullptr)
        endRead_.Reset(static_cast<int>(reinterpret_cast<intptr_t>(wake)));
    g_wake = wake;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CStopSignals::~CStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_wake = nullptr;
}

void CStopSignals::NotifyEnd() {
    ended_ = true;
    if (endRead_.IsOpen())
        ::SetEvent(AsHandle(endRead_));
}

int CStopSignals::Wait() {
    while (true) {
        if (taken_ < g_count) {
            const int at = taken_ < kKept ? taken_ : kKept - 1;
            ++taken_;
            return g_numbers[at];
        }
        if (ended_)
            return 0;
        // Without the event (it could not be made) the end is noticed by looking now and then.
        ::WaitForSingleObject(endRead_.IsOpen() ? AsHandle(endRead_) : ::GetCurrentProcess(),
                              endRead_.IsOpen() ? INFINITE : 100);
    }
}

const char* CStopSignals::Name(int signal) {
    switch (signal) {
        case SIGINT:
            return "Ctrl-C";
        case SIGBREAK:
            return "Ctrl-Break";
        default:
            return "a stop request";
    }
}

}  // namespace tamrix::cli
