// Ctrl-C (SIGINT) or SIGTERM in the middle of a download by the real tamrix-cli. The first signal
// stops the download between two rows, without the finish byte (which would start incomplete
// firmware); the program says on the terminal and in the process log that the product stays in its
// bootloader and that it must be powered off and on, releases the port and ends with its own exit
// status. That recovery is what the simulated product needs too: it does not answer the wake-up
// message from its bootloader, and after a power cycle the next download succeeds. A second
// signal ends the program at once, with the run report's line of the download written first.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "comm/SerialPort.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

bool LogHas(const std::vector<std::string>& texts, const std::string& start) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& text) { return text.rfind(start, 0) == 0; });
}

// A product whose rows take long enough to be caught in the middle of programming.
SimOptions SlowRowProduct() {
    SimOptions product = ProductOptions(kPic30Chip);
    product.pace = true;
    product.faults.rowDelayMs = 150;
    return product;
}

// True when a fresh opening gets the port, exclusively and with its lock, as a second download
// would.
bool PortOpensAtOnce(const CSimTarget& product) {
    CSerialPort port;
    const bool opened = port.OpenDevice(product.DevicePath(), 115200, 0) == 1;
    port.Close();
    return opened;
}

// Runs `args` with tamrix-cli and calls `interrupt` with its process id on a thread of its own
// once it runs; that thread is joined before the result is returned.
CliResult RunInterrupted(const std::vector<std::string>& args,
                         const std::function<void(int pid)>& interrupt) {
    std::thread interrupter;
    ChildOptions child;
    child.timeoutSeconds = 120;
    child.started = [&](int pid) { interrupter = std::thread(interrupt, pid); };
    CliResult result = RunChild(CliPath(), args, child);
    if (interrupter.joinable())
        interrupter.join();
    return result;
}

TEST(InterruptTest, OneSignalStopsBetweenRowsAndAPowerCycleLetsTheNextRunSucceed) {
    auto target = StartProduct(SlowRowProduct());
    ASSERT_TRUE(target);
    const auto before = target->HexImage();
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    const FirmwareBuilder firmware = PicApplication(kProductCode, kNewerAppVersion);
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    const std::string log = folder.File("ProcssLog.log");

    const CliResult stopped = RunInterrupted(
        ProgramArguments(*target, SimWiring::TwoWire, file, log, {"--yes"}), [&](int pid) {
            if (target->WaitFor([&] { return target->Counters().rowFrames >= 2; }, 60000))
                ::kill(pid, SIGINT);
        });
    ASSERT_FALSE(stopped.timedOut) << stopped.output;
    EXPECT_EQ(stopped.signal, 0);
    EXPECT_EQ(stopped.exitCode, cli::kExitInterrupted) << stopped.output;
    const std::string received =
        "[Notice] : SIGINT received: the download stops after the row or step in progress. "
        "SIGINT again ends tamrix-cli at once. \r\n";
    EXPECT_TRUE(Contains(stopped.output, PrintedStatus(received))) << stopped.output;
    EXPECT_TRUE(Contains(stopped.output, "[Notice] : Download stopped before address 0x"));
    EXPECT_TRUE(Contains(stopped.output,
                         "The product stays in its bootloader: run the download "
                         "again, it is found there without a wake-up."));
    EXPECT_TRUE(Contains(stopped.output, "Download stopped: stopped on request\n"));
    EXPECT_FALSE(Contains(stopped.output, "Successfully Done"));
    const std::vector<std::string> logged = LogTexts(ReadWholeFile(log));
    EXPECT_TRUE(LogHas(logged, received));
    EXPECT_TRUE(LogHas(logged, "[Notice] : Download stopped before address 0x"));
    EXPECT_FALSE(LogHas(logged, "Flash Program Success!"));

    // Between two rows, without the finish byte: part of the file written, the product in its
    // bootloader, the port free.
    ASSERT_TRUE(target->WaitUntilIdle(5000));
    EXPECT_TRUE(PortOpensAtOnce(*target));
    const SimCounters counters = target->Counters();
    EXPECT_EQ(counters.finishes, 0);
    EXPECT_EQ(counters.rowFrames, counters.rowsWritten) << "no row frame was cut off";
    EXPECT_GE(counters.rowsWritten, 2);
    EXPECT_EQ(target->State(), SimState::Bootloader);
    EXPECT_FALSE(VerifySimFlash(*target, ImageOf(firmware.HexText()), before).matches);

    // What the message asks for: power off and on, then the download again.
    target->PowerCycle();
    const CliResult again = RunProgram(*target, SimWiring::TwoWire, file, log, {"--yes"});
    EXPECT_EQ(again.exitCode, cli::kExitSuccess) << again.output;
    ASSERT_TRUE(target->WaitUntilIdle(5000));
    const SimVerifyResult flash = VerifySimFlash(*target, ImageOf(firmware.HexText()), before);
    EXPECT_TRUE(flash.matches) << flash.difference;
    EXPECT_EQ(target->Counters().finishes, 1);
    EXPECT_EQ(target->State(), SimState::Application);
}

