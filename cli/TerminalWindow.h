#pragma once
// The window of tamrix-cli: status lines numbered and time-stamped like the GUI's status list,
// a progress bar on a terminal (plain lines otherwise), message boxes printed with their caption,
// questions asked at the terminal or answered by --yes/--no, and the process log written exactly
// as the GUI writes it. A log that cannot be written is reported once on stderr; the run goes on.

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "common/ReportWindow.h"
#include "download/ProcessLog.h"

namespace tamrix::cli {

enum class QuestionPolicy { Ask, AlwaysYes, AlwaysNo };

class CTerminalWindow : public CReportWindow {
  public:
    // `log` may be null (no process log); several windows may share one. Output goes to `out`.
    // With a `prefix` (the port, when several products are served at once) every line printed
    // and every log entry starts with it, and progress is shown as plain lines, never as a bar
    // that other ports' lines would break up.
    CTerminalWindow(std::FILE* out, std::shared_ptr<CProcessLog> log, QuestionPolicy policy,
                    std::string prefix = std::string());
    ~CTerminalWindow() override;

    void SendProgress(int value, const std::string& labelPrefix) override;
    void AddStatusLine(const std::string& text) override;
    void WriteProcessLog(const std::string& text) override;
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) override;

    // A status line from another thread than the download's, which never waits for long: while
    // a question at the terminal waits for its answer (the download's thread holds the window),
    // the line goes to standard error instead of the numbered list. It is logged either way.
    void Notice(const std::string& text);
    // Ends a progress bar line so that later output starts on a fresh line.
    void FinishProgress();
    // A plain line on the output (with the prefix), neither numbered nor logged: what the
    // program says about the run rather than what the download reported.
    void Say(const std::string& text);
    int StatusLineCount() const { return lines_; }
    // The download's last status line, without its line end ("" before the first); any thread,
    // never waits for a question at the terminal.
    std::string LastStatusLine() const;
    const CProcessLog* Log() const { return log_.get(); }

  private:
    void ClearBar();
    void DrawBar();
    // Draws the bar again after other output, while it is unfinished.
    void RestoreBar();
    // One numbered, time-stamped line of the status list; the window's lock is held.
    void PrintStatusLine(const std::string& shown);
    // The log entry's text: the prefix in front, when there is one.
    std::string LogText(const std::string& text) const;
    // Every line of `text` with the prefix in front (unchanged without one).
    std::string Prefixed(const std::string& text) const;
    // The parts of a message box. The box is put together in `box` and printed at once, with the
    // prefix in front of every line, so that another port's lines never come between its lines;
    // the window's lock is held.
    void PrintBox(std::string& box);
    // The answer to a Yes/No question, as the policy gives it or the technician types it; the
    // answer's line goes into `box`.
    MessageAnswer AnswerQuestion(std::string& box);
    MessageAnswer AskAtTerminal(std::string& box);

    std::FILE* out_;
    std::shared_ptr<CProcessLog> log_;
    std::string prefix_;
    std::atomic<bool> logFailureReported_{false};
    QuestionPolicy policy_;
    bool terminal_;
    std::mutex mutex_;
    mutable std::mutex lastLineMutex_;
    std::string lastLine_;
    int lines_ = 0;
    bool barShown_ = false;
    int barValue_ = -1;
    std::string barLabel_;
    int plainStep_ = -1;  // last tenth printed when not on a terminal
};

}  // namespace tamrix::cli
