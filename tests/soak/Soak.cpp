#include "tests/soak/Soak.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <set>

#include "cli/ExitCodes.h"
#include "cli/RunDownload.h"
#include "common/Format.h"
#include "download/DownloadProcess.h"
#include "image/FirmwareFile.h"
#include "sim/CommandLine.h"
#include "sim/SimTarget.h"
#include "sim/SimVerify.h"
#include "tests/support/CliRunner.h"

namespace tamrix::test {

namespace {

constexpr const char* kPic30Chip = "dsPIC30F6014A";      // 32-instruction rows, EEPROM
constexpr const char* kPic33Chip = "dsPIC33FJ256GP710";  // 512-instruction rows
constexpr const char* kSamChip = "S3F84ZB";              // 128-byte rows

// The product's identity, and what the files bring: a newer application for the same product,
// so none installs a bootloader first, and only the runs planned as downgrades ask about one.
constexpr uint16_t kProductCode = 12345;
constexpr uint16_t kTargetAppVersion = 1000;
constexpr uint16_t kTargetBootVersion = 1500;
constexpr uint16_t kFileAppVersion = 1100;

// Draws that are the same on every platform for the same seed (the standard fixes mt19937's
// sequence, not the distributions').
class CDraws {
  public:
    CDraws(uint32_t seed, int index) {
        std::seed_seq sequence{seed, static_cast<uint32_t>(index), 0x50A4u};
        random_.seed(sequence);
    }
    double Share() { return static_cast<double>(random_()) / 4294967296.0; }
    bool Chance(double p) { return Share() < p; }
    uint32_t Below(uint32_t n) {
        return static_cast<uint32_t>((static_cast<uint64_t>(random_()) * n) >> 32);
    }
    int Between(int low, int high) {  // both included
        return low + static_cast<int>(Below(static_cast<uint32_t>(high - low + 1)));
    }
    double Range(double low, double high) { return low + (high - low) * Share(); }
    uint32_t Seed() { return random_(); }
    // A data byte: often 0x00 or 0x01, the values of a refusal and an acknowledge, so an echo or
    // a stray byte of the frame taken for an answer shows.
    uint8_t DataByte() {
        const uint32_t pick = Below(100);
        if (pick < 12)
            return 0x00;
        if (pick < 24)
            return 0x01;
        return static_cast<uint8_t>(Below(256));
    }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(static_cast<uint32_t>(items.size()))];
    }

  private:
    std::mt19937 random_;
};

// A span of a row: all of it half of the time, else a random stretch (at least one slot).
void ChooseSpan(CDraws& draws, int slots, int& first, int& end) {
    if (draws.Chance(0.5)) {
        first = 0;
        end = slots;
        return;
    }
    first = draws.Between(0, slots - 1);
    end = draws.Between(first + 1, slots);
}

