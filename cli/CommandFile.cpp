// `tamrix-cli info` and `tamrix-cli convert`: what a firmware file holds, and turning Intel HEX
// into firmware files and back.

#include <cstdio>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/ExitCodes.h"
#include "cli/FirmwareText.h"
#include "common/Format.h"
#include "image/FamilyCodes.h"
#include "image/FileLayout.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "image/Memory.h"
#include "platform/FileAccess.h"
#include "programmer/PicVersion.h"
#include "programmer/ProgramerPIC.h"
#include "programmer/ProgramerSAM.h"

namespace tamrix::cli {

namespace {

enum class FileTarget { Pic, Sam };

FileTarget GuessTarget(const std::vector<uint8_t>& text) {
    const FileLayoutFacts facts = ExamineFileLayout(reinterpret_cast<const char*>(text.data()),
                                                    static_cast<int>(text.size()));
    return GuessedSam(facts) ? FileTarget::Sam : FileTarget::Pic;
}

struct InfoOptions {
    std::string file;
    uint32_t seed = kConversionSeed;
    std::string target = "auto";
};

// Prints the file's rows by kind as the programmer of that family would send them.
void PrintUsage(const CProgramer& programmer, bool pic) {
    int rows[3] = {0, 0, 0};
    for (const auto& row : programmer.Rows()) {
        if (row && row->isEmpty == 0)
            ++rows[row->kind];
    }
    const char* names[3] = {"program memory", "EEPROM", pic ? "configuration" : "fuse bits"};
    for (int kind = 0; kind < 3; ++kind) {
        std::printf("  %-15s %d row%s\n", names[kind], rows[kind], rows[kind] == 1 ? "" : "s");
    }
    std::printf("  highest program address 0x%X\n", programmer.MaxAddress());
}

int RunInfo(const InfoOptions& options) {
    FirmwareText firmware = ReadFirmwareText(options.file, options.seed);
    if (!firmware.error.empty()) {
        std::fprintf(stderr, "tamrix-cli: %s\n", EscapeControls(firmware.error).c_str());
        return kExitFile;
    }
    const FileTarget target = options.target == "pic"   ? FileTarget::Pic
                              : options.target == "sam" ? FileTarget::Sam
                                                        : GuessTarget(firmware.text);
    const char* text = reinterpret_cast<const char*>(firmware.text.data());
    const int length = static_cast<int>(firmware.text.size());
    std::printf("File: %s (%s, %d bytes of Intel HEX)\n", EscapeControls(options.file).c_str(),
                firmware.wasScrambled ? "Upgrade Binary File" : "plain Intel HEX", length);

    if (target == FileTarget::Sam) {
        CProgramerSAM programmer(nullptr);
        programmer.BuildMemoryMap(kFamilyS3F828B);
        const bool loaded = programmer.LoadHexBuffer(text, length) == 1;
        std::printf("Target: Samsung S3F8 bootloader (SAM layout)\n");
        std::printf("Memory usage:\n");
        PrintUsage(programmer, false);
        if (!loaded) {
            std::printf("The file does not fit a SAM target; it would be refused.\n");
            return kExitFile;
        }
        return kExitSuccess;
    }

    CProgramerPIC programmer(nullptr);
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    int versionFlag = 0;
    std::printf("Target: 16-bit PIC bootloader (PIC layout)\n");
    if (programmer.ReadFileInfoFromBuffer(text, length, kPicProductCodeAddress, productCode,
                                          kPicVersionAddress, appVersion, versionFlag)) {
        std::printf("Product code: %d (0x%04X)\n", productCode, productCode);
        const std::string version = PicAppVersionText(productCode, appVersion);
        std::printf("Application version: %s (0x%04X), version flag %d%s\n", version.c_str(),
                    appVersion, versionFlag,
                    versionFlag == 0 ? " (the download process refuses this file)" : "");
    } else {
        std::printf("Product code and version: not found at 0x%04X / 0x%04X\n",
                    kPicProductCodeAddress, kPicVersionAddress);
    }
    programmer.BuildMemoryMap(kFamilyDsPic33F);  // 512-instruction rows
    const bool loaded = programmer.LoadHexBuffer(text, length) == 1;
    std::printf("Memory usage (512-instruction rows):\n");
    PrintUsage(programmer, true);
    if (!loaded) {
        std::printf("The file does not fit a PIC target; it would be refused.\n");
        return kExitFile;
    }
    return kExitSuccess;
}

struct ConvertOptions {
    std::string input;
    std::string output;
    uint32_t seed = kConversionSeed;
};

int RunConvert(const ConvertOptions& options) {
    // The output written over the input would replace the only copy of what was converted.
    if (!FilesDistinct({{options.input, "the input file (INPUT)", "INPUT"},
                        {options.output, "the output file (OUTPUT)", "OUTPUT"}})) {
        return kExitUsage;
    }
    FirmwareText firmware = ReadFirmwareText(options.input, options.seed);
    if (!firmware.error.empty()) {
        std::fprintf(stderr, "tamrix-cli: %s\n", EscapeControls(firmware.error).c_str());
        return kExitFile;
    }
    if (firmware.wasScrambled) {
        // Replaced whole or not at all: a failed write keeps the old output, and a link, device
        // or FIFO in its place is refused rather than written through or replaced.
        std::string reason;
        if (ReplaceFileAtomically(options.output, firmware.text.data(), firmware.text.size(),
                                  &reason) != FileError::None) {
            std::fprintf(stderr, "tamrix-cli: cannot write %s: %s\n",
                         EscapeControls(options.output).c_str(), reason.c_str());
            return kExitFile;
        }
        std::printf("%s: firmware file -> Intel HEX %s (%zu bytes)\n",
                    EscapeControls(options.input).c_str(), EscapeControls(options.output).c_str(),
                    firmware.text.size());
        return kExitSuccess;
    }
    std::string error;
    if (!WriteFirmwareFile(options.output, firmware.text, options.seed, error)) {
        std::fprintf(stderr, "tamrix-cli: %s\n", EscapeControls(error).c_str());
        return kExitFile;
    }
    std::printf("%s: Intel HEX -> firmware file %s (%zu bytes)\n",
                EscapeControls(options.input).c_str(), EscapeControls(options.output).c_str(),
                firmware.text.size());
    return kExitSuccess;
}

}  // namespace

void AddFileCommands(CLI::App& app, int& exitCode) {
    auto info = std::make_shared<InfoOptions>();
    auto* infoCommand = app.add_subcommand(
        "info", "show product code, application version and memory usage of a firmware file");
    infoCommand->add_option("FILE", info->file, "firmware file (.bin) or Intel HEX file")
        ->required();
    AddSeedOption(*infoCommand, info->seed, "conversion seed of the file's producer");
    infoCommand->add_option("--target", info->target, "memory layout: pic, sam or auto")
        ->check(CLI::IsMember({"auto", "pic", "sam"}))
        ->capture_default_str();
    infoCommand->callback([info, &exitCode]() { exitCode = RunInfo(*info); });

    auto convert = std::make_shared<ConvertOptions>();
    auto* convertCommand = app.add_subcommand(
        "convert",
        "Intel HEX -> firmware file (.bin), or firmware file -> Intel HEX; the direction follows "
        "from the input");
    convertCommand->add_option("INPUT", convert->input, "Intel HEX or firmware file")->required();
    convertCommand->add_option("OUTPUT", convert->output, "file to write")->required();
    AddSeedOption(*convertCommand, convert->seed, "conversion seed (default: this program's)");
    convertCommand->callback([convert, &exitCode]() { exitCode = RunConvert(*convert); });
}

}  // namespace tamrix::cli
