#include "bench/EventLoopGaps.h"

namespace tamrix::bench {

void CEventLoopGaps::Start(Clock::time_point origin) {
    origin_ = origin;
    firings_.clear();
    // A ten-second download at one firing a millisecond.
    firings_.reserve(1 << 16);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, this, [this]() {
        firings_.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - origin_).count());
    });
    timer_.start();
}

void CEventLoopGaps::Stop() {
    timer_.stop();
    timer_.disconnect(this);
}

std::vector<double> CEventLoopGaps::GapsBetween(double fromMs, double toMs) const {
    std::vector<double> gaps;
    for (size_t i = 1; i < firings_.size(); ++i) {
        if (firings_[i] > fromMs && firings_[i - 1] < toMs)
            gaps.push_back(firings_[i] - firings_[i - 1]);
    }
    return gaps;
}

double CEventLoopGaps::LongestGapEndBetween(double fromMs, double toMs) const {
    double longest = -1;
    double end = -1;
    for (size_t i = 1; i < firings_.size(); ++i) {
        const double gap = firings_[i] - firings_[i - 1];
        if (firings_[i] > fromMs && firings_[i - 1] < toMs && gap > longest) {
            longest = gap;
            end = firings_[i];
        }
    }
    return end;
}

}  // namespace tamrix::bench
