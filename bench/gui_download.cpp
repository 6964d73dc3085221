// The dialog program against tamrix-cli on the same download: the real main window (CTamrixDlg,
// its Program button, its serial ports through a port map that gives COM7 the simulated product)
// and `tamrix-cli program` write the same firmware file into a paced tamrix-sim (its own process, a
// fresh one per run). Runs alternate GUI, CLI, CLI, GUI, ... so that a machine getting busier or
// quieter weighs on both alike.
//
// Besides the times it shows how freely the GUI thread runs while rows are written: a 1 ms timer
// on that thread notes every firing, and the longest gap between two firings is the longest the
// window could not repaint or take a click. Every event the GUI thread handles is timed too, so a
// gap can be traced to the hand-over, repaint or timer that made it.
//
//   gui_download [--rows N] [--baud RATE] [--repetitions R] [--chip NAME] [--each]

#include <CLI/CLI.hpp>
#include <QAbstractItemModel>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "app/DialogChoices.h"
#include "app/Profile.h"
#include "app/TamrixDlg.h"
#include "bench/BenchImages.h"
#include "bench/EventLoopGaps.h"
#include "bench/EventTimingApp.h"
#include "bench/HostRun.h"
#include "bench/SimProcess.h"
#include "bench/Statistics.h"
#include "bench/WireBudget.h"
#include "comm/PortMap.h"
#include "common/Format.h"
#include "common/LinkChoices.h"
#include "image/DeviceTable.h"
#include "image/FirmwareFile.h"
#include "image/MemoryPIC.h"
#include "programmer/Programmer.h"
#include "tests/support/FirmwareBuilder.h"

using namespace tamrix;
using namespace tamrix::bench;

namespace {

using Clock = std::chrono::steady_clock;

// The product's identity and the file's: the file is newer, so no question is asked on the way.
constexpr uint16_t kProductCode = 12345;
constexpr uint16_t kProductVersion = 1000;
constexpr uint16_t kFileVersion = 1100;
constexpr int kPortNumber = 7;
constexpr int kRowInstructions = 512;
constexpr const char* kRowsBegin = "Start Firmware upgrade";
constexpr const char* kRowsEnd = "Successfully Done";
constexpr const char* kSection = "Firmware_Downloader/";

struct Options {
    std::string chip = "dsPIC33FJ256GP710";
    int rows = 64;
    int baud = 115200;
    int repetitions = 5;
    uint32_t seed = 20240611;
    bool each = false;  // a line per run
};

// One download's figures, in milliseconds from the start: the press of Program for the GUI, the
// start of the process for the CLI.
struct Times {
    double rowsBeginMs = 0;  // the status line "Start Firmware upgrade" reached the display
    double rowsEndMs = 0;    // "Successfully Done" did
    double wholeMs = 0;      // GUI: the window idle again (Program enabled); CLI: process ended
    double cpuMs = 0;        // the process's CPU time over the download
    double RowsMs() const { return rowsEndMs - rowsBeginMs; }
};

struct GuiRun {
    Times times;
    double flashProgressMs = 0;   // the first "Flash Programing..." progress was shown
    std::vector<double> rowGaps;  // event-loop gaps while rows were written
    double longestGapEndMs = 0;
    double wholeLongestGapMs = 0;  // over the whole download, Program pressed to idle
    std::vector<HandledEvent> events;
    std::vector<double> lineAtMs;  // each status line's arrival in the list
};

// A safety limit for one download (a hang, not a measure of speed): the rows' wire time three times
// over and a minute for the rest.
int LimitMs(const Options& options) {
    return 60000 + static_cast<int>(
                       3 * PicRowsBudget(options.baud, options.rows, kRowInstructions).TotalMs());
}

struct BenchFile {
    test::TempFolder folder;
    std::string path;
    ByteImage image;
    size_t bytes = 0;
};

// Full rows of seeded random instructions from address 0, with the product's identity where the
// download looks for it, as a scrambled firmware file.
bool MakeFirmwareFile(const Options& options, BenchFile& file) {
    test::FirmwareBuilder builder;
    for (const auto& [address, byte] : PicImage(options.rows, kRowInstructions, options.seed))
        builder.Byte(address, byte);
    builder.Identity(kProductCode, kFileVersion);
    file.image = builder.Image();
    file.path = file.folder.File("bench-firmware.bin");
    if (!builder.WriteBin(file.path, kConversionSeed))
        return false;
    file.bytes = test::ReadWholeFile(file.path).size();
    return file.bytes > 0;
}

double CpuNowMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MsSince(Clock::time_point origin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
}

// A fresh paced product on its pseudo-terminal, reached as COM7 through a port map of its own.
class Product {
  public:
    bool Start(const Options& options) {
        std::string error;
        if (!sim_.Start(
                {"--chip", options.chip, "--pace", "--boot-baud", std::to_string(options.baud),
                 "--product-code", std::to_string(kProductCode), "--app-version",
                 std::to_string(kProductVersion), "--dump", DumpPath()},
                folder_.File("port"), "", &error)) {
            std::fprintf(stderr, "gui_download: %s\n", error.c_str());
            return false;
        }
        const std::string map = folder_.File("ports");
        if (!test::WriteWholeFile(map,
                                  Format("COM%d = %s\n", kPortNumber, sim_.Device().c_str()))) {
            std::fprintf(stderr, "gui_download: cannot write the port map %s\n", map.c_str());
            return false;
        }
        setenv(kPortMapEnvironment, map.c_str(), 1);
        return true;
    }
    // Ends the product and checks that its flash holds the image.
    bool StopAndCheck(const ByteImage& image, const char* who) {
        const bool ended = sim_.Stop();
        std::string error;
        if (!ended || !DumpMatches(DumpPath(), image, kPicResetVectorHexBytes, &error)) {
            std::fprintf(stderr, "gui_download: %s run: %s\n", who,
                         ended ? error.c_str() : "the simulator did not end cleanly");
            return false;
        }
        return true;
    }
    std::string LogPath() const { return folder_.File("ProcssLog.log"); }