TEST(InterruptTest, ASecondSignalEndsTheProgramAtOnceAndFreesThePort) {
    SimOptions product = SlowRowProduct();
    product.faults.silentAfterRows = 2;  // the third row waits for answers that never come
    auto target = StartProduct(product);
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteBin(file, kConversionSeed));
    const std::string log = folder.File("ProcssLog.log");
    const std::string report = folder.File("runs.jsonl");
    const std::string received = "[Notice] : SIGTERM received: the download stops";

    const CliResult ended = RunInterrupted(
        ProgramArguments(*target, SimWiring::TwoWire, file, log, {"--yes", "--report", report}),
        [&](int pid) {
            if (!target->WaitFor([&] { return target->Counters().rowFrames >= 3; }, 60000))
                return;
            ::kill(pid, SIGTERM);
            // The second once the first has been taken (it is logged then).
            for (int i = 0; i < 1000 && !Contains(ReadWholeFile(log), received); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::kill(pid, SIGTERM);
        });
    ASSERT_FALSE(ended.timedOut) << ended.output;
    EXPECT_EQ(ended.signal, 0);
    EXPECT_EQ(ended.exitCode, cli::kExitInterrupted) << ended.output;
    const std::string again =
        "[Notice] : SIGTERM received again: tamrix-cli ends at once, in the middle of the "
        "download. A product that was woken stays in its bootloader: run the download again "
        "(power the product off and on first if it is not found). \r\n";
    EXPECT_TRUE(Contains(ended.output, again.substr(0, again.size() - 2))) << ended.output;
    EXPECT_TRUE(LogHas(LogTexts(ReadWholeFile(log)), again));
    EXPECT_FALSE(Contains(ended.output, "Download stopped:")) << "not the end of a stop";
    EXPECT_TRUE(PortOpensAtOnce(*target));
    EXPECT_EQ(target->Counters().finishes, 0);

    const std::string lines = ReadWholeFile(report);
    ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    const nlohmann::json line = nlohmann::json::parse(lines);
    EXPECT_EQ(line["outcome"], "interrupted");
    EXPECT_EQ(line["exitStatus"], cli::kExitInterrupted);
    EXPECT_EQ(line["port"], target->DevicePath());
}

TEST(InterruptTest, ProgramHexStopsBetweenRowsToo) {
    auto target = StartProduct(SlowRowProduct());
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string file = folder.File("update.hex");
    ASSERT_TRUE(PicApplication(kProductCode, kNewerAppVersion).WriteHex(file));
    const std::vector<std::string> args = {"program-hex",        file,    "--port",
                                           target->DevicePath(), "--log", folder.File("log")};

    const CliResult stopped = RunInterrupted(args, [&](int pid) {
        if (target->WaitFor([&] { return target->Counters().rowFrames >= 2; }, 60000))
            ::kill(pid, SIGINT);
    });
    EXPECT_EQ(stopped.exitCode, cli::kExitInterrupted) << stopped.output;
    EXPECT_TRUE(Contains(stopped.output, "[Notice] : Download stopped before address 0x"));
    EXPECT_TRUE(Contains(stopped.output, "Programming stopped: SIGINT")) << stopped.output;
    ASSERT_TRUE(target->WaitUntilIdle(5000));
    EXPECT_EQ(target->Counters().finishes, 0);
    EXPECT_TRUE(PortOpensAtOnce(*target));
}

}  // namespace
}  // namespace tamrix::test
