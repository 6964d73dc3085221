#pragma once
// The process log "ProcssLog.log": every status line and log line of every run, appended, never
// truncated. One entry is the local time, " >> ", the text unchanged and one blank; the texts bring
// their own "\r\n".

#include <mutex>
#include <string>

#include "platform/Clock.h"

namespace tamrix {

inline constexpr const char* kProcessLogName = "ProcssLog.log";

// "%Y-%m-%d (%H:%M:%S)" of the current local time, or "Invalid DateTime".
std::string FormatLogTime();

class CProcessLog {
  public:
    // `clock` paces the brief wait for another writer's lock.
    explicit CProcessLog(std::string path, CClock& clock = CSystemClock::Instance())
        : path_(std::move(path)), clock_(clock) {}

    // Appends one entry (opened and closed for every entry). Never waits for long: only a
    // regular file is written (a FIFO, terminal or device is refused without being waited on),
    // and when another program holds the file's lock for more than a moment the entry is written
    // without it. False with the cause in `reason` when the entry could not be written; the
    // entry is then lost and the caller decides whether to tell anyone.
    bool Write(const std::string& text, std::string* reason = nullptr);
    const std::string& Path() const { return path_; }

    // The log beside the program file. When that folder is not writable, or holds the system's
    // programs (IsSystemProgramFolder: /usr/bin, /opt/..., Program Files), the per-user state
    // folder ($XDG_STATE_HOME/tamrix, else ~/.local/state/tamrix) instead, so nothing is lost
    // and nothing is left among the system's files.
    static std::string ChoosePath(const std::string& programFolder);
    // Folder of the running executable ("" when unknown).
    static std::string ProgramFolder();

  private:
    std::string path_;
    CClock& clock_;
    std::mutex mutex_;
};

}  // namespace tamrix