  private:
    std::string DumpPath() const { return folder_.File("flash.hex"); }

    test::TempFolder folder_;
    CSimProcess sim_;
};

// Turns the event loop for `ms`, so the window is shown and painted before anything is timed.
void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunGui(const Options& options, const BenchFile& file, CEventTimingApp& app, GuiRun& run) {
    Product product;
    if (!product.Start(options))
        return false;
    CMemoryProfile profile;
    profile.values[QString(kSection) + "Interface_Type"] = "0";
    profile.values[QString(kSection) + "Download_Port_Number"] = QString::number(kPortNumber - 1);
    profile.values[QString(kSection) + "Download_Baud_Rate"] =
        QString::number(BaudIndexFromRate(options.baud));
    profile.values[QString(kSection) + "Firmware_File_Path"] = QString::fromStdString(file.path);
    TamrixDlgServices services;
    services.profile = &profile;
    services.logPath = product.LogPath();
    // Only a download that hangs is closed while it runs.
    services.confirmCloseDuringDownload = [](QWidget*) { return true; };

    CTamrixDlg window(std::move(services));
    window.show();
    Settle(100);
    auto* list = window.findChild<QTableWidget*>(QStringLiteral("statusList"));
    auto* label = window.findChild<QLabel*>(QStringLiteral("progressLabel"));
    auto* program = window.findChild<QPushButton*>(QStringLiteral("programButton"));
    if (list == nullptr || label == nullptr || program == nullptr) {
        std::fprintf(stderr, "gui_download: the window lacks its status list, label or button\n");
        return false;
    }

    const Clock::time_point origin = Clock::now();
    double clickMs = -1;
    double idleMs = -1;
    double flashMs = -1;
    double cpuAtClick = 0;
    QEventLoop loop;
    CEventLoopGaps gaps;
    const int rowsBefore = list->rowCount();
    const QMetaObject::Connection lines =
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 run.lineAtMs.push_back(MsSince(origin));
                         });
    app.afterEvent = [&](QObject* receiver, int type, double endMs) {
        if (clickMs < 0)
            return;
        if (flashMs < 0 && receiver == &window && type == QEvent::MetaCall &&
            label->text().startsWith(QLatin1String(kProgressProgramming))) {
            flashMs = endMs;
        }
        if (idleMs < 0 && !window.IsDownloading() && program->isEnabled()) {
            idleMs = endMs;
            loop.quit();
        }
    };
    gaps.Start(origin);
    app.StartRecording(origin);
    // Pressed from inside the running loop, so the press itself (the start checks, the port's
    // trial opening) counts as GUI-thread time like everything after it.
    QTimer::singleShot(20, &window, [&]() {
        cpuAtClick = CpuNowMs();
        clickMs = MsSince(origin);
        program->click();
    });
    const int limitMs = LimitMs(options);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuMs = CpuNowMs() - cpuAtClick;
    app.afterEvent = nullptr;
    app.StopRecording();
    gaps.Stop();
    QObject::disconnect(lines);

    if (idleMs < 0) {
        std::fprintf(stderr, "gui_download: the GUI download did not end within %d s\n",
                     limitMs / 1000);
        window.close();
        window.WaitForDownloadEnd();
        return false;
    }
    // Every figure from the press of Program.
    for (double& at : run.lineAtMs)
        at -= clickMs;
    double rowsBegin = -1, rowsEnd = -1;
    for (size_t line = 0; line < run.lineAtMs.size(); ++line) {
        const QString text = list->item(rowsBefore + static_cast<int>(line), 2)->text();
        if (rowsBegin < 0 && text.contains(QLatin1String(kRowsBegin)))
            rowsBegin = run.lineAtMs[line];
        if (rowsEnd < 0 && text.contains(QLatin1String(kRowsEnd)))
            rowsEnd = run.lineAtMs[line];
    }
    if (rowsBegin < 0 || rowsEnd < 0) {
        std::fprintf(stderr, "gui_download: the GUI download did not succeed; its status list:\n");
        for (int row = 0; row < list->rowCount(); ++row)
            std::fprintf(stderr, "  %s\n", qPrintable(list->item(row, 2)->text().trimmed()));
        return false;
    }
    run.times = {rowsBegin, rowsEnd, idleMs - clickMs, cpuMs};
    run.flashProgressMs = (flashMs >= 0 ? flashMs - clickMs : rowsBegin);
    run.rowGaps = gaps.GapsBetween(run.flashProgressMs + clickMs, rowsEnd + clickMs);
    run.longestGapEndMs =
        gaps.LongestGapEndBetween(run.flashProgressMs + clickMs, rowsEnd + clickMs) - clickMs;
    const std::vector<double> whole = gaps.GapsBetween(clickMs, idleMs);
    run.wholeLongestGapMs = whole.empty() ? 0 : *std::max_element(whole.begin(), whole.end());
    run.events = app.Events();
    for (HandledEvent& event : run.events)
        event.startMs -= clickMs;
    return product.StopAndCheck(file.image, "GUI");
}

