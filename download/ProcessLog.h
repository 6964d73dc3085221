#pragma once
// The process log "ProcssLog.log": every status line and log line of every run, appended, never
// truncated. One entry is the local time, " >> ", the text unchanged and one blank; the texts bring
// their own "\r\n".

#include <mutex>
#include <string>

namespace tamrix {

inline constexpr const char* kProcessLogName = "ProcssLog.log";

// "%Y-%m-%d (%H:%M:%S)" of the current local time, or "Invalid DateTime".
std::string FormatLogTime();

class CProcessLog {
  public:
    explicit CProcessLog(std::string path) : path_(std::move(path)) {}

    // Appends one entry (opened and closed for every entry). False when the file cannot be
    // opened or written: the entry is lost, nothing else happens.
    bool Write(const std::string& text);
    const std::string& Path() const { return path_; }

    // The log beside the program file. When that folder is not writable, the per-user state
    // folder ($XDG_STATE_HOME/tamrix, else ~/.local/state/tamrix) instead, so nothing is lost.
    static std::string ChoosePath(const std::string& programFolder);
    // Folder of the running executable ("" when unknown).
    static std::string ProgramFolder();

  private:
    std::string path_;
    std::mutex mutex_;
};

}  // namespace tamrix
