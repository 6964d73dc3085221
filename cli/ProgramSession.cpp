#include "cli/ProgramSession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "cli/PortSearch.h"
#include "cli/RunDownload.h"
#include "common/Format.h"
#include "download/ChannelOpener.h"
#include "download/FirmwareFileLoad.h"
#include "download/RunReport.h"
#include "image/FirmwareFile.h"
#include "platform/Clock.h"

namespace tamrix::cli {

namespace {

// How long the run report may hold up a program that ends at once on a second stop signal, and
// how long its lines wait there for another writer's lock on the file.
constexpr int kInterruptedReportMs = 2000;
constexpr int kInterruptedReportLockWaitMs = 1000;

// One row of the table at the end.
struct SessionRow {
    size_t portIndex = 0;  // in the order the ports were given
    std::string port;
    DownloadEnd end;
};

// What the ports of a session share.
class CSessionShared {
  public:
    CSessionShared(const ProgramRequest& request, CStopSignals& signals, int ports)
        : request_(request), signals_(signals), running_(ports) {}

    const ProgramRequest& Request() const { return request_; }

    // The file as read once for the whole session (null: each download reads it).
    void TakeFirmware(std::shared_ptr<const std::vector<uint8_t>> text) {
        firmwareText_ = std::move(text);
    }
    const std::shared_ptr<const std::vector<uint8_t>>& FirmwareText() const {
        return firmwareText_;
    }
    bool StopRequested() const { return stop_.load(); }
    // Turns true with StopRequested, for the waits that take a flag.
    const std::atomic<bool>* StopFlag() const { return &stop_; }

    // The first stop signal: every port stops at its next safe point, and a port waiting for a
    // product stops waiting.
    void RequestStop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            for (CDownloadWorker* worker : workers_)
                worker->RequestStop();
        }
        stopped_.notify_all();
    }
    // Sleeps up to `ms`; false when a stop was asked for meanwhile.
    bool Pause(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return !stopped_.wait_for(lock, std::chrono::milliseconds(ms),
                                  [this] { return stop_.load(); });
    }

    // A worker that runs, for RequestStop to reach (and its end).
    void Running(CDownloadWorker* worker) {
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.push_back(worker);
        if (stop_)
            worker->RequestStop();  // asked for just before the worker started
    }
    void Ended(CDownloadWorker* worker) {
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.erase(std::remove(workers_.begin(), workers_.end(), worker), workers_.end());
    }

    void Record(SessionRow row) {
        std::lock_guard<std::mutex> lock(mutex_);
        rows_.push_back(std::move(row));
    }
    // By port, in the order the ports were given, then by time.
    std::vector<SessionRow> Rows() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<SessionRow> rows = rows_;
        std::stable_sort(rows.begin(), rows.end(), [](const SessionRow& a, const SessionRow& b) {
            return a.portIndex < b.portIndex;
        });
        return rows;
    }

    // One port has finished serving; the last one ends the wait for the session.
    void PortDone() {
        if (--running_ == 0)
            signals_.NotifyEnd();
    }

    // A download has started on port `index`: it owes the run report a line even if the program
    // ends in the middle of it (ReportInterrupted). `context` says what the download's parameters
    // say; `window` is the port's.
    void Underway(size_t index, RunContext context, const CTerminalWindow* window) {
        std::lock_guard<std::mutex> lock(reportMutex_);
        underway_[index] =
            UnderwayDownload{std::move(context), window, std::chrono::system_clock::now(), false};
    }
    // The download on port `index` ended without a line (no product answered).
    void NoLongerUnderway(size_t index) {
        std::lock_guard<std::mutex> lock(reportMutex_);
        underway_.erase(index);
    }

    // Appends the line of the download that ended on port `index` to the run report: ports end
    // their downloads at any moment, and each line goes out whole; a download the report has
    // already recorded as interrupted gets no second line.
    void Report(size_t index, const std::string& line) {
        std::lock_guard<std::mutex> lock(reportMutex_);
        const auto underway = underway_.find(index);
        const bool recorded = underway != underway_.end() && underway->second.recorded;
        if (underway != underway_.end())
            underway_.erase(underway);
        if (!recorded)
            Append(line, kRunReportLockWaitMs);
    }

    // The program ends at once in the middle of its downloads: each one under way gets its line,
    // outcome "interrupted" with kExitInterrupted, written on a thread of its own so that a file
    // that blocks (a lock held elsewhere, a slow disk) cannot hold the end up for longer than
    // kInterruptedReportMs.
    void ReportInterrupted() {
        if (request_.reportPath.empty())
            return;
        auto written = std::make_shared<std::promise<void>>();
        std::future<void> done = written->get_future();
        try {
            // Detached: the process ends right after, whether or not it has finished.
            std::thread([this, written] {
                std::lock_guard<std::mutex> lock(reportMutex_);
                for (auto& [index, download] : underway_) {
                    DownloadRecord record;
                    record.started = download.started;
                    record.ended = std::chrono::system_clock::now();
                    record.verifyAsked = request_.verify;
                    record.lastStatusLine = download.window->LastStatusLine();
                    // The bytes read at the start, when they were; else the file as it is now.
                    if (firmwareText_ != nullptr)
                        record.fileSha256 = FirmwareFileSha256(*firmwareText_, request_.seed);
                    RunContext context = download.context;
                    context.outcome = DownloadOutcome::Stopped;
                    context.interrupted = true;
                    context.exitStatus = kExitInterrupted;
                    Append(RunReportLine(record, context), kInterruptedReportLockWaitMs);
                    download.recorded = true;
                }
                written->set_value();
            }).detach();
        } catch (const std::system_error&) {
            return;
        }
        done.wait_for(std::chrono::milliseconds(kInterruptedReportMs));
    }

  private:
    struct UnderwayDownload {
        RunContext context;
        const CTerminalWindow* window = nullptr;
        std::chrono::system_clock::time_point started;
        bool recorded = false;  // its line is in the report already
    };

    // The report's lock is held.
    void Append(const std::string& line, int lockWaitMs) {
        std::string reason;
        if (!AppendRunReport(request_.reportPath, line, &reason, lockWaitMs)) {
            std::fprintf(stderr, "tamrix-cli: warning: cannot add to the run report %s (%s)\n",
                         EscapeControls(request_.reportPath).c_str(), reason.c_str());
        }
    }

    const ProgramRequest& request_;
    CStopSignals& signals_;
    std::atomic<int> running_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::vector<CDownloadWorker*> workers_;
    std::vector<SessionRow> rows_;
    std::mutex reportMutex_;
    std::map<size_t, UnderwayDownload> underway_;  // by port index; the report's lock guards it
    std::shared_ptr<const std::vector<uint8_t>> firmwareText_;
};

