// --port auto through tamrix-cli, with three ports in the port map: the one product among them is
// found and programmed while a product that never answers is left alone; with no product to be
// had every port is named with what came of it; two products are refused before anything is
// written.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "comm/PortLease.h"
#include "comm/PortMap.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

enum class Port { Product, Mute, Held, PlainFile, Missing };

struct AutoCase {
    const char* name;
    Port ports[3];            // COM7, COM8, COM9
    const char* outcomes[3];  // what the search says of each
    int exitCode;
};

void PrintTo(const AutoCase& c, std::ostream* out) {
    *out << c.name;
}

// The line the search printed for port `number`, "" when none.
std::string PortLine(const std::string& output, int number) {
    std::istringstream lines(output);
    const std::string start = "  COM" + std::to_string(number) + " ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(start, 0) == 0)
            return line;
    }
    return std::string();
}

class PortAutoTest : public testing::TestWithParam<AutoCase> {};

TEST_P(PortAutoTest, UsesTheOneProductThatAnswers) {
    const AutoCase& c = GetParam();
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));

    std::vector<std::unique_ptr<CSimTarget>> products(3);
    std::vector<std::map<uint32_t, uint8_t>> before(3);
    CPortLease held;  // another program's hold on its port
    std::string map;
    for (int i = 0; i < 3; ++i) {
        std::string device = folder.File("missing" + std::to_string(i));
        if (c.ports[i] == Port::PlainFile) {
            device = file + ".copy";
            std::ofstream(device) << "not a port\n";
        } else if (c.ports[i] != Port::Missing) {
            SimOptions options = ProductOptions(kPic30Chip);
            options.faults.silent = c.ports[i] == Port::Mute;
            products[i] = StartProduct(options);
            ASSERT_TRUE(products[i]);
            before[i] = products[i]->HexImage();
            device = products[i]->DevicePath();
            if (c.ports[i] == Port::Held) {
                ASSERT_TRUE(held.Acquire(device));
            }
        }
        map += "COM" + std::to_string(7 + i) + " = " + device + "\n";
    }
    std::ofstream(folder.File("ports")) << map;

    ChildOptions child;
    child.timeoutSeconds = 120;
    child.environment = {std::string(kPortMapEnvironment) + "=" + folder.File("ports")};
    const CliResult run =
        RunChild(CliPath(),
                 {"program", file, "--port", "auto", "--yes", "--log", folder.File("log")}, child);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(PortLine(run.output, 7 + i).find(c.outcomes[i]), std::string::npos)
            << "COM" << 7 + i << ":\n"
            << run.output;
        if (!products[i])
            continue;
        ASSERT_TRUE(products[i]->WaitUntilIdle(10000));
        if (c.exitCode == cli::kExitSuccess && c.ports[i] == Port::Product) {
            EXPECT_NE(run.output.find("Found the product on COM" + std::to_string(7 + i)),
                      std::string::npos);
            EXPECT_TRUE(
                VerifySimFlash(*products[i], ImageOf(firmware.HexText()), before[i]).matches);
        } else {
            ExpectNothingWritten(*products[i], before[i]);
        }
        // A port another program holds is not even opened.
        if (c.ports[i] == Port::Held) {
            EXPECT_EQ(products[i]->Counters().wakeUps, 0);
        }
    }
}

constexpr const char* kFound = "dsPIC30F6014A (ID 0x02c3, PI 1, family 1, PIC bootloader)";

INSTANTIATE_TEST_SUITE_P(
    Benches, PortAutoTest,
    testing::Values(AutoCase{"OneProductAmongThree",
                             {Port::Product, Port::Mute, Port::Missing},
                             {kFound, "no answer", "not present"},
                             cli::kExitSuccess},
                    AutoCase{"NoneAnswers",
                             {Port::Held, Port::PlainFile, Port::Missing},
                             {"busy: in use by another program",
                              "could not be opened: not a serial port this program can use",
                              "not present"},
                             cli::kExitHandshake},
                    AutoCase{"TwoProductsAreRefused",
                             {Port::Product, Port::Product, Port::Missing},
                             {kFound, kFound, "not present"},
                             cli::kExitUsage}),
    [](const testing::TestParamInfo<AutoCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamrix::test
