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
    CStopSignals::RecordSignal(number);
    if (const HANDLE wake = g_wake.load())
        ::SetEvent(wake);
    return TRUE;
}

}  // namespace

CStopSignals::CStopSignals() {
    ClearSignals();
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

void CStopSignals::Wake() {
    if (endRead_.IsOpen())
        ::SetEvent(AsHandle(endRead_));
}

void CStopSignals::SleepUntilWoken() {
    // Without the event (it could not be made) the end is noticed by looking now and then.
    ::WaitForSingleObject(endRead_.IsOpen() ? AsHandle(endRead_) : ::GetCurrentProcess(),
                          endRead_.IsOpen() ? INFINITE : 100);
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