// One port: its window and its downloads.
class CPortServer {
  public:
    CPortServer(CSessionShared& shared, size_t index, std::string port,
                std::unique_ptr<CTerminalWindow> window)
        : shared_(shared),
          index_(index),
          request_(shared.Request()),
          portText_(std::move(port)),
          port_(PortName::Parse(portText_)),
          portMap_(request_.link.portMap),
          window_(std::move(window)) {}

    // What the search of --port auto ended the session with when it found no product to serve
    // (0: none, or no search).
    int SearchExit() const { return searchExit_; }

    void Serve() {
        if (!request_.repeat) {
            if (ChoosePort(false))
                Keep(RunOne());
            return;
        }
        int successes = 0;
        int failures = 0;
        if (request_.link.IsAuto()) {
            window_->Say(
                "Looking for a product on every port present, round after round: the wake-up "
                "message goes to each, and a round where nothing answers takes ten seconds.");
        }
        while (!shared_.StopRequested()) {
            if (!ChoosePort(true)) {
                if (searchExit_ == kExitUsage || !request_.link.IsAuto())
                    break;
                continue;
            }
            const DownloadEnd end = RunOne();
            if (end.record.chip.empty()) {
                // No product identified itself: it is not powered yet, the port belongs to the
                // bench and no product is on it, or the wait was stopped. Not a product served:
                // neither in the table nor in the report.
                shared_.NoLongerUnderway(index_);
                if (shared_.StopRequested())
                    break;
                if (!request_.link.IsAuto())
                    window_->Say("No product answered; trying again.");
                continue;
            }
            Keep(end);
            if (end.outcome == DownloadOutcome::Stopped)
                break;
            (end.outcome == DownloadOutcome::Success ? successes : failures)++;
            window_->Say(
                Format("Served %d: %d succeeded, %d failed. Disconnect this product and "
                       "connect the next one.",
                       successes + failures, successes, failures));
            if (!WaitForPort(false, nullptr))
                break;
        }
    }

  private:
    // What the Program button would hand over for this port.
    DownloadParams Params() const {
        DownloadParams params;
        params.port = port_;
        params.baudRate = request_.link.baud;
        params.wiring = request_.link.WiringChosen();
        params.filePath = request_.file;
        params.window = window_.get();
        return params;
    }

