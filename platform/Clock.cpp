#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace tamrix {

int64_t CSystemClock::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CSystemClock::SleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

CSystemClock& CSystemClock::Instance() {
    static CSystemClock clock;
    return clock;
}

}  // namespace tamrix
