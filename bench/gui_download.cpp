// The dialog program against tamrix-cli on the same download: the real main window (CTamrixDlg,
// its Program button, its serial ports through a port map that gives COM7 the simulated product)
// and `tamrix-cli program` write the same firmware file into a paced tamrix-sim (its own process, a
// fresh one per run). Runs alternate GUI, CLI, CLI, GUI, ... so that a machine getting busier or
// quieter weighs on both alike.
//
// Besides the times it shows how freely the GUI thread runs while rows are written: a 1 ms timer
// on that thread notes every firing, and the longest gap between two firings is the longest the
// window could not repaint or take a click.
//
//   gui_download [--rows N] [--baud RATE] [--repetitions R] [--chip NAME] [--each]

#include <CLI/CLI.hpp>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/DialogChoices.h"
#include "app/Profile.h"
#include "app/qt/TamrixApp.h"
#include "app/qt/TamrixDlg.h"
#include "bench/BenchImages.h"
#include "bench/HostRun.h"
#include "bench/SimProcess.h"
#include "bench/Statistics.h"
#include "bench/WireBudget.h"
#include "comm/PortMap.h"
#include "common/Format.h"
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
    std::vector<double> rowGaps;   // event-loop gaps while rows were written
    double wholeLongestGapMs = 0;  // over the whole download, Program pressed to idle
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

// The gaps between consecutive timer firings that overlap [fromMs, toMs].
std::vector<double> GapsBetween(const std::vector<double>& firings, double fromMs, double toMs) {
    std::vector<double> gaps;
    for (size_t i = 1; i < firings.size(); ++i) {
        if (firings[i] > fromMs && firings[i - 1] < toMs)
            gaps.push_back(firings[i] - firings[i - 1]);
    }
    return gaps;
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

// The main window, noting when each status line and the first programming progress reach it. A
// message box is answered Yes (or Ok) at once, as a technician who accepts everything would.
class CTimedDlg : public CTamrixDlg {
  public:
    CTimedDlg(TamrixDlgServices services, Clock::time_point origin)
        : CTamrixDlg(std::move(services)), origin_(origin) {}

    void AddStatusLine(const std::string& text) override {
        CTamrixDlg::AddStatusLine(text);
        const double at = MsSince(origin_);
        if (rowsBeginMs < 0 && text.find(kRowsBegin) != std::string::npos)
            rowsBeginMs = at;
        if (rowsEndMs < 0 && text.find(kRowsEnd) != std::string::npos)
            rowsEndMs = at;
        lines.push_back(text);
    }
    void SendProgress(int value, const std::string& labelPrefix) override {
        CTamrixDlg::SendProgress(value, labelPrefix);
        if (flashMs < 0 && labelPrefix.rfind(kProgressProgramming, 0) == 0)
            flashMs = MsSince(origin_);
    }
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon,
                                 MessageButtons buttons) override {
        answered.push_back(caption + ": " + text);
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }

    double rowsBeginMs = -1;
    double rowsEndMs = -1;
    double flashMs = -1;  // the first "Flash Programing..." progress
    std::vector<std::string> lines;
    std::vector<std::string> answered;

  private:
    const Clock::time_point origin_;
};