    // The port of the next download: with --port auto the one where the search finds a product,
    // else the one given, once it is there (`waitForIt`, the rounds of --repeat). False when
    // there is none to serve now.
    bool ChoosePort(bool waitForIt) {
        if (!request_.link.IsAuto())
            return !waitForIt || WaitForPort(true, "Waiting for a product to be connected");
        PortSearch search = SearchForProduct(request_.link, *window_, CSystemClock::Instance(),
                                             shared_.StopFlag(), waitForIt);
        if (!search.found) {
            searchExit_ = search.exitCode;
            // No port to wake: a product with its own USB port is not connected yet, or the
            // ports are busy.
            if (waitForIt && search.portsWoken == 0 && searchExit_ == kExitHandshake) {
                if (!waitingSaid_)
                    window_->Say("Waiting for a product to be connected.");
                waitingSaid_ = true;
                shared_.Pause(kPresencePollMs);
            }
            return false;
        }
        waitingSaid_ = false;
        searchExit_ = 0;
        port_ = search.found->port;
        portText_ = port_.Text();
        portMap_ = std::move(search.found->map);
        lease_ = std::move(search.found->lease);
        return true;
    }

    DownloadEnd RunOne() {
        auto params = std::make_unique<DownloadParams>(Params());

        DownloadSettings settings;
        settings.conversionSeed = request_.seed;
        settings.portMap = portMap_;
        // The port found by --port auto is still held: the download takes the hold over.
        settings.openChannel = SerialPortOpener(port_, settings.portMap, window_.get(), lease_);
        lease_.reset();
        settings.verify = request_.verify;
        settings.firmwareText = shared_.FirmwareText();

        CDownloadWorker worker;
        DownloadEnd end;
        if (StartDownload(std::move(params), settings, *window_, worker, {}, end)) {
            shared_.Running(&worker);
            if (!request_.reportPath.empty())
                shared_.Underway(index_, RunContextFor(Params(), "tamrix-cli"), window_.get());
            end = FinishDownload(worker, *window_, request_.link.baud);
            shared_.Ended(&worker);
        }
        return end;
    }

    // A download served: in the report and in the table.
    void Keep(const DownloadEnd& end) {
        if (!request_.reportPath.empty())
            shared_.Report(index_, ReportLine(end));
        shared_.Record(SessionRow{index_, portText_, end});
    }

    std::string ReportLine(const DownloadEnd& end) const {
        RunContext context = RunContextFor(Params(), "tamrix-cli");
        context.outcome = end.outcome;
        context.exitStatus = end.exitCode;
        return RunReportLine(end.record, context);
    }

    // Waits until the port can be opened (`present`) or no longer can: a product with a
    // built-in USB port, or an adapter that stays in the product's cable, comes and goes with
    // the product. False when a stop was asked for first.
    bool WaitForPort(bool present, const char* waiting) {
        bool told = false;
        while (!shared_.StopRequested()) {
            // No window: a port that is not there is what is being waited for, not an error.
            const bool opened = SerialPortOpener(port_, portMap_, nullptr)(
                                    request_.link.baud, request_.link.WiringChosen())
                                    .opened;
            if (opened == present)
                return true;
            if (waiting != nullptr && !told) {
                window_->Say(Format("%s.", waiting));
                told = true;
            }
            if (!shared_.Pause(kPresencePollMs))
                break;
        }
        return false;
    }

    CSessionShared& shared_;
    size_t index_;
    const ProgramRequest& request_;
    std::string portText_;
    PortName port_;
    CPortMap portMap_;
    std::shared_ptr<CPortLease> lease_;  // the port --port auto found, until its download
    int searchExit_ = 0;
    bool waitingSaid_ = false;
    std::unique_ptr<CTerminalWindow> window_;
};

void PrintTable(const std::vector<SessionRow>& rows, bool repeat) {
    std::printf("\n%-3s %-16s %-20s %-34s %6s %8s %8s %5s\n", "#", "Port", "Chip", "Outcome",
                "Rows", "Retries", "Seconds", "Exit");
    int number = 0;
    int successes = 0;
    for (const SessionRow& row : rows) {
        const DownloadRecord& record = row.end.record;
        const double seconds = std::chrono::duration<double>(record.ended - record.started).count();
        std::printf("%-3d %-16s %-20s %-34s %6d %8d %8.1f %5d\n", ++number, row.port.c_str(),
                    record.chip.empty() ? "-" : record.chip.c_str(),
                    DownloadOutcomeName(row.end.outcome), record.link.rowsWritten,
                    record.link.retries, seconds, row.end.exitCode);
        if (row.end.outcome == DownloadOutcome::Success)
            ++successes;
    }
    std::printf("%d download%s: %d succeeded, %d failed%s\n", number, number == 1 ? "" : "s",
                successes, number - successes, repeat ? " (until interrupted)" : "");
}

