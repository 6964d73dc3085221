#pragma once
// What the window tests share: an answerer for the modal boxes the window raises, and a wait
// that keeps the event loop turning.

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace tamrix::test {

// A message box as the user saw it.
struct SeenBox {
    QString caption;
    QString text;
    int icon = 0;     // QMessageBox::Icon
    int buttons = 0;  // QMessageBox::StandardButtons
};

// Watches for modal message boxes while it exists, records each and presses `answer` (a
// QMessageBox::StandardButton) on it; Ok or the box's only button when that is not there.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(int answer);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    std::vector<SeenBox> boxes;

  private:
    struct Watch;
    Watch* watch_;
};

// Turns the event loop until `done` holds; false when it did not within `limitMs` (a safety
// limit against a hang, not a measure of speed).
bool WaitUntil(const std::function<bool()>& done, int limitMs = 30000);

}  // namespace tamrix::test
