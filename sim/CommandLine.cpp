#include "sim/CommandLine.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/Format.h"
#include "common/LinkChoices.h"
#include "common/Version.h"
#include "image/DeviceTable.h"
#include "image/IntelHex.h"

namespace tamrix {

namespace {

// Decimal or 0x-prefixed hexadecimal, the whole text, at most `limit`.
bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && text[0] != '-' && value <= limit;
}

// A CLI11 validator-and-converter for such numbers.
template <typename T>
CLI::Option* AddNumber(CLI::App& app, const std::string& name, T& target, const std::string& help,
                       unsigned long limit) {
    return app
        .add_option_function<std::string>(
            name,
            [&target, name, limit](const std::string& text) {
                unsigned long value = 0;
                if (!ParseNumber(text, limit, value)) {
                    throw CLI::ValidationError(
                        name, "not a number up to " + std::to_string(limit) + ": " + text);
                }
                target = static_cast<T>(value);
            },
            help)
        ->type_name("N");
}

std::string ChipList() {
    std::string list;
    for (const DeviceTableEntry* row = DeviceTable; row->family != 0; ++row) {
        list += Format("  %-20s id 0x%04X  pi %u  family %d\n", row->name, row->deviceId, row->pi,
                       row->family);
    }
    return list;
}

// "1200, 2400, ..., 115200": the rates a technician can choose on the host side.
std::string BaudList() {
    std::string list;
    for (int index = 0; index < BaudRateCount(); ++index)
        list += Format("%s%d", index > 0 ? ", " : "", BaudRateFromIndex(index));
    return list;
}

// What the command line says besides the options it fills in directly.
struct CommandLineFlags {
    bool listChips = false;
    bool echo = false;
    bool garbage = false;
    std::string versionAddresses;
};

// The product the simulator plays: chip, wiring, rate, flash and versions.
void AddProductOptions(CLI::App& app, SimCommandLine& commandLine, CommandLineFlags& flags) {
    SimOptions& o = commandLine.options;
    app.add_flag("--list-chips", flags.listChips, "Print the chips it can play and exit");
    app.add_option("--chip", o.chip, "Chip to identify as, by its device-table name")
        ->type_name("NAME")
        ->capture_default_str();
    AddNumber(app, "--id", o.deviceId, "Identify with this device id instead (0xNNNN)", 0xFFFF);
    AddNumber(app, "--pi", o.pi, "... and this PI (0-15)", 15);
    app.add_flag("--echo", flags.echo,
                 Format("One-wire wiring (%s): every byte the host sends comes back to it",
                        WiringChoiceFor(SimWiring::OneWireEcho).label));
    AddNumber(app, "--boot-baud", o.bootBaud,
              Format("The bootloader's baud rate (default %d; the host offers %s)", o.bootBaud,
                     BaudList().c_str()),
              4000000);
    app.add_flag("--pace", o.pace, "Bytes take their wire time (10 bits each) both ways");
    app.add_flag("--silent", o.silentBootloader,
                 "The bootloader never sends its start signal (the host times out)");
    app.add_flag("--bootloader", o.startInBootloader,
                 "Start in the bootloader instead of the running application");
    app.add_flag("-v,--verbose", commandLine.verbose, "Trace every byte to stderr");
    app.add_option("--link", o.linkPath, "Also make the device reachable through this symlink")
        ->type_name("PATH");
    app.add_flag("--checksum", o.checksum, "PIC program rows carry a 16-bit checksum");
    app.add_option("--load", commandLine.loadPath, "Lay this Intel HEX image over the flash")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
    app.add_option("--dump", commandLine.dumpPath, "Write the flash as Intel HEX on exit")
        ->type_name("FILE");
    AddNumber(app, "--product-code", o.productCode, "Product code (default 12345)", 0xFFFF);
    AddNumber(app, "--app-version", o.appVersion,
              "Application version in thousandths (default 1000)", 0xFFFF);
    AddNumber(app, "--version-flag", o.versionFlagByte,
              "PIC: upper byte of the version instruction (0 = flag 1; default 0)", 0xFF);
    AddNumber(app, "--boot-version", o.bootVersion, "Boot version (default 1500)", 0xFFFF);
    app.add_option("--version-addresses", flags.versionAddresses,
                   "PIC: product-code, version and third address (default 0x0C00,0x0C02,0x0BFE)")
        ->type_name("A,B,C");
}

// Misbehaviour on demand.
void AddFaultOptions(CLI::App& app, SimFaults& f, CommandLineFlags& flags) {
    auto* faults = app.add_option_group("Faults", "Misbehaviour on demand");
    AddNumber(*faults, "--nack", f.nackRows, "NACK the next N row frames", 1000000);
    faults
        ->add_option("--nack-share", f.nackShare, "NACK this share (0..1) of row frames at random")
        ->type_name("P")
        ->check(CLI::Range(0.0, 1.0));
    AddNumber(*faults, "--seed", f.seed, "Seed of --nack-share (default 1)", 0xFFFFFFFF);
    AddNumber(*faults, "--drop-ack", f.dropAcks, "Write the next N rows but do not acknowledge",
              1000000);
    faults->add_flag("--garbage", flags.garbage,
                     "Answer every row with 0x55 instead of an acknowledge");
    AddNumber(*faults, "--silent-after", f.silentAfterRows,
              "Stop answering anything after N row frames", 1000000);
    AddNumber(*faults, "--hangup-after", f.hangUpAfterRows,
              "Vanish from the port (hang up) when row frame N+1 arrives", 1000000);
    AddNumber(*faults, "--row-delay", f.rowDelayMs,
              "A row write takes N milliseconds before its answer", 600000);
    faults->add_flag("--no-version-info", f.noVersionInfo, "Do not answer 0x10");
    faults->add_flag("--no-version-addresses", f.noVersionAddresses, "Do not answer 0x11");
    const auto share = [faults](const std::string& name, double& target, const std::string& help) {
        faults->add_option(name, target, help)->type_name("P")->check(CLI::Range(0.0, 1.0));
    };
    share("--drop-ack-share", f.dropAckShare,
          "Write this share of rows at random but do not acknowledge them");
    share("--garbage-share", f.garbageAckShare,
          "Write this share of rows at random but answer 0x55 instead of an acknowledge");
    share("--noise-share", f.noiseShare,
          "Put 1-3 noise bytes (never 0x00 or 0x01) around this share of row answers");
    share("--slow-share", f.slowRowShare, "This share of row writes takes up to --slow-ms longer");
    AddNumber(*faults, "--slow-ms", f.slowRowMaxMs, "Longest extra time of a slow row write",
              600000);
    share("--echo-loss-share", f.echoLossShare,
          "One wire: lose the echo of one byte in this share of row frames");
    AddNumber(*faults, "--hangup-in-row", f.hangUpInRow,
              "Vanish from the port in the middle of row frame N (0: the first)", 1000000);
    AddNumber(*faults, "--hangup-at-byte", f.hangUpAtByte,
              "... when its byte B arrives (0: the command byte; default 0)", 1000000);
    AddNumber(*faults, "--corrupt-row", f.corruptProgramRow,
              "PIC: store program row N written (0: the first) with one instruction wrong, and "
              "acknowledge it",
              1000000);
}

// "A,B,C": the product-code, version and third address.
void ParseVersionAddresses(const std::string& text, SimOptions& o) {
    std::stringstream parts(text);
    std::string part;
    uint32_t* targets[3] = {&o.productCodeAddress, &o.versionAddress, &o.thirdAddress};
    int n = 0;
    while (std::getline(parts, part, ',')) {
        unsigned long value = 0;
        if (n == 3 || !ParseNumber(part, 0xFFFFFF, value)) {
            throw CLI::ValidationError("--version-addresses",
                                       "three addresses A,B,C expected: " + text);
        }
        *targets[n++] = static_cast<uint32_t>(value);
    }
    if (n != 3) {
        throw CLI::ValidationError("--version-addresses",
                                   "three addresses A,B,C expected: " + text);
    }
}

}  // namespace