// PIC firmware: the reset vector's row, the identity's row and `extraRows` more program rows,
// each filled over a random span, and on a dsPIC30F sometimes EEPROM rows.
void PlanPicFirmware(CDraws& draws, SoakPlan& plan, bool small, int extraRows) {
    const int instructions = small ? 32 : 512;
    const uint32_t span = 2u * static_cast<uint32_t>(instructions);
    // Rows below 0x8000 (dsPIC30F) or 0x20000 (dsPIC33F): inside every chip's program memory.
    const uint32_t rowLimit = (small ? 0x8000u : 0x20000u) / span;
    std::set<uint32_t> bases = {0, 0x0C00 / span * span};
    while (static_cast<int>(bases.size()) < 2 + extraRows)
        bases.insert(draws.Below(rowLimit) * span);
    for (uint32_t base : bases) {
        int first = 0;
        int end = 0;
        ChooseSpan(draws, instructions, first, end);
        for (int i = first; i < end; ++i) {
            const uint32_t address = base + 2u * static_cast<uint32_t>(i);
            if (address == 0 || address == 2 || address == 0x0C00 || address == 0x0C02)
                continue;
            const uint32_t value = draws.DataByte() | (draws.DataByte() << 8) |
                                   (static_cast<uint32_t>(draws.DataByte()) << 16);
            plan.firmware.Instruction(address, value);
        }
    }
    plan.firmware.Instruction(0x0000, 0x040200).Instruction(0x0002, 0x000000);  // GOTO 0x200
    plan.firmware.Identity(kProductCode, kFileAppVersion);
    plan.rows = static_cast<int>(bases.size());
    plan.frameBytes = 4 + 3 * instructions;
    plan.readBlockBytes = 3 * instructions;

    if (small && draws.Chance(0.3)) {
        std::set<uint32_t> eeprom;
        const int count = draws.Between(1, 3);
        while (static_cast<int>(eeprom.size()) < count)
            eeprom.insert(0x7FF000u + 32u * draws.Below(128));
        for (uint32_t base : eeprom) {
            int first = 0;
            int end = 0;
            ChooseSpan(draws, 16, first, end);
            for (int j = first; j < end; ++j) {
                const uint16_t word =
                    static_cast<uint16_t>(draws.DataByte() | (draws.DataByte() << 8));
                plan.firmware.Word(base + 2u * static_cast<uint32_t>(j), word);
            }
        }
        plan.rows += count;
    }
}

// SAM firmware: `rows` program or EEPROM rows, each filled over a random span.
void PlanSamFirmware(CDraws& draws, SoakPlan& plan, int rows) {
    std::set<uint32_t> bases;
    while (static_cast<int>(bases.size()) < rows) {
        const bool eeprom = draws.Chance(0.2);
        bases.insert(eeprom ? 0x10000u + 128u * draws.Below(128) : 128u * draws.Below(512));
    }
    for (uint32_t base : bases) {
        int first = 0;
        int end = 0;
        ChooseSpan(draws, 128, first, end);
        for (int i = first; i < end; ++i)
            plan.firmware.Byte(base + static_cast<uint32_t>(i), draws.DataByte());
    }
    plan.rows = rows;
    plan.frameBytes = 3 + 128;
}

void AddFaultText(SoakPlan& plan, const std::string& text) {
    plan.faultText += (plan.faultText.empty() ? "" : ", ") + text;
}