// The session's process log, one file for every port (none with --no-log); says where it is.
std::shared_ptr<CProcessLog> OpenSessionLog(const OutputOptions& output) {
    std::shared_ptr<CProcessLog> log;
    if (const std::string path = LogPath(output); !path.empty()) {
        log = std::make_shared<CProcessLog>(path);
        std::printf("Process log: %s\n", EscapeControls(path).c_str());
    }
    return log;
}

// How the session's questions are answered. `table`: products are served side by side or one
// after another.
QuestionPolicy SessionQuestionPolicy(const OutputOptions& output, bool table) {
    const QuestionPolicy policy = output.yes  ? QuestionPolicy::AlwaysYes
                                  : output.no ? QuestionPolicy::AlwaysNo
                                              : QuestionPolicy::Ask;
    if (policy != QuestionPolicy::Ask || !table)
        return policy;
    // Nobody can answer a question at one terminal for products served side by side or one
    // after another without a pause.
    std::printf(
        "Questions (an older firmware than the product runs) are answered No in "
        "this mode; give --yes to accept them.\n");
    return QuestionPolicy::AlwaysNo;
}

// Serves every port on a thread of its own until all have ended, taking the stop signals
// meanwhile.
void ServePorts(const std::vector<std::unique_ptr<CPortServer>>& servers, CSessionShared& shared,
                CStopSignals& signals, CTerminalWindow& session) {
    std::vector<std::thread> threads;
    for (const auto& server : servers) {
        CPortServer* serving = server.get();
        try {
            threads.emplace_back([serving, &shared] {
                serving->Serve();
                shared.PortDone();
            });
        } catch (const std::system_error&) {
            std::fprintf(stderr, "tamrix-cli: cannot start a thread for a port\n");
            shared.RequestStop();
            shared.PortDone();
        }
    }
    AwaitEndTakingStops(
        signals, session, [&shared] { shared.RequestStop(); },
        [&shared] { shared.ReportInterrupted(); });
    for (std::thread& thread : threads)
        thread.join();
}

// Several products found by --port auto end the session with a usage error; otherwise the first
// failure in the table's order gives the exit status; a run that served nobody gives the
// interruption's, or why the search found no product.
int SessionExitStatus(const std::vector<SessionRow>& rows, bool stopped, int searchExit) {
    if (searchExit == kExitUsage)
        return searchExit;
    for (const SessionRow& row : rows) {
        if (row.end.exitCode != kExitSuccess)
            return row.end.exitCode;
    }
    if (rows.empty() && stopped)
        return kExitInterrupted;
    if (rows.empty() && searchExit != 0)
        return searchExit;
    return kExitSuccess;
}

}  // namespace

int RunProgramSession(const ProgramRequest& request, CStopSignals& signals) {
    const bool several = request.link.ports.size() > 1;
    const bool table = several || request.repeat;
    const std::shared_ptr<CProcessLog> log = OpenSessionLog(request.output);
    const QuestionPolicy policy = SessionQuestionPolicy(request.output, table);
    // Said once for the session, not by any port.
    CTerminalWindow session(stdout, log, policy);

    CSessionShared shared(request, signals, static_cast<int>(request.link.ports.size()));
    if (table || request.link.IsAuto()) {
        // Read once for every product of the session: they all get the same bytes, and the run
        // report names them, whatever happens to the file meanwhile.
        std::optional<std::vector<uint8_t>> text =
            ReadFirmwareFileText(request.file, request.seed, &session);
        if (!text)
            return kExitFile;
        // The search of --port auto wakes products before any download reads the file: a file
        // that cannot be programmed must be refused first.
        if (request.link.IsAuto() &&
            CheckFirmwareText(*text, &session) != FirmwareTextFault::None) {
            std::fprintf(stderr, "tamrix-cli: %s cannot be programmed; no port was woken\n",
                         EscapeControls(request.file).c_str());
            return kExitFile;
        }
        shared.TakeFirmware(std::make_shared<const std::vector<uint8_t>>(std::move(*text)));
    }
    std::vector<std::unique_ptr<CPortServer>> servers;
    for (const std::string& port : request.link.ports) {
        servers.push_back(std::make_unique<CPortServer>(
            shared, servers.size(), port,
            std::make_unique<CTerminalWindow>(stdout, log, policy,
                                              several ? port : std::string())));
    }
    ServePorts(servers, shared, signals, session);

    const std::vector<SessionRow> rows = shared.Rows();
    if (table)
        PrintTable(rows, request.repeat);
    return SessionExitStatus(rows, shared.StopRequested(), servers.front()->SearchExit());
}

}  // namespace tamrix::cli
