#pragma once
// The dialog program's own application object, with two additions for the benchmark: it times
// every event the GUI thread handles, the outermost deliveries (what the event loop spent its
// time on) and the ones sent while another is handled (a paint event inside a repaint that a
// hand-over caused, say), and it answers every message box Yes (or Ok) as soon as the
// box is shown, the way a technician who accepts everything would.

#include <QString>
#include <chrono>
#include <functional>
#include <vector>

#include "app/TamrixApp.h"

namespace tamrix::bench {

// One event the GUI thread handled, in milliseconds since the recording's origin.
struct HandledEvent {
    double startMs = 0;
    double durationMs = 0;
    int type = 0;                         // QEvent::Type
    const char* receiverClass = nullptr;  // the receiver's class name (static text)
    int depth = 0;                        // 0: delivered by the event loop; 1: inside such a one...
};

class CEventTimingApp : public CTamrixApp {
  public:
    using Clock = std::chrono::steady_clock;

    CEventTimingApp(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Records every event from now on, its times counted from `origin`.
    void StartRecording(Clock::time_point origin);
    void StopRecording() { recording_ = false; }
    const std::vector<HandledEvent>& Events() const { return events_; }

    // Called on the GUI thread after every outermost event while recording, with its end.
    std::function<void(QObject* receiver, int type, double endMs)> afterEvent;

    // The message boxes answered so far, as "caption: text".
    const std::vector<QString>& AnsweredBoxes() const { return answered_; }

    // The name of an event type ("MetaCall", "Timer", ...).
    static QString TypeName(int type);

  private:
    bool recording_ = false;
    int depth_ = 0;
    Clock::time_point origin_{};
    std::vector<HandledEvent> events_;
    std::vector<QString> answered_;
};

}  // namespace tamrix::bench
