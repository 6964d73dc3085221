#pragma once
// What the end-to-end download tests share: simulated products with a known identity, firmware
// images that look like what a compiler writes, `tamrix-cli program` against a product, and the
// ways the tests read what a run left behind (printed message boxes, the process log, the flash).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimTarget.h"
#include "tests/support/CliRunner.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix::test {

// The identity every simulated product starts with, unless a test says otherwise.
inline constexpr uint16_t kProductCode = 12345;
inline constexpr uint16_t kTargetAppVersion = 1000;             // 1.0
inline constexpr uint16_t kTargetBootVersion = 1500;            // 1.5
inline constexpr uint16_t kNewerAppVersion = 1100;              // what an update brings
inline constexpr const char* kPic30Chip = "dsPIC30F6014A";      // 32-instruction rows, EEPROM
inline constexpr const char* kPic33Chip = "dsPIC33FJ256GP710";  // 512-instruction rows
inline constexpr const char* kSamChip = "S3F84ZB";

SimOptions ProductOptions(const std::string& chip, SimWiring wiring = SimWiring::TwoWire);
// The same, two-wire and paced: bytes take their wire time both ways, as on a real line.
SimOptions PacedProductOptions(const std::string& chip);

// A started product, or null after a test failure naming why it did not start.
std::unique_ptr<CSimTarget> StartProduct(const SimOptions& options);

// A PIC application: reset vector, code in several stretches (some crossing rows), the identity
// at 0x0C00/0x0C02, EEPROM words when `withEeprom`, and one configuration word.
FirmwareBuilder PicApplication(uint16_t productCode, uint16_t appVersion, uint8_t versionUpper = 0,
                               bool withEeprom = true);
// A SAM application: program bytes in several stretches, EEPROM bytes and the four fuse bytes.
FirmwareBuilder SamApplication();

// The byte image of Intel HEX text (fails the test when the text does not parse).
std::map<uint32_t, uint8_t> ImageOf(const std::string& hexText);

// `tamrix-cli program FILE --port <product> --baud BAUD --interface usb|signal --log LOG`
// followed by `extra` (--yes, --no, --seed N); the interface follows the product's wiring.
CliResult RunProgram(const CSimTarget& product, SimWiring wiring, const std::string& file,
                     const std::string& log, const std::vector<std::string>& extra = {},
                     int baud = 115200);
// The arguments of that command, for a run with options of its own (RunChild).
std::vector<std::string> ProgramArguments(const CSimTarget& product, SimWiring wiring,
                                          const std::string& file, const std::string& log,
                                          const std::vector<std::string>& extra = {},
                                          int baud = 115200);

// A message box as tamrix-cli prints it: caption and icon, then the text with its line breaks.
std::string PrintedBox(const std::string& caption, const std::string& icon,
                       const std::string& text);

// A status line as tamrix-cli prints it in its numbered list (the text without its line end).
std::string PrintedStatus(const std::string& text);

// The texts of the process log's entries "<time> >> <text> ", in order. Fails the test (and stops
// reading) where the file does not follow that form; every text must end with CR LF.
std::vector<std::string> LogTexts(const std::string& log);

// How often `needle` stands in `haystack` (overlapping places counted).
size_t Occurrences(const std::string& haystack, const std::string& needle);

// True when `text` is "YYYY-MM-DD (hh:mm:ss)".
bool IsLogTime(const std::string& text);

// Nothing reached the product's flash: no row frame arrived and the flash is as it was.
void ExpectNothingWritten(const CSimTarget& product, const std::map<uint32_t, uint8_t>& before);

}  // namespace tamrix::test