bool RunCli(const Options& options, const BenchFile& file, Times& times) {
    Product product;
    if (!product.Start(options))
        return false;
    const int limitSeconds = LimitMs(options) / 1000;
    const HostRun run =
        RunHost({"program", file.path, "--port", Format("COM%d", kPortNumber), "--baud",
                 std::to_string(options.baud), "--log", product.LogPath(), "--yes"},
                limitSeconds);
    const TimedLine* begin = run.Find(kRowsBegin);
    const TimedLine* end = run.Find(kRowsEnd);
    if (run.exitCode != 0 || begin == nullptr || end == nullptr) {
        std::fprintf(stderr, "gui_download: tamrix-cli program failed (exit %d)%s\n%s",
                     run.exitCode, run.timedOut ? ", timed out" : "", run.Output().c_str());
        return false;
    }
    times = {begin->atMs, end->atMs, run.wallMs, run.CpuMs()};
    return product.StopAndCheck(file.image, "CLI");
}

// What the GUI thread did while rows were written, summed over the runs, one entry per kind:
// the events the loop delivered (`nested` false) or the ones sent while those were handled.
struct EventKind {
    int count = 0;
    double totalMs = 0;
    double longestMs = 0;
};

// A hand-over from the worker that added a status line to the list (else it showed progress or
// wrote the log only).
bool AddedStatusLine(const GuiRun& run, const HandledEvent& event) {
    const double end = event.startMs + event.durationMs;
    return std::any_of(run.lineAtMs.begin(), run.lineAtMs.end(),
                       [&](double at) { return at >= event.startMs && at <= end; });
}

// The worker's hand-overs the GUI thread handled between `fromMs` and `toMs` of a run.
struct HandOvers {
    int lines = 0;
    double linesMs = 0;
    int others = 0;
    double othersMs = 0;
};

