#include "cli/TerminalWindow.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "common/Format.h"

namespace tamrix::cli {

namespace {

// How long a notice waits for a status line in progress before it goes to stderr on its own.
constexpr int kNoticeLockWaitMs = 200;

// Tries to take `lock` for up to `ms` milliseconds. A plain try-lock in short steps rather than a
// timed mutex: libstdc++ takes a timed mutex through pthread_mutex_clocklock, which
// ThreadSanitizer does not see, so it reports races on everything the lock protects. This wait
// is rare (a signal while a line is printed) and short.
bool TryLockFor(std::unique_lock<std::mutex>& lock, int ms) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The texts carry "\r\n" (and, once, "\n\r") line breaks for the Windows message box; on a
// terminal each becomes one line feed.
std::string TerminalText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
            (c == '\n' && i + 1 < text.size() && text[i + 1] == '\r')) {
            out += '\n';
            ++i;
        } else if (c == '\r') {
            out += '\n';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

const char* IconName(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Information:
            return "information";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::None:
            break;
    }
    return "";
}

constexpr int kBarWidth = 40;

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

}  // namespace

CTerminalWindow::CTerminalWindow(std::FILE* out, std::shared_ptr<CProcessLog> log,
                                 QuestionPolicy policy, std::string prefix)
    : out_(out),
      log_(std::move(log)),
      prefix_(std::move(prefix)),
      policy_(policy),
      terminal_(prefix_.empty() && isatty(fileno(out)) != 0) {}

std::string CTerminalWindow::LogText(const std::string& text) const {
    return prefix_.empty() ? text : "[" + prefix_ + "] " + text;
}

void CTerminalWindow::Say(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::fputs(Prefixed(text + "\n").c_str(), out_);
    RestoreBar();
    std::fflush(out_);
}

CTerminalWindow::~CTerminalWindow() {
    FinishProgress();
}

void CTerminalWindow::ClearBar() {
    if (barShown_) {
        // A finished bar stays on screen; an unfinished one is redrawn below the new output.
        std::fputs(barValue_ >= 100 ? "\n" : "\r\033[K", out_);
        barShown_ = false;
    }
}

void CTerminalWindow::RestoreBar() {
    // An unfinished bar goes back below what was just printed.
    if (terminal_ && barValue_ >= 0 && barValue_ < 100)
        DrawBar();
}

void CTerminalWindow::DrawBar() {
    const int filled = std::clamp(barValue_, 0, 100) * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(out_, "\r[%s] %s%d%%", bar.c_str(), barLabel_.c_str(), barValue_);
    std::fflush(out_);
    barShown_ = true;
}

void CTerminalWindow::SendProgress(int value, const std::string& labelPrefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool changed = value != barValue_ || labelPrefix != barLabel_;
    const bool newLabel = labelPrefix != barLabel_;
    barValue_ = value;
    barLabel_ = labelPrefix;
    if (terminal_) {
        if (changed || !barShown_)
            DrawBar();
        return;
    }
    // Not a terminal: one plain line per tenth, and whenever the label changes.
    const int step = value / 10;
    if (newLabel || step != plainStep_) {
        plainStep_ = step;
        std::fputs(Prefixed(Format("%s%d%%\n", labelPrefix.c_str(), value)).c_str(), out_);
        std::fflush(out_);
    }
}

void CTerminalWindow::PrintStatusLine(const std::string& shown) {
    ClearBar();
    ++lines_;
    // One write a line: the output's own lock keeps other ports' lines out of it.
    std::fputs(
        Prefixed(Format("%3d  %s  %s\n", lines_, FormatLogTime().c_str(), shown.c_str())).c_str(),
        out_);
    RestoreBar();
    std::fflush(out_);
}

void CTerminalWindow::AddStatusLine(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(lastLineMutex_);
        lastLine_ = WithoutLineEnd(text);
    }
    WriteProcessLog(text);
    std::lock_guard<std::mutex> lock(mutex_);
    PrintStatusLine(WithoutLineEnd(text));
}

std::string CTerminalWindow::LastStatusLine() const {
    std::lock_guard<std::mutex> lock(lastLineMutex_);
    return lastLine_;
}

void CTerminalWindow::Notice(const std::string& text) {
    if (log_)
        log_->Write(LogText(text));
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (!TryLockFor(lock, kNoticeLockWaitMs)) {
        std::fprintf(stderr, "\n%s\n", WithoutLineEnd(text).c_str());
        std::fflush(stderr);
        return;
    }
    PrintStatusLine(WithoutLineEnd(text));
}

void CTerminalWindow::WriteProcessLog(const std::string& text) {
    std::string reason;
    if (!log_ || log_->Write(LogText(text), &reason) || logFailureReported_.exchange(true))
        return;
    // Once, not for every entry: the technician learns that this run leaves no log, and the
    // download goes on.
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::fflush(out_);
    std::fprintf(stderr,
                 "tamrix-cli: warning: cannot write the process log %s (%s); the download goes "
                 "on without it\n",
                 EscapeControls(log_->Path()).c_str(), reason.c_str());
    std::fflush(stderr);
    RestoreBar();
}

MessageAnswer CTerminalWindow::ShowMessageBox(const std::string& text, const std::string& caption,
                                              MessageIcon icon, MessageButtons buttons) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::string box;
    const std::string title = caption.empty() ? std::string("Tamrix") : caption;
    const char* iconName = IconName(icon);
    box += Format("\n=== %s%s%s%s ===\n", title.c_str(), *iconName ? " (" : "", iconName,
                  *iconName ? ")" : "");
    box += TerminalText(text) + "\n";
    MessageAnswer answer = MessageAnswer::Ok;
    if (buttons == MessageButtons::YesNo)
        answer = AnswerQuestion(box);
    else
        box += "[OK]\n";
    box += "===\n";
    PrintBox(box);
    RestoreBar();
    std::fflush(out_);
    return answer;
}

void CTerminalWindow::PrintBox(std::string& box) {
    std::fputs(Prefixed(box).c_str(), out_);
    box.clear();
}

MessageAnswer CTerminalWindow::AnswerQuestion(std::string& box) {
    switch (policy_) {
        case QuestionPolicy::AlwaysYes:
            box += "[Yes/No] Yes (--yes)\n";
            return MessageAnswer::Yes;
        case QuestionPolicy::AlwaysNo:
            box += "[Yes/No] No (--no)\n";
            return MessageAnswer::No;
        case QuestionPolicy::Ask:
            break;
    }
    if (isatty(STDIN_FILENO) == 0) {
        box += "[Yes/No] No (no terminal to ask; use --yes to accept)\n";
        return MessageAnswer::No;
    }
    return AskAtTerminal(box);
}

MessageAnswer CTerminalWindow::AskAtTerminal(std::string& box) {
    while (true) {
        box += "[Yes/No] ";
        PrintBox(box);
        std::fflush(out_);
        std::string reply;
        if (!std::getline(std::cin, reply))
            return MessageAnswer::No;
        if (reply == "y" || reply == "Y" || reply == "yes" || reply == "Yes")
            return MessageAnswer::Yes;
        if (reply == "n" || reply == "N" || reply == "no" || reply == "No")
            return MessageAnswer::No;
    }
}

std::string CTerminalWindow::Prefixed(const std::string& text) const {
    if (prefix_.empty())
        return text;
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart)
            out += prefix_ + ": ";
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

void CTerminalWindow::FinishProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (barShown_) {
        std::fputs("\n", out_);
        barShown_ = false;
    }
    std::fflush(out_);
}

}  // namespace tamrix::cli
