// Several products at once and one after another, through tamrix-cli: one download per port at the
// same time, each product ending with the file; a port's lines and log entries carry its name and
// are never broken up by another's; the exit status is 0 only when every product succeeded; and
// --repeat serves one product after another on a port until it is stopped.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

std::vector<std::string> ProgramOnPorts(const std::string& file, const std::string& log,
                                        const std::vector<std::string>& ports,
                                        const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"program", file, "--log", log, "--yes"};
    for (const std::string& port : ports) {
        args.push_back("--port");
        args.push_back(port);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(SeveralProductsTest, FourProductsProgrammedAtOnceEachHoldTheFile) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    const std::string log = folder.File("ProcssLog.log");

    std::vector<std::unique_ptr<CSimTarget>> products;
    std::vector<std::string> ports;
    for (const char* chip : {kPic33Chip, kPic30Chip, kPic33Chip, kPic30Chip}) {
        products.push_back(StartProduct(PacedProductOptions(chip)));
        ASSERT_TRUE(products.back());
        ports.push_back(products.back()->DevicePath());
    }
    std::vector<std::map<uint32_t, uint8_t>> before;
    for (const auto& product : products)
        before.push_back(product->HexImage());

    const CliResult run = RunCli(ProgramOnPorts(file, log, ports, {}), 300);
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    for (size_t i = 0; i < products.size(); ++i) {
        ASSERT_TRUE(products[i]->WaitUntilIdle(10000));
        const SimVerifyResult flash =
            VerifySimFlash(*products[i], ImageOf(firmware.HexText()), before[i]);
        EXPECT_TRUE(flash.matches) << ports[i] << ": " << flash.difference;
        EXPECT_EQ(products[i]->Counters().finishes, 1);
        // Every line of the port's list carries its name, whole.
        EXPECT_TRUE(Contains(run.output, ports[i] + ":  12  "));
        EXPECT_TRUE(Contains(run.output, ports[i] + ": Link: "));
    }
    EXPECT_TRUE(Contains(run.output, "4 downloads: 4 succeeded, 0 failed\n")) << run.output;

    // One log file; each entry whole (LogTexts fails on anything else) and naming its port.
    const std::vector<std::string> texts = LogTexts(ReadWholeFile(log));
    int done = 0;
    for (const std::string& text : texts) {
        const bool named = std::any_of(ports.begin(), ports.end(), [&](const std::string& port) {
            return text.rfind("[" + port + "] ", 0) == 0;
        });
        EXPECT_TRUE(named) << text;
        done += Contains(text, "] [Message] : Successfully Done !!\r\n") ? 1 : 0;
    }
    EXPECT_EQ(done, 4);
}

TEST(SeveralProductsTest, OneFailedProductMakesTheWholeRunFail) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    auto good = StartProduct(PacedProductOptions(kPic33Chip));
    SimOptions refusing = PacedProductOptions(kPic33Chip);
    refusing.faults.nackRows = -1;
    auto bad = StartProduct(refusing);
    ASSERT_TRUE(good && bad);
    const auto before = good->HexImage();

    const CliResult run = RunCli(ProgramOnPorts(file, folder.File("ProcssLog.log"),
                                                {bad->DevicePath(), good->DevicePath()}, {}),
                                 300);
    EXPECT_EQ(run.exitCode, cli::kExitProgramming) << run.output;
    ASSERT_TRUE(good->WaitUntilIdle(10000));
    EXPECT_TRUE(VerifySimFlash(*good, ImageOf(firmware.HexText()), before).matches);
    EXPECT_TRUE(Contains(run.output, bad->DevicePath() + ": Download stopped: programming failed"));
    EXPECT_TRUE(Contains(run.output, "2 downloads: 1 succeeded, 1 failed\n")) << run.output;
}

TEST(SeveralProductsTest, RepeatServesThreeProductsInARowUntilStopped) {
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    // The port comes and goes with the product, as a product's built-in USB port does.
    const std::string port = folder.File("product");
    constexpr int kProducts = 3;

    std::vector<SimVerifyResult> flashes;
    std::thread bench;
    ChildOptions child;
    child.timeoutSeconds = 300;
    child.started = [&](int pid) {
        bench = std::thread([&, pid] {
            for (int i = 0; i < kProducts; ++i) {
                SimOptions options = PacedProductOptions(i == 1 ? kPic30Chip : kPic33Chip);
                options.linkPath = port;
                auto product = StartProduct(options);
                if (!product)
                    break;
                const auto before = product->HexImage();
                const bool served =
                    product->WaitFor([&] { return product->Counters().finishes == 1; }, 60000);
                EXPECT_TRUE(served) << "product " << i;
                product->WaitUntilIdle(10000);
                flashes.push_back(VerifySimFlash(*product, ImageOf(firmware.HexText()), before));
                product->Stop();
                // The time a technician takes to change products: the program looks at the port
                // twice a second.
                std::this_thread::sleep_for(std::chrono::milliseconds(2000));
                if (!served)
                    break;
            }
            ::kill(pid, SIGTERM);
        });
    };
    const CliResult run =
        RunChild(CliPath(),
                 ProgramOnPorts(file, folder.File("ProcssLog.log"), {port},
                                {"--repeat", "--report", folder.File("runs.jsonl")}),
                 child);
    if (bench.joinable())
        bench.join();

    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    ASSERT_EQ(flashes.size(), static_cast<size_t>(kProducts)) << run.output;
    for (const SimVerifyResult& flash : flashes)
        EXPECT_TRUE(flash.matches) << flash.difference;
    EXPECT_TRUE(Contains(run.output, "Served 3: 3 succeeded, 0 failed.")) << run.output;
    EXPECT_TRUE(Contains(run.output, "3 downloads: 3 succeeded, 0 failed (until interrupted)\n"));
    EXPECT_EQ(Occurrences(ReadWholeFile(folder.File("runs.jsonl")), "\"outcome\":\"success\""), 3u);
}

}  // namespace
}  // namespace tamrix::test