HandOvers HandOversBetween(const GuiRun& run, double fromMs, double toMs) {
    HandOvers handOvers;
    for (const HandledEvent& event : run.events) {
        if (event.depth != 0 || event.type != QEvent::MetaCall || event.startMs < fromMs ||
            event.startMs > toMs) {
            continue;
        }
        if (AddedStatusLine(run, event)) {
            ++handOvers.lines;
            handOvers.linesMs += event.durationMs;
        } else {
            ++handOvers.others;
            handOvers.othersMs += event.durationMs;
        }
    }
    return handOvers;
}

std::map<std::string, EventKind> EventKinds(const std::vector<GuiRun>& runs, bool nested) {
    std::map<std::string, EventKind> kinds;
    for (const GuiRun& run : runs) {
        for (const HandledEvent& event : run.events) {
            if ((event.depth > 0) != nested || event.startMs < run.flashProgressMs ||
                event.startMs > run.times.rowsEndMs) {
                continue;
            }
            std::string name = (nested ? std::string(2 * event.depth, ' ') : std::string()) +
                               CEventTimingApp::TypeName(event.type).toStdString() + " to " +
                               (event.receiverClass ? event.receiverClass : "?");
            if (event.type == QEvent::MetaCall && !nested)
                name += AddedStatusLine(run, event) ? " (status line)" : " (progress or log entry)";
            EventKind& kind = kinds[name];
            ++kind.count;
            kind.totalMs += event.durationMs;
            kind.longestMs = std::max(kind.longestMs, event.durationMs);
        }
    }
    return kinds;
}

// The kinds with the most time first, at most `limit`; the sum of all of them.
double PrintKinds(const std::map<std::string, EventKind>& kinds, size_t runs, size_t limit) {
    std::vector<std::pair<std::string, EventKind>> sorted(kinds.begin(), kinds.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.second.totalMs > b.second.totalMs; });
    double totalMs = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        const EventKind& kind = sorted[i].second;
        totalMs += kind.totalMs;
        if (i < limit) {
            std::printf("    %-62s %8.1f %10.1f %10.1f %10.2f\n", sorted[i].first.c_str(),
                        static_cast<double>(kind.count) / static_cast<double>(runs), kind.totalMs,
                        1000.0 * kind.totalMs / kind.count, kind.longestMs);
        }
    }
    return totalMs;
}

// The events that ran during the longest gap of a run, longest first.
std::string DuringLongestGap(const GuiRun& run, double gapMs) {
    const double from = run.longestGapEndMs - gapMs;
    std::vector<const HandledEvent*> inside;
    for (const HandledEvent& event : run.events) {
        if (event.depth == 0 && event.startMs + event.durationMs > from &&
            event.startMs < run.longestGapEndMs)
            inside.push_back(&event);
    }
    std::sort(inside.begin(), inside.end(), [](const HandledEvent* a, const HandledEvent* b) {
        return a->durationMs > b->durationMs;
    });
    std::string text;
    for (size_t i = 0; i < inside.size() && i < 3; ++i) {
        text += Format("%s%s to %s %.2f ms", i ? ", " : "",
                       qPrintable(CEventTimingApp::TypeName(inside[i]->type)),
                       inside[i]->receiverClass ? inside[i]->receiverClass : "?",
                       inside[i]->durationMs);
    }
    return text.empty() ? "no event (the thread was not scheduled)" : text;
}