// One to three kinds of fault, or none at all in a few runs (those must succeed).
void PlanFaults(CDraws& draws, SoakPlan& plan, SoakProfile profile) {
    SimFaults& f = plan.faults;
    f.seed = draws.Seed();
    if (draws.Chance(0.06)) {
        plan.faultText = "no fault";
        plan.mustSucceed = true;
        return;
    }
    enum Kind {
        Nack,
        DropAck,
        Garbage,
        Noise,
        Slow,
        EchoLoss,
        Silence,
        HangUpBetween,
        HangUpInside,
        RowDelay,
        SlowLink,
        Counts,
        Handshake
    };
    // Weighted: the kinds that leave the download a chance come more often.
    const std::vector<Kind> kinds = {
        Nack,     Nack,          Nack,         DropAck, DropAck,   Garbage,  Garbage,  Noise,
        Noise,    Noise,         Slow,         Slow,    EchoLoss,  EchoLoss, EchoLoss, Silence,
        RowDelay, HangUpBetween, HangUpInside, Counts,  Handshake, SlowLink};
    const int count = draws.Between(1, 3);
    std::set<Kind> chosen;
    while (static_cast<int>(chosen.size()) < count) {
        Kind kind = draws.Pick(kinds);
        if (kind == EchoLoss && plan.wiring != Wiring::OneWireEcho)
            kind = Noise;
        // Seconds a row: too long for the test suite.
        if (kind == SlowLink && profile == SoakProfile::Short)
            kind = RowDelay;
        chosen.insert(kind);
    }
    const auto share = [](double value) { return Format("%.2f", value); };
    for (Kind kind : chosen) {
        switch (kind) {
            case Nack:
                f.nackShare = draws.Range(0.05, 0.5);
                AddFaultText(plan, "NACK " + share(f.nackShare));
                break;
            case DropAck:
                f.dropAckShare = draws.Range(0.05, 0.4);
                AddFaultText(plan, "lost ACK " + share(f.dropAckShare));
                break;
            case Garbage:
                f.garbageAckShare = draws.Range(0.05, 0.4);
                AddFaultText(plan, "garbled ACK " + share(f.garbageAckShare));
                break;
            case Noise:
                f.noiseShare = draws.Range(0.1, 0.6);
                AddFaultText(plan, "noise " + share(f.noiseShare));
                break;
            case Slow:
                f.slowRowShare = draws.Range(0.1, 0.6);
                f.slowRowMaxMs = draws.Pick(std::vector<int>{200, 600, 1000, 1500});
                AddFaultText(plan, Format("slow rows %s up to %d ms", share(f.slowRowShare).c_str(),
                                          f.slowRowMaxMs));
                break;
            case EchoLoss:
                f.echoLossShare = draws.Range(0.05, 0.5);
                AddFaultText(plan, "echo loss " + share(f.echoLossShare));
                break;
            case Silence:
                f.silentAfterRows = draws.Between(0, plan.rows);
                AddFaultText(plan, Format("silent after %d row frames", f.silentAfterRows));
                plan.mustFail = plan.mustFail || f.silentAfterRows < plan.rows;
                break;
            case HangUpBetween:
                f.hangUpAfterRows = draws.Between(0, plan.rows - 1);
                AddFaultText(plan, Format("hang-up after %d row frames", f.hangUpAfterRows));
                plan.mustFail = true;
                break;
            case HangUpInside:
                f.hangUpInRow = draws.Between(0, plan.rows - 1);
                f.hangUpAtByte = draws.Between(0, plan.frameBytes - 1);
                AddFaultText(plan, Format("hang-up in row frame %d at byte %d", f.hangUpInRow,
                                          f.hangUpAtByte));
                plan.mustFail = true;
                break;
            case RowDelay:
                f.rowDelayMs = draws.Between(50, 600);
                AddFaultText(plan, Format("rows take %d ms", f.rowDelayMs));
                break;
            case SlowLink:
                // Every answer comes after every plain wait has run out, some frames refused.
                f.rowDelayMs = draws.Between(1000, 3000);
                f.nackShare = std::max(f.nackShare, draws.Range(0.02, 0.2));
                AddFaultText(plan, Format("slow link: answers after %d ms, NACK %s", f.rowDelayMs,
                                          share(f.nackShare).c_str()));
                break;
            case Counts:
                f.nackRows = draws.Between(0, 3);
                f.dropAcks = draws.Between(0, 3);
                f.garbageAcks = draws.Between(0, 3);
                AddFaultText(plan, Format("first rows: %d NACK, %d lost, %d garbled", f.nackRows,
                                          f.dropAcks, f.garbageAcks));
                break;
            case Handshake: {
                const uint32_t which = draws.Below(plan.chip == kSamChip ? 2 : 4);
                if (which == 0) {
                    // Costs the whole wait for the start signal: rare.
                    plan.silentBootloader = true;
                    AddFaultText(plan, "silent bootloader");
                    plan.mustFail = true;
                } else if (which == 1) {
                    f.noVersionInfo = true;
                    AddFaultText(plan, "no version information");
                } else if (which == 2) {
                    f.noVersionAddresses = true;
                    AddFaultText(plan, "no version addresses");
                } else {
                    f.noVersionInfo = true;
                    f.noVersionAddresses = true;
                    AddFaultText(plan, "no version answers");
                }
                break;
            }
        }
    }
}

// The version the product runs: newer than the file where the run is about a downgrade.
uint16_t TargetAppVersion(const SoakPlan& plan) {
    return plan.downgrade ? kFileAppVersion + 100 : kTargetAppVersion;
}