int ParseSimCommandLine(int argc, const char* const* argv, SimCommandLine& commandLine) {
    CLI::App app(
        "A simulated product for the firmware update utility, on a pseudo-terminal.\n"
        "Prints the device to open (one line) and runs until SIGINT or SIGTERM.\n"
        "It starts in its running application, which resets into the bootloader when the\n"
        "wake-up message arrives at 19200 or 9600 baud; the bootloader then listens only at\n"
        "--boot-baud and sends its start signal (0x0A) every 100 ms until it is answered.\n"
        "SIGUSR1 powers it off and on: back in the running application, the flash kept.",
        "tamrix-sim");
    app.set_version_flag("--version", std::string("tamrix-sim ") + kProgramVersion);
    CommandLineFlags flags;
    AddProductOptions(app, commandLine, flags);
    AddFaultOptions(app, commandLine.options.faults, flags);
    try {
        app.parse(argc, argv);
        if (!flags.versionAddresses.empty())
            ParseVersionAddresses(flags.versionAddresses, commandLine.options);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (flags.listChips) {
        std::fputs(ChipList().c_str(), stdout);
        return 0;
    }
    commandLine.options.wiring = flags.echo ? SimWiring::OneWireEcho : SimWiring::TwoWire;
    if (flags.garbage)
        commandLine.options.faults.garbageAcks = -1;
    return -1;
}

bool LoadInitialImage(SimCommandLine& commandLine, std::string* error) {
    if (commandLine.loadPath.empty())
        return true;
    std::ifstream file(commandLine.loadPath, std::ios::binary);
    if (!file) {
        if (error)
            *error = "cannot open " + commandLine.loadPath;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    const std::string content = text.str();
    std::string why;
    if (!ParseIntelHex(content.data(), static_cast<int>(content.size()),
                       commandLine.options.initialImage, &why)) {
        if (error)
            *error = commandLine.loadPath + ": " + why;
        return false;
    }
    return true;
}

std::vector<std::string> SimFaultArguments(const SimFaults& f) {
    std::vector<std::string> args;
    const auto add = [&args](const char* name, const std::string& value) {
        args.push_back(name);
        if (!value.empty())
            args.push_back(value);
    };
    // Shares keep every digit they have, so a run is repeated with the very same thresholds.
    const auto share = [&add](const char* name, double value) {
        if (value > 0.0)
            add(name, Format("%.17g", value));
    };
    if (f.nackRows > 0)
        add("--nack", std::to_string(f.nackRows));
    share("--nack-share", f.nackShare);
    if (f.dropAcks > 0)
        add("--drop-ack", std::to_string(f.dropAcks));
    share("--drop-ack-share", f.dropAckShare);
    if (f.garbageAcks < 0)
        add("--garbage", "");
    share("--garbage-share", f.garbageAckShare);
    share("--noise-share", f.noiseShare);
    if (f.slowRowShare > 0.0 && f.slowRowMaxMs > 0) {
        share("--slow-share", f.slowRowShare);
        add("--slow-ms", std::to_string(f.slowRowMaxMs));
    }
    share("--echo-loss-share", f.echoLossShare);
    if (f.silentAfterRows >= 0)
        add("--silent-after", std::to_string(f.silentAfterRows));
    if (f.hangUpAfterRows >= 0)
        add("--hangup-after", std::to_string(f.hangUpAfterRows));
    if (f.hangUpInRow >= 0) {
        add("--hangup-in-row", std::to_string(f.hangUpInRow));
        add("--hangup-at-byte", std::to_string(f.hangUpAtByte));
    }
    if (f.rowDelayMs > 0)
        add("--row-delay", std::to_string(f.rowDelayMs));
    if (f.corruptProgramRow >= 0)
        add("--corrupt-row", std::to_string(f.corruptProgramRow));
    if (f.noVersionInfo)
        add("--no-version-info", "");
    if (f.noVersionAddresses)
        add("--no-version-addresses", "");
    if (!args.empty())
        add("--seed", std::to_string(f.seed));
    return args;
}

std::string FormatTraceLine(const SimTraceEntry& entry) {
    return Format("%12.3f ms  %s  %02X\n", static_cast<double>(entry.timeUs) / 1000.0,
                  SimTraceDirectionName(entry.direction), entry.byte);
}

}  // namespace tamrix
