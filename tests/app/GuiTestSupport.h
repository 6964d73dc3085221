#pragma once
// What the window tests share: a settings store that records its writes, an answerer for the
// modal boxes the window raises, and a wait that keeps the event loop turning.

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/Profile.h"

class QWidget;

namespace tamrix::test {

class RecordingProfile : public CProfile {
  public:
    std::map<QString, QString> values;  // "section/entry" -> value
    QStringList writes;                 // entries in the order they were written

    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) override;
    void WriteProfileInt(const QString& section, const QString& entry, int value) override;
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) override;
    void WriteProfileString(const QString& section, const QString& entry,
                            const QString& value) override;
};

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