// Wire time of `bytes` at `baud`, in seconds.
double WireSeconds(int bytes, int baud) {
    return bytes * 10.0 / baud;
}

// Longer than the program can take by its own time-outs: the wake-up, the wait for the start
// signal, the requests, and per row five attempts of the frame's wire time, its echo wait, the
// acknowledge wait with the late answers and the slowest write; then half as much again.
int WatchdogSeconds(const SoakPlan& plan) {
    const SimFaults& f = plan.faults;
    const double rowWrite = (f.rowDelayMs + f.slowRowMaxMs) / 1000.0;
    // An answer window grows to twice the slowest answer seen (at most 6 s); a row also waits
    // once more for the answers its other frames owe, and the run once more at its end.
    const double window = std::min(6.0, std::max(2.0, 2 * rowWrite));
    const double attempt = WireSeconds(plan.frameBytes, plan.baud) + 1.0 + 2.2 + rowWrite + window;
    const double requests = 3 * 5 * (1.0 + WireSeconds(12, plan.baud)) +
                            5 * (1.0 + WireSeconds(plan.readBlockBytes, plan.baud));
    // With verify, every row is also read back: up to five reads and their quiet waits.
    const double readBack =
        plan.verify ? 5 * (2.0 + WireSeconds(plan.readBlockBytes, plan.baud)) : 0.0;
    const double total =
        2.0 + 11.0 + requests + plan.rows * (5 * attempt + window + readBack) + window;
    return static_cast<int>(1.5 * total) + 20;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The outcome named on the program's "Download stopped: ..." line, or "" when there is none.
std::string StoppedOutcome(const std::string& output) {
    const std::string marker = "Download stopped: ";
    const size_t at = output.rfind(marker);
    if (at == std::string::npos)
        return "";
    const size_t end = output.find('\n', at);
    return output.substr(at + marker.size(),
                         end == std::string::npos ? std::string::npos : end - at - marker.size());
}

// The exit status cli/ExitCodes.h gives the outcome the program named; -1 for an unknown name.
int ExitCodeForName(const std::string& name) {
    for (int value = 0; value <= static_cast<int>(DownloadOutcome::Stopped); ++value) {
        const auto outcome = static_cast<DownloadOutcome>(value);
        if (name == DownloadOutcomeName(outcome))
            return cli::ExitCodeFor(outcome);
    }
    return -1;
}

// Checks the leak-check line the library printed as the program ended.
void CheckLeaks(const std::string& output, bool productGone, SoakRunResult& result) {
    static const std::regex line(
        R"(leak-check: descriptors (-?\d+)->(-?\d+) threads (-?\d+)->(-?\d+) port (\w+))");
    std::smatch match;
    if (!std::regex_search(output, match, line)) {
        result.problems.push_back("the program did not end normally (no leak-check line)");
        return;
    }
    const int descriptorsAtStart = std::stoi(match[1]);
    const int descriptorsAtEnd = std::stoi(match[2]);
    const int threadsAtEnd = std::stoi(match[4]);
    const std::string port = match[5];
    if (descriptorsAtStart < 0 || descriptorsAtEnd != descriptorsAtStart) {
        result.leaked = true;
        result.problems.push_back(Format("descriptors: %d at the start, %d at the end",
                                         descriptorsAtStart, descriptorsAtEnd));
    }
    if (threadsAtEnd != 1) {
        result.leaked = true;
        result.problems.push_back(Format("%d threads still run at the end", threadsAtEnd));
    }
    if (port != "reopened" && !(productGone && port == "gone")) {
        result.leaked = true;
        result.problems.push_back("the port could not be opened again at the end: " + port);
    }
}

// What the simulated product saw and said, byte by byte, with its counters and state.
std::string DescribeProduct(const CSimTarget& target) {
    const SimCounters c = target.Counters();
    std::string text = Format(
        "state %s; wake-ups %d, start signals %d, identifications %d, row frames %d (ACK %d, "
        "NACK %d, written %d), finishes %d, noise bytes %d, echoes lost %d, stray bytes %d\n",
        SimStateName(target.State()), c.wakeUps, c.startSignals, c.identifications, c.rowFrames,
        c.rowsAcked, c.rowsNacked, c.rowsWritten, c.finishes, c.noiseBytes, c.echoesLost,
        c.strayBytesSent);
    for (const SimTraceEntry& entry : target.Trace())
        text += FormatTraceLine(entry);
    return text;
}

void Keep(const std::string& keepFolder, const std::string& runFolder, const SoakPlan& plan,
          const SoakPrograms& programs, const SoakRunResult& result, const std::string& product) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(keepFolder, error);
    for (const char* name : {"update.bin", "ProcssLog.log"})
        fs::copy_file(runFolder + "/" + name, keepFolder + "/" + name,
                      fs::copy_options::overwrite_existing, error);
    WriteWholeFile(keepFolder + "/output.txt", result.output);
    WriteWholeFile(keepFolder + "/product.txt", product);
    std::string commands;
    for (const std::string& command : HandCommands(plan, programs, keepFolder + "/update.bin"))
        commands += command + "\n";
    WriteWholeFile(keepFolder + "/by-hand.txt", commands);
}

}  // namespace

