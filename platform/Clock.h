#pragma once
// Every wait of the program (handshake time-outs, acknowledge waits, pauses) goes through this
// interface, so tests can run a ten-second time-out in virtual time, instantly.

#include <cstdint>

namespace tamrix {

class CClock {
  public:
    virtual ~CClock() = default;
    // Milliseconds since an arbitrary, fixed origin; never goes backwards.
    virtual int64_t NowMs() = 0;
    // Pauses the calling thread for `ms` milliseconds (nothing happens for ms <= 0).
    virtual void SleepMs(int ms) = 0;
};

// Real time from the monotonic clock.
class CSystemClock : public CClock {
  public:
    int64_t NowMs() override;
    void SleepMs(int ms) override;
    // The one shared instance; it has no state.
    static CSystemClock& Instance();
};

// Time that moves only when somebody sleeps or advances it. Single-threaded use.
class CVirtualClock : public CClock {
  public:
    explicit CVirtualClock(int64_t startMs = 0) : now_(startMs) {}
    int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override {
        if (ms > 0)
            now_ += ms;
    }
    void AdvanceTo(int64_t ms) {
        if (ms > now_)
            now_ = ms;
    }

  private:
    int64_t now_;
};

}  // namespace tamrix
