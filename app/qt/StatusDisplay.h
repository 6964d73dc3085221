#pragma once
// The Qt dialog's status list (numbered, time-stamped rows) and its progress bar with the label.
// What goes into them, and into the process log, is decided by CDialogLogic. GUI thread only.

#include <QString>
#include <Qt>
#include <string>

class QLabel;
class QProgressBar;
class QTableWidget;

namespace tamrix {

// The status text of a row in the list's third column, exactly as it was added.
inline constexpr int kStatusTextRole = Qt::UserRole + 1;

class CStatusDisplay {
  public:
    // The widgets belong to the window.
    CStatusDisplay(QTableWidget* list, QProgressBar* bar, QLabel* label);

    // One row at the end of the list: its number, the time and the text unchanged.
    void AppendRow(int number, const std::string& time, const std::string& text);
    // The bar at `value`, the label `label`.
    void ShowProgress(int value, const std::string& label);
    void SetProgressText(const QString& text);
    int RowCount() const;

  private:
    void SetUpList();

    QTableWidget* list_;
    QProgressBar* bar_;
    QLabel* label_;
};

// The status texts are 8-bit text; the list shows them as the program's local encoding would.
QString TextForDisplay(const std::string& text);

}  // namespace tamrix
