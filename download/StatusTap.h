#pragma once
// A window in front of another one that passes everything on and remembers the last status line,
// so that the record of a download can say where it ended whatever reported it.

#include <mutex>
#include <string>

#include "common/ReportWindow.h"

namespace tamrix {

class CStatusTap : public CReportWindow {
  public:
    // `target` may be null: then nothing is passed on (questions are answered No, as by a window
    // that is not there).
    explicit CStatusTap(CReportWindow* target) : target_(target) {}

    void SendStatusLine(const std::string& text) override;
    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

    // The last status line, without its line end ("" before the first).
    std::string LastStatusLine() const;

  private:
    void Remember(const std::string& text);

    CReportWindow* target_;
    mutable std::mutex mutex_;
    std::string last_;
};

}  // namespace tamrix
