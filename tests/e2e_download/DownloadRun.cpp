#include "tests/e2e_download/DownloadRun.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/LinkChoices.h"
#include "image/IntelHex.h"

namespace tamrix::test {

namespace {

// Instruction values that look like code and are never the erased value.
uint32_t CodeWord(uint32_t address) {
    return (address * 2654435761u >> 8) & 0x00FFFFFEu;
}

}  // namespace

SimOptions ProductOptions(const std::string& chip, SimWiring wiring) {
    SimOptions options;
    options.chip = chip;
    options.wiring = wiring;
    options.bootBaud = 115200;
    options.productCode = kProductCode;
    options.appVersion = kTargetAppVersion;
    options.bootVersion = kTargetBootVersion;
    return options;
}

SimOptions PacedProductOptions(const std::string& chip) {
    SimOptions options = ProductOptions(chip);
    options.pace = true;
    return options;
}

std::unique_ptr<CSimTarget> StartProduct(const SimOptions& options) {
    auto product = std::make_unique<CSimTarget>(options);
    std::string error;
    if (!product->Start(&error)) {
        ADD_FAILURE() << "the simulated product did not start: " << error;
        return nullptr;
    }
    return product;
}

FirmwareBuilder PicApplication(uint16_t productCode, uint16_t appVersion, uint8_t versionUpper,
                               bool withEeprom) {
    FirmwareBuilder firmware;
    firmware.Instruction(0x0000, 0x040200).Instruction(0x0002, 0x000000);  // GOTO 0x200
    for (uint32_t address = 0x0200; address < 0x0300; address += 2) {
        firmware.Instruction(address, CodeWord(address));
    }
    // Across the boundary of a 32-instruction row and of a 512-instruction row.
    for (uint32_t address = 0x07F0; address < 0x0810; address += 2) {
        firmware.Instruction(address, CodeWord(address));
    }
    firmware.Identity(productCode, appVersion, versionUpper);
    for (uint32_t address = 0x1000; address < 0x1100; address += 2) {
        firmware.Instruction(address, CodeWord(address));
    }
    firmware.Instruction(0x10000, CodeWord(0x10000));  // beyond 64 KiB of HEX addresses
    if (withEeprom) {
        for (uint32_t address = 0x7FF000; address < 0x7FF020; address += 2) {
            firmware.Word(address, static_cast<uint16_t>(CodeWord(address)));
        }
        firmware.Word(0x7FFFFE, 0x1234);
    }
    firmware.Word(0xF80000, 0x00C3);  // configuration is never sent by a download
    return firmware;
}

FirmwareBuilder SamApplication() {
    FirmwareBuilder firmware;
    for (uint32_t address = 0x0000; address < 0x0180; ++address) {
        firmware.Byte(address, static_cast<uint8_t>(CodeWord(address)));
    }
    for (uint32_t address = 0x7F70; address < 0x8010; ++address) {
        firmware.Byte(address, static_cast<uint8_t>(CodeWord(address) >> 8));
    }
    for (uint32_t address = 0x10000; address < 0x10020; ++address) {
        firmware.Byte(address, static_cast<uint8_t>(address));
    }
    for (uint32_t address = 0x20000; address < 0x20004; ++address) {
        firmware.Byte(address, static_cast<uint8_t>(0xA0 + address - 0x20000));
    }
    return firmware;
}

std::map<uint32_t, uint8_t> ImageOf(const std::string& hexText) {
    std::map<uint32_t, uint8_t> image;
    std::string error;
    EXPECT_TRUE(ParseIntelHex(hexText.data(), static_cast<int>(hexText.size()), image, &error))
        << error;
    return image;
}

std::vector<std::string> ProgramArguments(const CSimTarget& product, SimWiring wiring,
                                          const std::string& file, const std::string& log,
                                          const std::vector<std::string>& extra, int baud) {
    std::vector<std::string> args = {"program",     file,
                                     "--port",      product.DevicePath(),
                                     "--baud",      std::to_string(baud),
                                     "--interface", WiringChoiceFor(wiring).shortName,
                                     "--log",       log};
    for (const std::string& arg : extra)
        args.push_back(arg);
    return args;
}

CliResult RunProgram(const CSimTarget& product, SimWiring wiring, const std::string& file,
                     const std::string& log, const std::vector<std::string>& extra, int baud) {
    return RunCli(ProgramArguments(product, wiring, file, log, extra, baud), 300);
}

std::string PrintedBox(const std::string& caption, const std::string& icon,
                       const std::string& text) {
    // On a terminal every CR LF (and the one LF CR) of a box text is one line break.
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool pair = i + 1 < text.size() && ((text[i] == '\r' && text[i + 1] == '\n') ||
                                                  (text[i] == '\n' && text[i + 1] == '\r'));
        shown += pair || text[i] == '\r' ? '\n' : text[i];
        if (pair)
            ++i;
    }
    while (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    return "=== " + caption + " (" + icon + ") ===\n" + shown + "\n";
}

std::string PrintedStatus(const std::string& text) {
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r'))
        shown.pop_back();
    return ")  " + shown + "\n";
}

bool IsLogTime(const std::string& text) {
    static const std::regex kTime(R"(\d{4}-\d\d-\d\d \(\d\d:\d\d:\d\d\))");
    return std::regex_match(text, kTime);
}

std::vector<std::string> LogTexts(const std::string& log) {
    constexpr size_t kTimeLength = 21;
    const std::string arrow = " >> ";
    std::vector<std::string> texts;
    size_t at = 0;
    while (at < log.size()) {
        if (!IsLogTime(log.substr(at, kTimeLength)) ||
            log.compare(at + kTimeLength, arrow.size(), arrow) != 0) {
            ADD_FAILURE() << "entry " << texts.size() + 1 << " does not start with the time and "
                          << "\" >> \" at byte " << at << ": \"" << log.substr(at, 40) << "\"";
            return texts;
        }
        const size_t start = at + kTimeLength + arrow.size();
        // The text ends at the CR LF that is followed by the entry's closing blank and then the
        // next entry's time, or by the closing blank at the end of the file.
        size_t end = start;
        while (true) {
            end = log.find("\r\n ", end);
            if (end == std::string::npos) {
                ADD_FAILURE() << "entry " << texts.size() + 1 << " has no CR LF and blank: \""
                              << log.substr(start, 60) << "\"";
                return texts;
            }
            const size_t next = end + 3;
            if (next == log.size() || IsLogTime(log.substr(next, kTimeLength)))
                break;
            ++end;
        }
        texts.push_back(log.substr(start, end + 2 - start));
        at = end + 3;
    }
    return texts;
}

void ExpectNothingWritten(const CSimTarget& product, const std::map<uint32_t, uint8_t>& before) {
    const SimCounters counters = product.Counters();
    EXPECT_EQ(counters.rowFrames, 0);
    EXPECT_EQ(counters.finishes, 0);
    EXPECT_TRUE(product.HexImage() == before) << "the flash changed";
}

size_t Occurrences(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace tamrix::test
