#pragma once
// A window in front of another one that passes everything on and remembers the last status line,
// so that the record of a download can say where it ended whatever reported it.

#include <mutex>
#include <string>

#include "common/ForwardingWindow.h"

namespace tamrix {

class CStatusTap : public CForwardingWindow {
  public:
    // `target` may be null: then nothing is passed on (questions are answered No, as by a window
    // that is not there).
    explicit CStatusTap(CReportWindow* target) : target_(target) {}

    // The last status line, without its line end ("" before the first).
    std::string LastStatusLine() const;

  protected:
    MessageAnswer Forward(const ReportCall& call) override;

  private:
    void Remember(const std::string& text);

    CReportWindow* target_;
    mutable std::mutex mutex_;
    std::string last_;
};

}  // namespace tamrix
