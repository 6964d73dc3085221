// `tamrix-cli demo`: a whole firmware download against a simulated product started in this
// process, on a pseudo-terminal (over an in-memory link where the system has none), ending with a
// check that the simulated flash equals the file. Needs no hardware and no set-up: the first
// thing to run on a new machine.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/DemoFirmware.h"
#include "cli/DemoProduct.h"
#include "cli/RunDownload.h"
#include "common/LinkChoices.h"
#include "download/ChannelOpener.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "sim/SimVerify.h"

namespace tamrix::cli {

namespace {

struct DemoOptions {
    std::string interface = WiringChoiceFor(Wiring::TwoWire).shortName;
    int baud = kDefaultBaudRate;
    bool fast = false;
    OutputOptions output;
};

// The sample firmware as a file, as a technician would have it; removed again at the end.
class CTemporaryFirmwareFile {
  public:
    CTemporaryFirmwareFile() {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
        if (error)
            return;
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                folder / ("tamrix-demo-" + std::to_string(random() % 1000000000000ULL) + ".bin");
            if (std::filesystem::exists(candidate, error))
                continue;
            std::ofstream out(candidate, std::ios::binary);
            out.write(reinterpret_cast<const char*>(kDemoFirmware),
                      static_cast<std::streamsize>(kDemoFirmwareSize));
            out.close();
            if (out)
                path_ = candidate.string();
            else
                std::filesystem::remove(candidate, error);
        }
    }
    ~CTemporaryFirmwareFile() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The simulated product of the demonstration: the demo chip at the chosen rate and wiring.
SimOptions DemoProductOptions(const DemoOptions& options, const WiringChoice& wiring) {
    SimOptions sim;
    sim.chip = kDemoChip;
    sim.wiring = wiring.wiring;
    sim.bootBaud = options.baud;
    sim.pace = !options.fast;
    sim.productCode = static_cast<uint16_t>(kDemoProductCode);
    sim.appVersion = static_cast<uint16_t>(kDemoTargetAppVersion);
#ifndef TAMRIX_DEMO_PSEUDO_TERMINAL
    sim.pace = false;  // bytes take no time on the in-memory link
#endif
    return sim;
}

std::unique_ptr<CDemoProduct> MakeDemoProduct(const SimOptions& sim) {
#ifdef TAMRIX_DEMO_PSEUDO_TERMINAL
    return MakePseudoTerminalDemoProduct(sim);
#else
    return MakeMemoryDemoProduct(sim);
#endif
}

// The check after a successful download: the simulated flash must hold exactly what the file
// describes (`before`: the flash before the download, for what the file leaves alone).
int CheckDemoFlash(CDemoProduct& target, const std::map<uint32_t, uint8_t>& before) {
    std::vector<uint8_t> text(kDemoFirmware, kDemoFirmware + kDemoFirmwareSize);
    ApplyKeystream(text.data(), text.size());
    std::map<uint32_t, uint8_t> fileImage;
    // The demonstration firmware is compiled in and parses whole.
    static_cast<void>(ParseIntelHex(reinterpret_cast<const char*>(text.data()),
                                    static_cast<int>(text.size()), fileImage));
    const SimVerifyResult check =
        VerifyFlashImage(target.IsPic(), target.HexImage(), fileImage, before);
    const SimVersions versions = target.Versions();
    std::printf("\nThe product now reports product code %u, application version %.1f.\n",
                versions.productCode, versions.appVersion / 1000.0);
    if (!check.matches) {
        std::printf("Check FAILED: the simulated flash differs from the file: %s\n",
                    check.difference.c_str());
        return kExitSimulator;
    }
    std::printf(
        "Check passed: the simulated flash equals the firmware file (%d bytes compared; the "
        "target kept its own reset vector).\n",
        check.compared);
    return kExitSuccess;
}

int RunDemo(const DemoOptions& options) {
    // Before the simulated product's thread and the worker exist: neither may be the one a stop
    // signal interrupts.
    CStopSignals signals;
    const WiringChoice& wiring = WiringChoiceFor(ChosenWiring(options.interface));
    const SimOptions sim = DemoProductOptions(options, wiring);
    const std::unique_ptr<CDemoProduct> target = MakeDemoProduct(sim);
    std::string error;
    if (!target->Start(&error)) {
        std::fprintf(stderr, "tamrix-cli: cannot start the simulated product: %s\n", error.c_str());
        return kExitSimulator;
    }
    const std::map<uint32_t, uint8_t> before = target->HexImage();

    CTemporaryFirmwareFile firmware;
    if (firmware.Path().empty()) {
        std::fprintf(stderr,
                     "tamrix-cli: cannot write the sample firmware to the temporary folder\n");
        return kExitSimulator;
    }
    std::printf("Simulated product: %s, product code %u, application version %.1f, on %s\n",
                kDemoChip, kDemoProductCode, kDemoTargetAppVersion / 1000.0,
                target->Where().c_str());
    std::printf("Wiring: %s%s, %d baud%s. Firmware: %s (application version 1.1)\n\n", wiring.label,
                wiring.echo ? " (one wire, echo)" : "", options.baud,
                sim.pace ? " at wire speed" : "", firmware.Path().c_str());

    auto window = MakeWindow(options.output);
    auto params = std::make_unique<DownloadParams>();
    params->port = target->Port();
    params->baudRate = options.baud;
    params->wiring = wiring.wiring;
    params->filePath = firmware.Path();
    params->window = window.get();
    DownloadSettings settings;
    settings.openChannel = target->Opener(settings.portMap, window.get());

    const int exitCode = RunDownload(std::move(params), settings, *window, signals);
    target->Finish(exitCode != kExitInterrupted);
    return exitCode != kExitSuccess ? exitCode : CheckDemoFlash(*target, before);
}

}  // namespace

void AddDemoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DemoOptions>();
    auto* command = app.add_subcommand(
        "demo", "update a simulated product with the sample firmware (no hardware needed)");
    AddWiringOption(*command, options->interface);
    AddBaudOption(*command, options->baud, "baud rate of the simulated bootloader");
    command->add_flag("--fast", options->fast, "do not hold the bytes to their wire time");
    AddOutputOptions(*command, options->output, true);
    command->callback([options, &exitCode]() { exitCode = RunDemo(*options); });
}

}  // namespace tamrix::cli