std::string SoakPlan::Describe() const {
    return Format("%s, %d baud, %s, %d rows%s", chip.c_str(), baud,
                  wiring == Wiring::OneWireEcho ? "one wire" : "two wires", rows,
                  verify ? ", verify" : "");
}

SoakPlan PlanSoakRun(uint32_t seed, int index, SoakProfile profile) {
    CDraws draws(seed, index);
    SoakPlan plan;
    plan.seed = seed;
    plan.index = index;
    plan.wiring = draws.Chance(0.5) ? Wiring::OneWireEcho : Wiring::TwoWire;

    const bool slow = profile == SoakProfile::Long && draws.Chance(0.2);
    if (slow) {
        plan.baud = draws.Pick(std::vector<int>{9600, 9600, 4800, 2400, 1200});
    } else if (profile == SoakProfile::Long) {
        plan.baud = draws.Pick(std::vector<int>{115200, 115200, 57600, 38400, 19200});
    } else {
        plan.baud = draws.Pick(std::vector<int>{115200, 57600});
    }

    // Small images at slow rates: a 512-instruction row takes 1.6 s at 9600 and 13 s at 1200,
    // and so does the read of the reset vector; such rows only at 9600 and above.
    const uint32_t chipPick = draws.Below(100);
    if (chipPick < 35) {
        plan.chip = kPic30Chip;
        PlanPicFirmware(
            draws, plan, true,
            slow || profile == SoakProfile::Short ? draws.Between(0, 2) : draws.Between(1, 10));
    } else if (chipPick < 65 && plan.baud >= 9600) {
        plan.chip = kPic33Chip;
        const bool fewRows = slow || plan.baud < 57600 || profile == SoakProfile::Short;
        PlanPicFirmware(draws, plan, false, fewRows ? 0 : draws.Between(0, 3));
    } else {
        plan.chip = kSamChip;
        PlanSamFirmware(
            draws, plan,
            slow || profile == SoakProfile::Short ? draws.Between(1, 4) : draws.Between(2, 16));
    }
    PlanFaults(draws, plan, profile);
    if (profile == SoakProfile::Short && plan.silentBootloader) {
        // Ten seconds of waiting are too long for the test suite.
        plan.silentBootloader = false;
        plan.mustFail = false;
        plan.faultText += " (not in the short soak)";
    }
    // Drawn last, so that the rest of every plan stays what the same seed gave before.
    if (plan.chip != kSamChip && draws.Chance(0.3)) {
        plan.verify = true;
        // A product that stores a word of one of the first rows wrong and still acknowledges it:
        // only the read-back can tell (a plain download would end in a false success by
        // design). When that row is sent again, the new copy is stored right.
        if (draws.Chance(0.3)) {
            plan.faults.corruptProgramRow = static_cast<int>(draws.Below(3));
            if (plan.mustSucceed)
                plan.faultText.clear();  // it was "no fault"
            AddFaultText(plan, Format("row %d stored wrong", plan.faults.corruptProgramRow));
            plan.mustSucceed = false;
        }
    }
    // Drawn after the rest, so that the plans before stay what the same seed gave. A file the
    // product must refuse: made for the other family (its data where the product's own file
    // would have it), or older than the product's firmware with the downgrade declined.
    const uint32_t refusal = draws.Below(100);
    if (plan.silentBootloader) {
        // Nobody to refuse anything to.
    } else if (refusal < 4) {
        plan.otherFamilyFile = true;
        plan.mustBeRefused = true;
        FirmwareBuilder other;
        if (plan.chip == kSamChip) {
            for (uint32_t address = 0x0200; address < 0x0240; address += 2)
                other.Instruction(address, 0x0A0000 + address);
            other.Identity(kProductCode, kFileAppVersion);
        } else {
            for (uint32_t address = 0; address < 0x100; ++address)
                other.Byte(address, static_cast<uint8_t>(0x80 | draws.DataByte()));
        }
        plan.firmware = other;
        AddFaultText(plan, plan.chip == kSamChip ? "a PIC file" : "a SAM file");
    } else if (refusal < 8 && plan.chip != kSamChip) {
        plan.downgrade = true;
        plan.mustBeRefused = true;
        AddFaultText(plan, "older file, downgrade declined");
    }
    if (plan.mustBeRefused) {
        plan.mustSucceed = false;
        plan.mustFail = false;
    }
    plan.watchdogSeconds = WatchdogSeconds(plan);
    return plan;
}

