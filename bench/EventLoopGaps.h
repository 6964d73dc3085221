#pragma once
// How long the GUI thread's event loop goes without turning: a 1 ms precise timer on that thread
// notes the moment of every firing, and the gaps between firings are the loop's stalls (plus the
// timer's own millisecond). A hand-over the worker waits for, a repaint or a file write on the GUI
// thread all show as a gap at least as long as they took.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <vector>

namespace tamrix::bench {

class CEventLoopGaps : public QObject {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts firing; the moments are milliseconds since `origin`.
    void Start(Clock::time_point origin);
    void Stop();

    // The gaps between consecutive firings that overlap [fromMs, toMs], in milliseconds.
    std::vector<double> GapsBetween(double fromMs, double toMs) const;
    // Where the longest of them ended (the firing after it); -1 when there is none.
    double LongestGapEndBetween(double fromMs, double toMs) const;

  private:
    QTimer timer_;
    Clock::time_point origin_{};
    std::vector<double> firings_;
};

}  // namespace tamrix::bench