void PrintFigures(const Options& options, const BenchFile& file, const std::vector<GuiRun>& gui,
                  const std::vector<Times>& cli, const std::vector<QString>& boxes) {
    const size_t n = gui.size();
    std::printf(
        "GUI download against tamrix-cli program: %s, %d full rows of %d instructions (a %zu-byte "
        "firmware file), paced tamrix-sim at %d baud, fresh simulator per run; %zu runs each, "
        "interleaved GUI/CLI, CLI/GUI, ...; median (min..max)\n",
        options.chip.c_str(), options.rows, kRowInstructions, file.bytes, options.baud, n);
    std::printf("  %-44s %24s %24s %24s\n", "", "GUI ms", "CLI ms", "GUI / CLI (run pairs)");
    // One line; `pairs` false leaves out the ratio where it says nothing (a few ms against 200).
    auto row = [&](const char* name, double (*field)(const Times&), bool pairs = true) {
        std::vector<double> g, c, ratio;
        for (size_t i = 0; i < n; ++i) {
            g.push_back(field(gui[i].times));
            c.push_back(field(cli[i]));
            ratio.push_back(field(gui[i].times) / field(cli[i]));
        }
        std::printf("  %-44s %24s %24s %24s\n", name, DescribeSpread(SpreadOf(g), "%.0f").c_str(),
                    DescribeSpread(SpreadOf(c), "%.0f").c_str(),
                    pairs ? DescribeSpread(SpreadOf(ratio), "%.4f").c_str() : "-");
        return SpreadOf(g).median / SpreadOf(c).median;
    };
    row("start to \"Start Firmware upgrade\"", [](const Times& t) { return t.rowsBeginMs; });
    row("rows (to \"Successfully Done\")", [](const Times& t) { return t.RowsMs(); });
    row("start to \"Successfully Done\"", [](const Times& t) { return t.rowsEndMs; });
    const double wholeRatio = row("whole download", [](const Times& t) { return t.wholeMs; });
    row(
        "  of it after \"Successfully Done\"",
        [](const Times& t) { return t.wholeMs - t.rowsEndMs; }, false);
    std::printf(
        "  whole download GUI / CLI, ratio of the medians: %.4f (target <= 1.02). GUI: from the "
        "press of Program to the window idle again; CLI: from the start of the process to its "
        "end\n",
        wholeRatio);

    std::vector<double> guiCpu, cliCpu, longest, p99, wholeLongest;
    for (size_t i = 0; i < n; ++i) {
        guiCpu.push_back(100.0 * gui[i].times.cpuMs / gui[i].times.wholeMs);
        cliCpu.push_back(100.0 * cli[i].cpuMs / cli[i].wholeMs);
        const std::vector<double>& gaps = gui[i].rowGaps;
        longest.push_back(gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end()));
        p99.push_back(Percentile(gaps, 99));
        wholeLongest.push_back(gui[i].wholeLongestGapMs);
    }
    std::printf(
        "  process CPU / wall over the download: GUI %s %% (with the benchmark's 1 ms timer), CLI "
        "%s %%\n",
        DescribeSpread(SpreadOf(guiCpu), "%.2f").c_str(),
        DescribeSpread(SpreadOf(cliCpu), "%.2f").c_str());
    std::printf(
        "  GUI thread while rows were written (first \"Flash Programing...\" progress to "
        "\"Successfully Done\"), gaps between the firings of a 1 ms timer:\n");
    std::printf("    longest gap %s ms (target <= 50 ms); 99th percentile %s ms\n",
                DescribeSpread(SpreadOf(longest), "%.2f").c_str(),
                DescribeSpread(SpreadOf(p99), "%.2f").c_str());
    std::printf("    over the whole download (Program pressed to idle): longest gap %s ms\n",
                DescribeSpread(SpreadOf(wholeLongest), "%.2f").c_str());
    const size_t worst =
        static_cast<size_t>(std::max_element(longest.begin(), longest.end()) - longest.begin());
    std::printf("    the longest of all, %.2f ms at %.0f ms into run %zu, spanned: %s\n",
                longest[worst], gui[worst].longestGapEndMs, worst + 1,
                DuringLongestGap(gui[worst], longest[worst]).c_str());

    std::printf(
        "  what the GUI thread handled while rows were written, all runs (as the event loop "
        "delivered them, then the events sent inside those):\n");
    std::printf("    %-62s %8s %10s %10s %10s\n", "event to receiver", "per run", "total ms",
                "mean us", "longest ms");
    double rowsMs = 0;
    for (const GuiRun& run : gui)
        rowsMs += run.times.rowsEndMs - run.flashProgressMs;
    const double busyMs = PrintKinds(EventKinds(gui, false), n, 6);
    std::printf("    busy %.1f ms of %.0f ms (%.2f %%); inside them:\n", busyMs, rowsMs,
                100.0 * busyMs / rowsMs);
    PrintKinds(EventKinds(gui, true), n, 6);
    std::printf(
        "  the worker's hand-overs (it waits while the GUI thread handles each), per run: "
        "status lines count / ms handling them, progress and log entries count / ms\n");
    auto phase = [&](const char* name, double (*from)(const GuiRun&), double (*to)(const GuiRun&)) {
        std::vector<double> lines, linesMs, others, othersMs;
        for (const GuiRun& run : gui) {
            const HandOvers h = HandOversBetween(run, from(run), to(run));
            lines.push_back(h.lines);
            linesMs.push_back(h.linesMs);
            others.push_back(h.others);
            othersMs.push_back(h.othersMs);
        }
        std::printf("    %-44s %4.0f / %-22s %4.0f / %s\n", name, SpreadOf(lines).median,
                    DescribeSpread(SpreadOf(linesMs), "%.1f").c_str(), SpreadOf(others).median,
                    DescribeSpread(SpreadOf(othersMs), "%.1f").c_str());
    };
    phase(
        "press to \"Start Firmware upgrade\"", [](const GuiRun&) { return 0.0; },
        [](const GuiRun& r) { return r.times.rowsBeginMs; });
    phase(
        "rows, up to \"Successfully Done\"", [](const GuiRun& r) { return r.times.rowsBeginMs; },
        [](const GuiRun& r) { return r.times.rowsEndMs; });

    if (options.each) {
        std::printf(
            "  each run: GUI / CLI whole ms, GUI / CLI rows ms, the GUI thread's longest gap ms\n");
        for (size_t i = 0; i < n; ++i) {
            std::printf("    %zu: %.0f / %.0f, %.0f / %.0f, %.2f\n", i + 1, gui[i].times.wholeMs,
                        cli[i].wholeMs, gui[i].times.RowsMs(), cli[i].RowsMs(), longest[i]);
        }
    }
    std::printf("  message boxes answered Yes: %zu", boxes.size());
    for (const QString& box : boxes)
        std::printf(" [%s]", qPrintable(box.simplified()));
    std::printf("\n");
    std::printf(
        "  every run: \"Successfully Done\", and the simulated flash equals the image (the reset "
        "vector aside, which the target keeps)\n");
}

