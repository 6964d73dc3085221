// How close programming comes to the speed of the line: `tamrix-cli program-hex` writes a full
// image into a paced tamrix-sim (its own process, a fresh one per run), and every phase of the
// run is set against its wire-time lower bound (WireBudget.h). The phases are told apart by the
// moments the program's status lines arrive; the host's CPU time is read at those moments too.
//
//   program_speed pic [--rows N] [--record-size B] [--repetitions R] [--bare]
//   program_speed sam [--repetitions R] [--bare]
//
// --bare also sends the same rows from a bare write-and-wait loop (BareHost.h), to tell what the
// program adds from what the pseudo-terminal and the simulator add by themselves.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BareHost.h"
#include "bench/BenchImages.h"
#include "bench/HostRun.h"
#include "bench/SimProcess.h"
#include "bench/Statistics.h"
#include "bench/WireBudget.h"
#include "common/Format.h"
#include "image/DeviceTable.h"
#include "image/IntelHex.h"
#include "image/MemoryPIC.h"
#include "programmer/ProgramerPIC.h"
#include "tests/support/FirmwareBuilder.h"

using namespace tamrix;
using namespace tamrix::bench;

namespace {

// program-hex takes at most this much text, like the download process's image buffer.
constexpr size_t kMaxHexText = 1048576;
constexpr int kRunTimeoutSeconds = 600;
constexpr int kSamProgramRowsSent = 512;

struct Options {
    bool sam = false;
    std::string chip;
    int rows = 240;
    int recordSize = 0;   // 0: 252 bytes for PIC (fits 240 full rows into 1 MiB), 16 for SAM
    int repetitions = 0;  // 0: 3 for PIC, 5 for SAM
    int baud = 115200;
    uint32_t seed = 20240611;
    bool bare = false;  // also time the same rows from a bare write-and-wait loop
    bool summary = false;  // end with one tab-separated line of the main figures (bench/report)
};

struct Phase {
    std::string name;
    double measuredMs = 0;
    WireBudget bound;
};

struct RunFigures {
    std::vector<Phase> phases;
    double bareRowsMs = 0;     // the same rows from the bare loop (0: not run)
    double rowsCpuShare = 0;   // host CPU over wall while the rows were written, percent
    double wholeCpuShare = 0;  // over the whole run, percent
    double wholeCpuMs = 0;
    long peakKiB = 0;  // the host's peak resident memory
};

const char* const kMilestones[] = {
    "Waiting for Hardware Reset",  // after start-up, trial opening and wake-up
    "Start Command Checked",       // the start signal has arrived
    "Found MicroProcessor",        // identified
    "Reading Target Data",         // image built and loaded; PIC: the reset-vector read begins
    "Start Firmware upgrade",      // the first row is about to go out
    "Successfully Done",           // the finish byte has gone out
};
constexpr size_t kMilestoneCount = sizeof kMilestones / sizeof kMilestones[0];

// The phases of one finished run; false (reason printed) when a status line is missing.
bool Analyse(const Options& options, const DeviceTableEntry& device, const HostRun& run,
             RunFigures& figures) {
    const TimedLine* at[kMilestoneCount];
    for (size_t i = 0; i < kMilestoneCount; ++i) {
        at[i] = run.Find(kMilestones[i]);
        if (at[i] == nullptr) {
            std::fprintf(stderr, "program_speed: no status line \"%s\"\n", kMilestones[i]);
            return false;
        }
    }
    const double startWait = at[1]->atMs - at[0]->atMs;
    const int identifyAttempts = 1 + run.Count("Device ID Receive Fail");

    WireBudget dataBound;
    WireBudget rowsBound;
    std::string dataPhase;
    if (options.sam) {
        dataPhase = "row packing (no traffic)";
        rowsBound = SamRowsBudget(options.baud, kSamProgramRowsSent);
    } else {
        const int block =
            device.family == kFamilyDsPic30F ? kPicSmallReadBlock : kPicLargeReadBlock;
        dataPhase = "reset-vector read";
        dataBound = PicResetVectorBudget(options.baud, block);
        rowsBound =
            PicRowsBudget(options.baud, options.rows, PicProgramRowWords(FamilyOf(device.family)));
    }

    figures.phases = {
        {"start-up and wake-up", at[0]->atMs, WakeUpBudget()},
        {"start-signal wait", startWait, WireBudget().Measured(startWait)},
        {"handshake", at[2]->atMs - at[1]->atMs, HandshakeBudget(options.baud, identifyAttempts)},
        {"map and HEX load (CPU)", at[3]->atMs - at[2]->atMs, WireBudget()},
        {dataPhase, at[4]->atMs - at[3]->atMs, dataBound},
        {"rows and finish byte", at[5]->atMs - at[4]->atMs, rowsBound},
        {"close and exit", run.wallMs - at[5]->atMs, WireBudget()},
    };
    figures.rowsCpuShare = 100.0 * (at[5]->cpuMs - at[4]->cpuMs) / (at[5]->atMs - at[4]->atMs);
    figures.wholeCpuShare = 100.0 * run.CpuMs() / run.wallMs;
    figures.wholeCpuMs = run.CpuMs();
    return true;
}

// One run against a fresh simulator, checked against the image afterwards.
bool RunOnce(const Options& options, const DeviceTableEntry& device, const ByteImage& image,
             const std::string& hexText, RunFigures& figures) {
    test::TempFolder folder;
    const std::string hexPath = folder.File("image.hex");
    const std::string dumpPath = folder.File("flash.hex");
    {
        std::ofstream out(hexPath, std::ios::binary);
        out.write(hexText.data(), static_cast<std::streamsize>(hexText.size()));
    }
    const std::string link = folder.File("port");
    CSimProcess sim;
    std::string error;
    if (!sim.Start({"--chip", options.chip, "--pace", "--boot-baud", std::to_string(options.baud),
                    "--dump", dumpPath},
                   link, "", &error)) {
        std::fprintf(stderr, "program_speed: %s\n", error.c_str());
        return false;
    }
    const HostRun run =
        RunHost({"program-hex", hexPath, "--port", link, "--baud", std::to_string(options.baud),
                 "--log", folder.File("ProcssLog.log")},
                kRunTimeoutSeconds);
    const bool simEnded = sim.Stop();
    if (run.exitCode != 0) {
        std::fprintf(stderr, "program_speed: program-hex failed (exit %d)%s\n%s", run.exitCode,
                     run.timedOut ? ", timed out" : "", run.Output().c_str());
        return false;
    }
    if (!simEnded)
        return false;
    const uint32_t from = options.sam ? 0 : kPicResetVectorHexBytes;
    if (!DumpMatches(dumpPath, image, from, &error)) {
        std::fprintf(stderr, "program_speed: %s\n", error.c_str());
        return false;
    }
    figures.peakKiB = run.peakKiB;
    return Analyse(options, device, run, figures);
}

// The same rows from the bare loop against a fresh simulator that starts in its bootloader.
bool RunBare(const Options& options, const DeviceTableEntry& device, double& rowsMs) {
    test::TempFolder folder;
    const std::string link = folder.File("port");
    CSimProcess sim;
    std::string error;
    const std::vector<BareFrame> frames =
        options.sam ? SamRowFrames(kSamProgramRowsSent)
                    : PicRowFrames(options.rows, PicProgramRowWords(FamilyOf(device.family)));
    if (!sim.Start({"--chip", options.chip, "--pace", "--boot-baud", std::to_string(options.baud),
                    "--bootloader"},
                   link, "", &error) ||
        !RunBareRows(link, options.baud, frames, rowsMs, &error)) {
        std::fprintf(stderr, "program_speed: bare loop: %s\n", error.c_str());
        return false;
    }
    sim.Stop();
    return true;
}

void PrintFigures(const Options& options, const std::vector<RunFigures>& runs, size_t hexBytes) {
    const size_t phaseCount = runs.front().phases.size();
    std::vector<double> wholeMs, wholeBound, progMs, progBound, wholeRatio, progRatio, rowsRatio;
    std::vector<double> rowsCpu, wholeCpu, wholeCpuMs;
    for (const RunFigures& run : runs) {
        double whole = 0, wholeB = 0;
        for (const Phase& phase : run.phases) {
            whole += phase.measuredMs;
            wholeB += phase.bound.TotalMs();
        }
        const Phase& data = run.phases[4];
        const Phase& rows = run.phases[5];
        const double prog = data.measuredMs + rows.measuredMs;
        const double progB = data.bound.TotalMs() + rows.bound.TotalMs();
        wholeMs.push_back(whole);
        wholeBound.push_back(wholeB);
        progMs.push_back(prog);
        progBound.push_back(progB);
        wholeRatio.push_back(whole / wholeB);
        progRatio.push_back(prog / progB);
        rowsRatio.push_back(rows.measuredMs / rows.bound.TotalMs());
        rowsCpu.push_back(run.rowsCpuShare);
        wholeCpu.push_back(run.wholeCpuShare);
        wholeCpuMs.push_back(run.wholeCpuMs);
    }

    if (options.sam) {
        std::printf(
            "SAM programming speed: tamrix-cli program-hex, %s, 64 KiB image (every program byte, "
            "%d rows of 128 bytes, %zu bytes of Intel HEX), paced tamrix-sim at %d baud, fresh "
            "simulator per run; median (min..max) of %zu runs\n",
            options.chip.c_str(), kSamProgramRowsSent, hexBytes, options.baud, runs.size());
    } else {
        std::printf(
            "PIC programming speed: tamrix-cli program-hex, %s, %d full rows of %d instructions "
            "(%zu bytes of Intel HEX, %d-byte records), paced tamrix-sim at %d baud, fresh "
            "simulator per run; median (min..max) of %zu runs\n",
            options.chip.c_str(), options.rows,
            PicProgramRowWords(FamilyOf(FindDeviceByName(options.chip)->family)), hexBytes,
            options.recordSize, options.baud, runs.size());
    }
    std::printf("  %-26s %12s %12s  %s\n", "phase", "measured ms", "bound ms",
                "lower bound (bytes at 10 bits each + fixed pauses)");
    for (size_t p = 0; p < phaseCount; ++p) {
        std::vector<double> measured, bound;
        for (const RunFigures& run : runs) {
            measured.push_back(run.phases[p].measuredMs);
            bound.push_back(run.phases[p].bound.TotalMs());
        }
        const Phase& phase = runs.front().phases[p];
        std::string basis = phase.bound.TotalMs() > 0 ? phase.bound.Describe() : "-";
        if (phase.bound.measuredMs > 0)
            basis = "taken as measured";
        std::printf("  %-26s %12.1f %12.1f  %s\n", phase.name.c_str(), SpreadOf(measured).median,
                    SpreadOf(bound).median, basis.c_str());
    }
    std::printf("  %-26s %12.1f %12.1f\n",
                options.sam ? "programming (pack + rows)" : "programming (read + rows)",
                SpreadOf(progMs).median, SpreadOf(progBound).median);
    std::printf("  %-26s %12.1f %12.1f\n", "whole run", SpreadOf(wholeMs).median,
                SpreadOf(wholeBound).median);
    std::printf(
        "  measured / lower bound: rows %s, programming %s (target <= 1.05), whole run %s\n",
        DescribeSpread(SpreadOf(rowsRatio), "%.4f").c_str(),
        DescribeSpread(SpreadOf(progRatio), "%.4f").c_str(),
        DescribeSpread(SpreadOf(wholeRatio), "%.4f").c_str());
    std::printf("  host CPU / wall: rows %s %% (target <= 5 %%), whole run %s %% (%s ms)\n",
                DescribeSpread(SpreadOf(rowsCpu), "%.2f").c_str(),
                DescribeSpread(SpreadOf(wholeCpu), "%.2f").c_str(),
                DescribeSpread(SpreadOf(wholeCpuMs), "%.0f").c_str());
    if (options.bare) {
        std::vector<double> bareMs, bareRatio;
        for (const RunFigures& run : runs) {
            bareMs.push_back(run.bareRowsMs);
            bareRatio.push_back(run.bareRowsMs / run.phases[5].bound.TotalMs());
        }
        std::printf(
            "  the same rows from a bare write-and-wait loop: %s ms, ratio %s (what the "
            "pseudo-terminal and the simulator add by themselves)\n",
            DescribeSpread(SpreadOf(bareMs), "%.1f").c_str(),
            DescribeSpread(SpreadOf(bareRatio), "%.4f").c_str());
    }
    std::string each;
    for (size_t i = 0; i < runs.size(); ++i)
        each += Format("  %.4f / %.2f", rowsRatio[i], rowsCpu[i]);
    std::printf("  each run, rows ratio / host CPU %%:%s\n", each.c_str());
    std::printf("  every run: exit 0, and the simulated flash equals the image%s\n",
                options.sam ? "" : " (the reset vector aside, which the target keeps)");
    if (options.summary) {
        std::vector<double> peak;
        for (const RunFigures& run : runs)
            peak.push_back(static_cast<double>(run.peakKiB));
        // chip, baud, rows, whole run / bound, programming / bound, host CPU % of the whole run,
        // peak memory in KiB: medians.
        std::printf("summary\t%s\t%d\t%d\t%.4f\t%.4f\t%.2f\t%.0f\n", options.chip.c_str(),
                    options.baud, options.sam ? kSamProgramRowsSent : options.rows,
                    SpreadOf(wholeRatio).median, SpreadOf(progRatio).median,
                    SpreadOf(wholeCpu).median, SpreadOf(peak).median);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app(
        "Programming speed of tamrix-cli program-hex against a paced simulator, over "
        "the wire-time lower bound");
    app.require_subcommand(1);
    auto addCommon = [&options](CLI::App* command) {
        command->add_option("-n,--repetitions", options.repetitions, "runs (median and spread)")
            ->check(CLI::Range(1, 100));
        command->add_option("--baud", options.baud, "bootloader baud rate")->capture_default_str();
        command->add_option("--chip", options.chip, "chip the simulator plays");
        command->add_option("--record-size", options.recordSize, "data bytes per HEX record")
            ->check(CLI::Range(1, 255));
        command->add_flag("--bare", options.bare,
                          "also time the same rows from a bare write-and-wait loop");
        command->add_flag("--summary", options.summary,
                          "end with one tab-separated line of the main figures");
    };
    CLI::App* pic = app.add_subcommand("pic", "a PIC image of full program rows");
    addCommon(pic);
    pic->add_option("--rows", options.rows, "program rows in the image")
        ->check(CLI::Range(1, kPicProgramRows))
        ->capture_default_str();
    CLI::App* sam = app.add_subcommand("sam", "a SAM image of the whole 64 KiB program memory");
    addCommon(sam);
    CLI11_PARSE(app, argc, argv);

    options.sam = sam->parsed();
    if (options.chip.empty())
        options.chip = options.sam ? "S3F84ZB" : "dsPIC33FJ256GP710";
    if (options.repetitions == 0)
        options.repetitions = options.sam ? 5 : 3;
    if (options.recordSize == 0)
        options.recordSize = options.sam ? 16 : 252;

    const DeviceTableEntry* device = FindDeviceByName(options.chip);
    const ProgrammerKind wanted = options.sam ? ProgrammerKind::Sam : ProgrammerKind::Pic;
    if (device == nullptr || ProgrammerKindFor(*device) != wanted) {
        std::fprintf(stderr, "program_speed: %s is no %s chip of the device table\n",
                     options.chip.c_str(), options.sam ? "SAM" : "PIC");
        return 2;
    }
    const ByteImage image =
        options.sam
            ? SamImage(options.seed)
            : PicImage(options.rows, PicProgramRowWords(FamilyOf(device->family)), options.seed);
    const std::string hexText = FormatIntelHex(image, options.recordSize);
    if (hexText.size() > kMaxHexText) {
        std::fprintf(stderr,
                     "program_speed: %zu bytes of Intel HEX; a firmware text holds at most %zu. "
                     "Fewer rows or longer records.\n",
                     hexText.size(), kMaxHexText);
        return 2;
    }

    std::vector<RunFigures> runs;
    for (int i = 0; i < options.repetitions; ++i) {
        RunFigures figures;
        if (!RunOnce(options, *device, image, hexText, figures))
            return 1;
        if (options.bare && !RunBare(options, *device, figures.bareRowsMs))
            return 1;
        runs.push_back(figures);
    }
    PrintFigures(options, runs, hexText.size());
    return 0;
}