std::vector<std::string> HandCommands(const SoakPlan& plan, const SoakPrograms& programs,
                                      const std::string& firmwarePath) {
    const std::string link = Format("/tmp/tamrix-soak-port-%u-%d", plan.seed, plan.index);
    std::string sim = Format(
        "%s --chip %s --boot-baud %d --pace --product-code %u "
        "--app-version %u --boot-version %u",
        programs.sim.c_str(), plan.chip.c_str(), plan.baud, kProductCode, TargetAppVersion(plan),
        kTargetBootVersion);
    if (plan.wiring == Wiring::OneWireEcho)
        sim += " --echo";
    if (plan.silentBootloader)
        sim += " --silent";
    for (const std::string& arg : SimFaultArguments(plan.faults))
        sim += " " + arg;
    sim += " --link " + link + " -v &";
    const std::string cli = Format(
        "%s program %s --port %s --baud %d --interface %s %s%s", programs.cli.c_str(),
        firmwarePath.c_str(), link.c_str(), plan.baud, WiringChoiceFor(plan.wiring).shortName,
        plan.downgrade ? "--no" : "--yes", plan.verify ? " --verify" : "");
    return {sim, cli};
}

SoakRunResult ExecuteSoakRun(const SoakPlan& plan, const SoakPrograms& programs,
                             const std::string& keepFolder, const std::string& reportPath) {
    SoakRunResult result;
    SimOptions options;
    options.chip = plan.chip;
    options.wiring = plan.wiring;
    options.bootBaud = plan.baud;
    options.pace = true;
    options.silentBootloader = plan.silentBootloader;
    options.productCode = kProductCode;
    options.appVersion = TargetAppVersion(plan);
    options.bootVersion = kTargetBootVersion;
    options.faults = plan.faults;
    options.keepTrace = true;  // kept with a run that breaks a rule
    CSimTarget target(options);
    std::string error;
    if (!target.Start(&error)) {
        result.problems.push_back("the simulated product did not start: " + error);
        return result;
    }
    const std::map<uint32_t, uint8_t> before = target.HexImage();

    TempFolder folder;
    const std::string file = folder.File("update.bin");
    if (!plan.firmware.WriteBin(file, kConversionSeed)) {
        result.problems.push_back("cannot write " + file);
        return result;
    }
    std::vector<std::string> args = {"program",
                                     file,
                                     "--port",
                                     target.DevicePath(),
                                     "--baud",
                                     std::to_string(plan.baud),
                                     "--interface",
                                     WiringChoiceFor(plan.wiring).shortName,
                                     "--log",
                                     folder.File("ProcssLog.log"),
                                     plan.downgrade ? "--no" : "--yes"};
    if (plan.verify)
        args.push_back("--verify");
    if (!reportPath.empty())
        args.insert(args.end(), {"--report", reportPath});
    ChildOptions child;
    child.timeoutSeconds = plan.watchdogSeconds;
    child.environment = {"LD_PRELOAD=" + programs.leakCheck};
    const auto started = std::chrono::steady_clock::now();
    const CliResult run = RunChild(programs.cli, args, child);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.output = run.output;
    result.exitCode = run.exitCode;
    result.signal = run.signal;

    // The program may end while its last bytes are still on the line.
    const bool idle = target.WaitUntilIdle(20000);
    const SimVerifyResult flash = VerifySimFlash(target, plan.firmware.Image(), before);
    result.counters = target.Counters();
    const bool productGone = target.State() == SimState::HungUp;
    const std::string product = DescribeProduct(target);
    target.Stop();

    if (run.timedOut) {
        result.hung = true;
        result.problems.push_back(
            Format("still running after the watchdog's %d s", plan.watchdogSeconds));
    } else if (run.signal != 0) {
        result.crashed = true;
        result.problems.push_back(Format("ended by signal %d", run.signal));
    }
    if (!idle)
        result.problems.push_back("the product still had bytes on the line 20 s after the end");

    const bool success = run.exitCode == cli::kExitSuccess;
    const bool holds = flash.matches && result.counters.finishes >= 1;
    result.outcome = success ? "success" : StoppedOutcome(run.output);
    if (!run.timedOut && run.signal == 0) {
        if (success && !holds) {
            result.falseSuccess = true;
            result.problems.push_back(
                Format("success reported, but the product does not hold the file (%s; finish "
                       "bytes %d)",
                       flash.matches ? "flash equal" : flash.difference.c_str(),
                       result.counters.finishes));
        }
        if (!success && holds) {
            result.falseFailure = true;
            result.problems.push_back("failure reported, but the product holds the file");
        }
        if (success != Contains(run.output, "Successfully Done"))
            result.problems.push_back("exit status and \"Successfully Done\" disagree");
        if (!success) {
            const int expected = ExitCodeForName(result.outcome);
            if (result.outcome.empty())
                result.problems.push_back("a failure without \"Download stopped:\"");
            else if (expected != run.exitCode)
                result.problems.push_back(Format("\"%s\" ended with status %d instead of %d",
                                                 result.outcome.c_str(), run.exitCode, expected));
            // An error status line, or a message box (printed "=== caption ...").
            if (!Contains(run.output, "[Error]") && !Contains(run.output, "\n=== "))
                result.problems.push_back("a failure without an error line or message box");
        }
        if (plan.mustBeRefused &&
            (run.exitCode != cli::kExitCompatibility || result.counters.rowFrames != 0)) {
            result.problems.push_back(
                Format("a file that must be refused ended with status %d "
                       "after %d row frames",
                       run.exitCode, result.counters.rowFrames));
        }
        if (plan.mustSucceed && !success)
            result.problems.push_back("a run without faults failed");
        if (plan.mustFail && success)
            result.problems.push_back("a run whose product vanished or fell silent succeeded");
        CheckLeaks(run.output, productGone, result);
    }
    if (!result.problems.empty() && !keepFolder.empty())
        Keep(keepFolder, folder.Path(), plan, programs, result, product);
    return result;
}

}  // namespace tamrix::test
