#include "bench/EventTimingApp.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMessageBox>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>

namespace tamrix::bench {

namespace {

double MsSince(CEventTimingApp::Clock::time_point origin, CEventTimingApp::Clock::time_point at) {
    return std::chrono::duration<double, std::milli>(at - origin).count();
}

}  // namespace

CEventTimingApp::CEventTimingApp(int& argc, char** argv) : CTamrixApp(argc, argv) {}

void CEventTimingApp::StartRecording(Clock::time_point origin) {
    origin_ = origin;
    events_.clear();
    events_.reserve(1 << 16);
    recording_ = true;
}

QString CEventTimingApp::TypeName(int type) {
    const char* name =
        QMetaEnum::fromType<QEvent::Type>().valueToKey(static_cast<QEvent::Type>(type));
    return name != nullptr ? QString::fromLatin1(name) : QString::number(type);
}

bool CEventTimingApp::notify(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::Show) {
        // Pressed once the box's own event loop runs, so the box ends as if clicked.
        if (auto* box = qobject_cast<QMessageBox*>(receiver)) {
            answered_.push_back(box->windowTitle() + ": " + box->text());
            QTimer::singleShot(0, box, [box]() {
                QAbstractButton* button = box->button(QMessageBox::Yes);
                if (button == nullptr)
                    button = box->button(QMessageBox::Ok);
                if (button == nullptr && !box->buttons().isEmpty())
                    button = box->buttons().first();
                if (button != nullptr)
                    button->click();
            });
        }
    }
    if (!recording_ || QThread::currentThread() != thread())
        return CTamrixApp::notify(receiver, event);

    const int type = event->type();
    const char* receiverClass = receiver->metaObject()->className();
    const int depth = depth_;
    const Clock::time_point start = Clock::now();
    ++depth_;
    const bool handled = CTamrixApp::notify(receiver, event);
    --depth_;
    const Clock::time_point end = Clock::now();
    events_.push_back({MsSince(origin_, start), MsSince(origin_, end) - MsSince(origin_, start),
                       type, receiverClass, depth});
    // The receiver may be gone by now; the observer only compares it.
    if (depth == 0 && afterEvent)
        afterEvent(receiver, type, MsSince(origin_, end));
    return handled;
}

}  // namespace tamrix::bench
