#pragma once
// Ctrl-C (SIGINT) and SIGTERM while tamrix-cli talks to a product. Killing the program in the
// middle of a row would leave the port in an unknown state and the technician without a word on
// what the product now holds; instead the first signal asks the download to stop at its next
// safe point (between two rows or two steps), and the program ends with its message, its log
// line and the exit status kExitInterrupted. A second signal ends it at once: the operating
// system closes the port with the process.
//
// The object holds the signals back from the thread that makes it and from every thread started
// after it, so make it before any thread (the download's worker, a simulated product) exists.
// Only Wait lets them in, on the thread that waits; so no other thread is ever interrupted in a
// system call, and the handler runs at a known place.

#include <atomic>

#include "platform/UniqueFd.h"

namespace tamrix::cli {

class CStopSignals {
  public:
    CStopSignals();
    // Takes back what arrived after the end and restores the handlers and the mask it found.
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // From any thread: the work has ended; Wait returns 0 from now on.
    void NotifyEnd();
    // Waits until the end or a signal. Returns the signal's number (SIGINT, SIGTERM), or 0 at
    // the end. Every signal is returned once, in the order they came.
    int Wait();

    // "SIGINT", "SIGTERM".
    static const char* Name(int signal);

    // The signals that came, in order, for Wait: the platform's handler records each one here.
    // Lock-free atomics only, so a signal handler may record.
    static void RecordSignal(int signal);

  private:
    // What each platform does itself (StopSignalsPosix.cpp, StopSignalsWin32.cpp): wakes a thread
    // in SleepUntilWoken, which returns when NotifyEnd was called or a signal may have come (or,
    // without the means to be woken, after a short while).
    void Wake();
    void SleepUntilWoken();
    // Forgets what earlier objects recorded.
    static void ClearSignals();

    CUniqueFd endRead_;  // Posix: a pipe that Wake writes a byte into; Win32: an event
    CUniqueFd endWrite_;
    std::atomic<bool> ended_{false};
    int taken_ = 0;  // signals Wait has returned
};

}  // namespace tamrix::cli
