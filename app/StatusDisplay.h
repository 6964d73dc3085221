#pragma once
// What the main window tells the technician during a download, in three places: the numbered,
// time-stamped status list, the progress bar with its label, and the process log file. Every
// status line goes to the list and the log; log lines go to the log only. GUI thread only.

#include <QString>
#include <Qt>
#include <memory>
#include <string>

#include "download/ProcessLog.h"

class QLabel;
class QProgressBar;
class QTableWidget;

namespace tamrix {

// The status text of a row in the list's third column, exactly as it was added.
inline constexpr int kStatusTextRole = Qt::UserRole + 1;

class CStatusDisplay {
  public:
    // The widgets belong to the window. `logPath` is where the process log is appended to.
    CStatusDisplay(QTableWidget* list, QProgressBar* bar, QLabel* label, std::string logPath);

    // One row in the list (numbered from 1, the time, the text unchanged) and one log entry.
    void AddStatusLine(const std::string& text);
    // One log entry only. A log that cannot be written is said once in the list; the entries
    // are lost, the list goes on.
    void WriteProcessLog(const std::string& text);
    // The label becomes prefix + value + "%", the bar `value`.
    void ShowProgress(int value, const std::string& labelPrefix);
    // The label's text as the window keeps it between updates.
    const QString& ProgressText() const { return progressText_; }
    void SetProgressText(const QString& text);

    const std::string& LogPath() const { return log_.Path(); }
    int RowCount() const;

  private:
    void SetUpList();
    void AppendRow(const QString& text);

    QTableWidget* list_;
    QProgressBar* bar_;
    QLabel* label_;
    CProcessLog log_;
    QString progressText_ = QStringLiteral("Progress....");
    bool logFailureShown_ = false;
};

// The status texts are 8-bit text; the list shows them as the program's local encoding would.
QString TextForDisplay(const std::string& text);

}  // namespace tamrix
