// What the platforms' stop-signal sources share: the signals kept in the order they came, and
// the wait that hands them out one by one until the end.

#include <atomic>

#include "cli/StopSignals.h"

namespace tamrix::cli {

namespace {

// Written only through RecordSignal, by one handler at a time.
constexpr int kKept = 8;
std::atomic<int> g_count{0};
std::atomic<int> g_numbers[kKept] = {};
static_assert(std::atomic<int>::is_always_lock_free, "recorded from a signal handler");

}  // namespace

void CStopSignals::RecordSignal(int signal) {
    // Past the kept ones, the last place takes the latest signal; each still counts.
    const int count = g_count.load();
    g_numbers[count < kKept ? count : kKept - 1] = signal;
    g_count = count + 1;
}

void CStopSignals::ClearSignals() {
    g_count = 0;
}

void CStopSignals::NotifyEnd() {
    ended_ = true;
    Wake();
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
        SleepUntilWoken();
    }
}

}  // namespace tamrix::cli