// The offscreen platform warns that it cannot pass size hints to a window manager it does not
// have, and Qt that a shell without a session has no runtime folder; everything else is shown.
void ShowMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints")) ||
        message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App commandLine(
        "The dialog program's download against tamrix-cli's, against a paced simulator");
    // The product's identity lies in row 3; the file's 16-byte records of 180 rows come close to
    // the 1 MiB a firmware text may take.
    commandLine.add_option("--rows", options.rows, "program rows in the firmware")
        ->check(CLI::Range(4, 180))
        ->capture_default_str();
    commandLine.add_option("--baud", options.baud, "bootloader baud rate")->capture_default_str();
    commandLine
        .add_option("-n,--repetitions", options.repetitions, "runs of each (median and spread)")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    commandLine.add_option("--chip", options.chip, "PIC chip with 512-instruction rows")
        ->capture_default_str();
    commandLine.add_flag("--each", options.each, "also print each run's figures");
    CLI11_PARSE(commandLine, argc, argv);

    const DeviceTableEntry* device = FindDeviceByName(options.chip);
    if (device == nullptr || ProgrammerKindFor(*device) != ProgrammerKind::Pic ||
        PicProgramRowWords(FamilyOf(device->family)) != kRowInstructions) {
        std::fprintf(stderr, "gui_download: %s is no PIC chip with %d-instruction rows\n",
                     options.chip.c_str(), kRowInstructions);
        return 2;
    }
    if (BaudIndexFromRate(options.baud) < 0) {
        std::fprintf(stderr, "gui_download: the window offers no rate %d\n", options.baud);
        return 2;
    }

    qInstallMessageHandler(ShowMessage);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    CEventTimingApp app(qtArgc, argv);

    BenchFile file;
    if (!MakeFirmwareFile(options, file)) {
        std::fprintf(stderr, "gui_download: cannot write the firmware file\n");
        return 1;
    }
    std::vector<GuiRun> gui;
    std::vector<Times> cli;
    for (int i = 0; i < options.repetitions; ++i) {
        GuiRun guiRun;
        Times cliTimes;
        const bool guiFirst = i % 2 == 0;
        if (guiFirst && !RunGui(options, file, app, guiRun))
            return 1;
        if (!RunCli(options, file, cliTimes))
            return 1;
        if (!guiFirst && !RunGui(options, file, app, guiRun))
            return 1;
        gui.push_back(std::move(guiRun));
        cli.push_back(cliTimes);
    }
    PrintFigures(options, file, gui, cli, app.AnsweredBoxes());
    return 0;
}
