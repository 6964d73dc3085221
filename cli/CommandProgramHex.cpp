// `tamrix-cli program-hex`: an engineering tool that programs a plain Intel HEX file into the
// target after the handshake, with no product or version checks. Technicians use `program`.

#include <atomic>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "cli/Commands.h"
#include "cli/Connect.h"
#include "cli/ExitCodes.h"
#include "cli/RunDownload.h"
#include "common/Format.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "platform/FileAccess.h"
#include "programmer/ProgrammerFactory.h"

namespace tamrix::cli {

namespace {

struct ProgramHexOptions {
    std::string file;
    LinkOptions link;
    OutputOptions output;
};

// After the handshake: the rows of `text` written to the target. `stop` turns true on a stop
// signal; the row loop then stops before its next row.
int ProgramHexText(const ProgramHexOptions& options, const std::string& text,
                   CTerminalWindow& window, const std::atomic<bool>& stop) {
    CClock& clock = CSystemClock::Instance();
    TargetConnection connection = ConnectToTarget(options.link, window, clock, &stop);
    if (connection.exitCode != 0)
        return connection.exitCode;

    const DeviceTableEntry& entry = connection.entry;
    const std::unique_ptr<CProgramer> programmer =
        MakeProgrammerFor(entry, connection.channel.get(), clock, &window);
    if (programmer == nullptr) {
        std::fprintf(stderr, "tamrix-cli: %s cannot be programmed by this program\n", entry.name);
        return kExitHandshake;
    }
    programmer->SetStopRequest(&stop);

    programmer->BuildMemoryMap(entry.family);
    if (programmer->LoadHexBuffer(text.data(), static_cast<int>(text.size())) != 1) {
        window.FinishProgress();
        std::fprintf(stderr,
                     "tamrix-cli: %s is not valid Intel HEX for %s; nothing was programmed\n",
                     EscapeControls(options.file).c_str(), entry.name);
        return kExitFile;
    }
    if (programmer->ReadTargetData(entry.family) != 1)
        return kExitProgramming;
    const bool done = programmer->ProgramFlash(0);
    window.FinishProgress();
    connection.channel->Close();
    return done ? kExitSuccess : kExitProgramming;
}

int RunProgramHex(const ProgramHexOptions& options) {
    // Before any thread exists: the one that talks to the target must never be the one a stop
    // signal interrupts.
    CStopSignals signals;
    // A log written into the HEX file would make it another file before it is read again.
    if (!FilesDistinct({{options.file, "the Intel HEX file", "FILE"},
                        {LogPath(options.output), "the process log (--log)", "--log"}})) {
        return kExitUsage;
    }
    // The same limit as the download process's text buffer, checked before anything is read;
    // regular files only, so a folder, FIFO or device is refused at once.
    const FileReadResult file = ReadRegularFile(options.file, kImageBufferSize);
    if (file.error == FileError::Empty || file.error == FileError::TooLarge) {
        std::fprintf(stderr, "tamrix-cli: %s is empty or larger than 1 MiB\n",
                     EscapeControls(options.file).c_str());
        return kExitFile;
    }
    if (file.error == FileError::Missing) {
        std::fprintf(stderr, "tamrix-cli: cannot read %s\n", EscapeControls(options.file).c_str());
        return kExitFile;
    }
    if (file.error != FileError::None) {
        std::fprintf(stderr, "tamrix-cli: cannot read %s: %s\n",
                     EscapeControls(options.file).c_str(), file.reason.c_str());
        return kExitFile;
    }
    const std::string text(file.bytes.begin(), file.bytes.end());
    if (const std::string stray = HexStrayBytesText(text.data(), static_cast<int>(text.size()));
        !stray.empty()) {
        std::fprintf(stderr, "tamrix-cli: %s is not valid Intel HEX: it %s; nothing was sent\n",
                     options.file.c_str(), stray.c_str());
        return kExitFile;
    }

    auto window = MakeWindow(options.output);
    std::atomic<bool> stop{false};
    int exitCode = kExitProgramming;
    std::thread work;
    try {
        work = std::thread([&] {
            exitCode = ProgramHexText(options, text, *window, stop);
            signals.NotifyEnd();
        });
    } catch (const std::system_error&) {
        std::fprintf(stderr, "tamrix-cli: cannot start the programming thread\n");
        return kExitProgramming;
    }
    const int signal = AwaitEndTakingStops(signals, *window, [&stop] { stop = true; });
    work.join();
    if (signal != 0 && exitCode != kExitSuccess) {
        window->FinishProgress();
        std::printf("Programming stopped: %s\n", CStopSignals::Name(signal));
        return kExitInterrupted;
    }
    return exitCode;
}

}  // namespace

void AddProgramHexCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ProgramHexOptions>();
    auto* command = app.add_subcommand(
        "program-hex",
        "engineering: program a plain Intel HEX file after the handshake, without the product and "
        "version checks of `program`");
    command->add_option("FILE", options->file, "Intel HEX file")->required();
    AddLinkOptions(*command, options->link);
    AddOutputOptions(*command, options->output, false);
    command->callback([options, &exitCode]() { exitCode = RunProgramHex(*options); });
}

}  // namespace tamrix::cli
