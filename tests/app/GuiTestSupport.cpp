#include "tests/app/GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace tamrix::test {

struct BoxAnswerer::Watch {
    QTimer timer;
};

BoxAnswerer::BoxAnswerer(int answer) : watch_(new Watch) {
    watch_->timer.setInterval(5);
    QObject::connect(&watch_->timer, &QTimer::timeout, [this, answer]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        boxes.push_back(SeenBox{box->windowTitle(), box->text(), static_cast<int>(box->icon()),
                                static_cast<int>(box->standardButtons())});
        QAbstractButton* button = box->button(static_cast<QMessageBox::StandardButton>(answer));
        if (button == nullptr)
            button = box->button(QMessageBox::Ok);
        if (button == nullptr && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button != nullptr)
            button->click();
    });
    watch_->timer.start();
}

BoxAnswerer::~BoxAnswerer() {
    delete watch_;
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace tamrix::test