bool RunGui(const Options& options, const BenchFile& file, GuiRun& run,
            std::vector<std::string>& boxes) {
    Product product;
    if (!product.Start(options))
        return false;
    CMemoryProfile profile;
    profile.values[std::string(kSection) + "Interface_Type"] = "0";
    profile.values[std::string(kSection) + "Download_Port_Number"] =
        std::to_string(kPortNumber - 1);
    profile.values[std::string(kSection) + "Download_Baud_Rate"] =
        std::to_string(BaudIndexFromRate(options.baud));
    profile.values[std::string(kSection) + "Firmware_File_Path"] = file.path;
    TamrixDlgServices services;
    services.profile = &profile;
    services.logPath = product.LogPath();
    // Only a download that hangs is closed while it runs.
    services.confirmCloseDuringDownload = [](QWidget*) { return true; };

    const Clock::time_point origin = Clock::now();
    CTimedDlg window(std::move(services), origin);
    window.show();
    auto* program = window.findChild<QPushButton*>(QStringLiteral("programButton"));
    if (program == nullptr) {
        std::fprintf(stderr, "gui_download: the window lacks its Program button\n");
        return false;
    }

    double clickMs = -1;
    double idleMs = -1;
    double cpuAtClick = 0;
    QEventLoop loop;
    const auto idle = [&] {
        idleMs = MsSince(origin);
        loop.quit();
    };
    QObject::connect(&window, &CTamrixDlg::DownloadEnded, &loop, idle);
    std::vector<double> firings;
    firings.reserve(1 << 16);  // a ten-second download at one firing a millisecond
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] { firings.push_back(MsSince(origin)); });
    ticks.start();
    // Pressed from inside the running loop once the window has been shown and painted, so the
    // press itself (the start checks, the port's trial opening) counts as GUI-thread time like
    // everything after it.
    QTimer::singleShot(120, &window, [&]() {
        window.lines.clear();
        cpuAtClick = CpuNowMs();
        clickMs = MsSince(origin);
        program->click();
        if (!window.IsDownloading())
            idle();  // it did not start
    });
    const int limitMs = LimitMs(options);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuMs = CpuNowMs() - cpuAtClick;
    ticks.stop();
    boxes.insert(boxes.end(), window.answered.begin(), window.answered.end());

    if (idleMs < 0) {
        std::fprintf(stderr, "gui_download: the GUI download did not end within %d s\n",
                     limitMs / 1000);
        window.close();
        window.WaitForDownloadEnd();
        return false;
    }
    if (window.rowsBeginMs < clickMs || window.rowsEndMs < clickMs) {
        std::fprintf(stderr, "gui_download: the GUI download did not succeed; its status lines:\n");
        for (const std::string& line : window.lines)
            std::fprintf(stderr, "  %s\n", qPrintable(QString::fromStdString(line).trimmed()));
        return false;
    }
    // Every figure from the press of Program; the rows' gaps from the first programming progress.
    const double flashMs = window.flashMs >= clickMs ? window.flashMs : window.rowsBeginMs;
    run.times = {window.rowsBeginMs - clickMs, window.rowsEndMs - clickMs, idleMs - clickMs, cpuMs};
    run.rowGaps = GapsBetween(firings, flashMs, window.rowsEndMs);
    const std::vector<double> whole = GapsBetween(firings, clickMs, idleMs);
    run.wholeLongestGapMs = whole.empty() ? 0 : *std::max_element(whole.begin(), whole.end());
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

void PrintFigures(const Options& options, const BenchFile& file, const std::vector<GuiRun>& gui,
                  const std::vector<Times>& cli, const std::vector<std::string>& boxes) {
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
    if (options.each) {
        std::printf(
            "  each run: GUI / CLI whole ms, GUI / CLI rows ms, the GUI thread's longest gap ms\n");
        for (size_t i = 0; i < n; ++i) {
            std::printf("    %zu: %.0f / %.0f, %.0f / %.0f, %.2f\n", i + 1, gui[i].times.wholeMs,
                        cli[i].wholeMs, gui[i].times.RowsMs(), cli[i].RowsMs(), longest[i]);
        }
    }
    std::printf("  message boxes answered Yes: %zu", boxes.size());
    for (const std::string& box : boxes)
        std::printf(" [%s]", qPrintable(QString::fromStdString(box).simplified()));
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
    CTamrixApp app(qtArgc, argv);

    BenchFile file;
    if (!MakeFirmwareFile(options, file)) {
        std::fprintf(stderr, "gui_download: cannot write the firmware file\n");
        return 1;
    }
    std::vector<GuiRun> gui;
    std::vector<Times> cli;
    std::vector<std::string> boxes;
    for (int i = 0; i < options.repetitions; ++i) {
        GuiRun guiRun;
        Times cliTimes;
        const bool guiFirst = i % 2 == 0;
        if (guiFirst && !RunGui(options, file, guiRun, boxes))
            return 1;
        if (!RunCli(options, file, cliTimes))
            return 1;
        if (!guiFirst && !RunGui(options, file, guiRun, boxes))
            return 1;
        gui.push_back(guiRun);
        cli.push_back(cliTimes);
    }
    PrintFigures(options, file, gui, cli, boxes);
    return 0;
}
