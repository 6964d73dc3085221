// "Successfully Done" must mean that the product holds the file, and leaves it running the new
// application. These runs drive the real
// tamrix-cli against paced simulated products that misbehave in every way the simulator offers,
// at 115200 and at slow rates, on both wirings, and hold every run to one rule: the exit status is
// 0 exactly when the flash, once the product has taken everything off the line, equals the file
// and the finish byte arrived. Runs are independent, so several go at once.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "comm/PortMap.h"
#include "image/FirmwareFile.h"
#include "sim/SimVerify.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// What must come of a run besides the rule.
enum class Expect { Either, Success, Failure };

struct Download {
    std::string label;
    SimOptions product;
    FirmwareBuilder firmware;
    int baud = 115200;
    Expect expect = Expect::Either;
};

struct Outcome {
    CliResult cli;
    SimVerifyResult flash;
    SimCounters counters;
    bool idle = false;
    bool backInApplication = false;  // the finish byte handed the product back to it
    SimVersions versions;            // what the product reports afterwards
    uint16_t firstConfigWord = 0;
    std::vector<std::string> log;  // the process log's texts
};

Outcome Execute(const Download& run) {
    Outcome outcome;
    SimOptions product = run.product;
    product.bootBaud = run.baud;
    product.pace = true;
    auto target = StartProduct(product);
    if (!target)
        return outcome;
    const auto before = target->HexImage();
    TempFolder folder;
    const std::string file = folder.File("update.bin");
    if (!run.firmware.WriteBin(file, kConversionSeed)) {
        ADD_FAILURE() << run.label << ": cannot write " << file;
        return outcome;
    }
    outcome.cli = RunProgram(*target, product.wiring, file, folder.File("ProcssLog.log"), {"--yes"},
                             run.baud);
    // The host may end while its last bytes are still on the line.
    outcome.idle = target->WaitUntilIdle(20000);
    outcome.flash = VerifySimFlash(*target, ImageOf(run.firmware.HexText()), before);
    outcome.counters = target->Counters();
    outcome.backInApplication = target->State() == SimState::Application;
    outcome.versions = target->Versions();
    outcome.firstConfigWord = target->ConfigWord(0);
    outcome.log = LogTexts(ReadWholeFile(folder.File("ProcssLog.log")));
    return outcome;
}

// Runs them all, `parallel` at a time.
std::vector<Outcome> ExecuteAll(const std::vector<Download>& runs, int parallel) {
    std::vector<Outcome> outcomes(runs.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < parallel; ++w) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < runs.size(); i = next++)
                outcomes[i] = Execute(runs[i]);
        });
    }
    for (auto& worker : workers)
        worker.join();
    return outcomes;
}

int CountOf(const std::vector<std::string>& texts, const std::string& text) {
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

// Besides the flash: the product runs its application again, the log tells the run once, and a
// PIC was read and checked (a SAM has no version to compare) and now runs the new version with
// its configuration never sent.
void ExpectWhatASuccessfulRunLeaves(const Download& run, const Outcome& outcome) {
    EXPECT_TRUE(outcome.backInApplication);
    EXPECT_GT(outcome.flash.compared, 0);
    EXPECT_EQ(CountOf(outcome.log, "[Message] : Successfully Done !!\r\n"), 1);
    EXPECT_EQ(CountOf(outcome.log, "Flash Program Success! \r\n"), 1);
    if (run.product.chip == kSamChip) {
        EXPECT_EQ(outcome.counters.versionRequests, 0);
        EXPECT_EQ(outcome.counters.addressRequests, 0);
        EXPECT_EQ(outcome.counters.flashReads, 0);
        EXPECT_EQ(CountOf(outcome.log, "[Message] : Application Firmware Download \r\n"), 0);
        return;
    }
    EXPECT_EQ(CountOf(outcome.log, "[Message] : Application Firmware Download \r\n"), 1);
    EXPECT_EQ(CountOf(outcome.log,
                      "[Message] : Target Version Info (P Code:12345, App Ver:1.0, Boot "
                      "Ver:1.5)\r\n"),
              1);
    EXPECT_EQ(CountOf(outcome.log,
                      "[Message] : File Info Read From Hex File (P Code:12345, APP "
                      "Version : 1.1, Version Flag : 1)  \r\n"),
              1);
    EXPECT_EQ(outcome.versions.appVersion, kNewerAppVersion);
    EXPECT_EQ(outcome.firstConfigWord, 0xFFFF);
}

void ExpectSuccessMeansTheFlashHoldsTheFile(const Download& run, const Outcome& outcome) {
    SCOPED_TRACE(run.label);
    ASSERT_FALSE(outcome.cli.timedOut) << outcome.cli.output;
    EXPECT_TRUE(outcome.idle);
    const bool success = outcome.cli.exitCode == cli::kExitSuccess;
    const bool holds = outcome.flash.matches && outcome.counters.finishes >= 1;
    EXPECT_EQ(success, holds) << "flash: " << outcome.flash.difference << "\n"
                              << outcome.cli.output;
    EXPECT_EQ(success, Contains(outcome.cli.output, "Successfully Done")) << outcome.cli.output;
    if (!success) {
        // A failure says what stopped, and ends with a failure's status.
        EXPECT_TRUE(Contains(outcome.cli.output, "Download stopped:")) << outcome.cli.output;
        EXPECT_GE(outcome.cli.exitCode, cli::kExitPort) << outcome.cli.output;
    }
    if (run.expect == Expect::Success) {
        EXPECT_TRUE(success) << outcome.cli.output;
    }
    if (run.expect == Expect::Failure) {
        EXPECT_FALSE(success) << outcome.cli.output;
    }
    if (success)
        ExpectWhatASuccessfulRunLeaves(run, outcome);
}

struct Fault {
    const char* name;
    std::function<void(SimFaults&)> set;
    Expect expect;
};

std::function<void(SimFaults&)> SlowAndRefused(uint32_t seed) {
    return [seed](SimFaults& f) {
        f.rowDelayMs = 600;
        f.nackShare = 0.3;
        f.seed = seed;
    };
}

// Every fault the simulated bootloader can show while rows are written. Late, lost and garbled
// acknowledges only cost retries; refused rows may end a run either way; a vanished product
// always ends it.
std::vector<Fault> Faults() {
    return {
        {"no fault", [](SimFaults&) {}, Expect::Success},
        {"NACK share 0.3", [](SimFaults& f) { f.nackShare = 0.3; }, Expect::Either},
        {"NACK share 0.5, seed 7",
         [](SimFaults& f) {
             f.nackShare = 0.5;
             f.seed = 7;
         },
         Expect::Either},
        {"rows take 450 ms", [](SimFaults& f) { f.rowDelayMs = 450; }, Expect::Success},
        {"rows take 600 ms", [](SimFaults& f) { f.rowDelayMs = 600; }, Expect::Success},
        // Slow rows and refused rows together: answers that come after their wait.
        {"rows take 600 ms, NACK share 0.3, seed 1", SlowAndRefused(1), Expect::Either},
        {"rows take 600 ms, NACK share 0.3, seed 4", SlowAndRefused(4), Expect::Either},
        {"rows take 600 ms, NACK share 0.3, seed 5", SlowAndRefused(5), Expect::Either},
        {"two acknowledges lost", [](SimFaults& f) { f.dropAcks = 2; }, Expect::Success},
        {"two acknowledges garbled", [](SimFaults& f) { f.garbageAcks = 2; }, Expect::Success},
        {"hang-up after two rows", [](SimFaults& f) { f.hangUpAfterRows = 2; }, Expect::Failure},
    };
}

FirmwareBuilder ApplicationFor(const std::string& chip) {
    if (chip == kSamChip)
        return SamApplication();
    return PicApplication(kProductCode, kNewerAppVersion, 0, chip == kPic30Chip);
}

void RunFaultMatrix(const std::string& chip) {
    std::vector<Download> runs;
    int n = 0;
    for (int baud : {115200, 19200}) {
        for (const Fault& fault : Faults()) {
            // Both wirings, taking turns.
            const SimWiring wiring = n++ % 2 ? SimWiring::OneWireEcho : SimWiring::TwoWire;
            Download run;
            run.label = chip + ", " + std::to_string(baud) + " baud, " +
                        (wiring == SimWiring::TwoWire ? "two wires, " : "one wire, ") + fault.name;
            run.product = ProductOptions(chip, wiring);
            fault.set(run.product.faults);
            run.firmware = ApplicationFor(chip);
            run.baud = baud;
            run.expect = fault.expect;
            runs.push_back(std::move(run));
        }
    }
    const std::vector<Outcome> outcomes = ExecuteAll(runs, 6);
    for (size_t i = 0; i < runs.size(); ++i)
        ExpectSuccessMeansTheFlashHoldsTheFile(runs[i], outcomes[i]);
}

TEST(SuccessMeansFlashTest, UnderFaultsDsPic30F) {
    RunFaultMatrix(kPic30Chip);
}

TEST(SuccessMeansFlashTest, UnderFaultsDsPic33F) {
    RunFaultMatrix(kPic33Chip);
}

TEST(SuccessMeansFlashTest, UnderFaultsS3F8) {
    RunFaultMatrix(kSamChip);
}

// At slow rates the host must wait for its bytes to be on the other side and for the replies to
// come over the wire: every step succeeds at its first attempt and every row is written once.
TEST(SuccessMeansFlashTest, SlowRatesWriteEveryRowOnce) {
    FirmwareBuilder smallPic;  // the reset vector's row and the identity's row
    smallPic.Instruction(0x0000, 0x040200).Instruction(0x0002, 0x000000);
    smallPic.Instruction(0x0200, 0x123456);
    smallPic.Identity(kProductCode, kNewerAppVersion);

    std::vector<Download> runs;
    for (const char* chip : {kPic33Chip, "PIC24FJ64GA006"}) {
        for (int baud : {19200, 9600, 1200}) {
            Download run;
            run.label = std::string(chip) + " at " + std::to_string(baud);
            run.product = ProductOptions(chip);
            run.firmware = smallPic;
            run.baud = baud;
            run.expect = Expect::Success;
            runs.push_back(run);
        }
    }
    Download sam;
    sam.label = "S3F8 at 1200, one wire";
    sam.product = ProductOptions(kSamChip, SimWiring::OneWireEcho);
    sam.firmware = SamApplication();
    sam.baud = 1200;
    sam.expect = Expect::Success;
    runs.push_back(sam);

    const std::vector<Outcome> outcomes = ExecuteAll(runs, static_cast<int>(runs.size()));
    for (size_t i = 0; i < runs.size(); ++i) {
        ExpectSuccessMeansTheFlashHoldsTheFile(runs[i], outcomes[i]);
        SCOPED_TRACE(runs[i].label);
        const SimCounters& c = outcomes[i].counters;
        EXPECT_GT(c.rowFrames, 0);
        EXPECT_EQ(c.rowFrames, c.rowsAcked);
        EXPECT_EQ(c.rowFrames, c.rowsWritten);
        EXPECT_EQ(c.rowsNacked, 0);
        EXPECT_EQ(c.identifications, 1);
        EXPECT_FALSE(Contains(outcomes[i].cli.output, "Retry")) << outcomes[i].cli.output;
        if (runs[i].product.chip != kSamChip) {
            EXPECT_EQ(c.flashReads, 1);
            EXPECT_EQ(c.versionRequests, 1);
        }
    }
}

// On the one-wire line a lost echo once left the rest of a frame's echo to be read as its answer:
// an echoed 0x01 passed for the acknowledge of a row the product had refused, and the download
// ended "Successfully Done" without that row. Here the product loses the echo of the first
// frame's address byte and refuses that frame, whose last data bytes are 0x01 0x55.
TEST(SuccessMeansFlashTest, AnEchoOfTheFrameNeverPassesForItsAcknowledge) {
    Download run;
    run.label = "S3F8, one wire, lost echo in a refused frame";
    run.product = ProductOptions(kSamChip, SimWiring::OneWireEcho);
    run.product.faults.nackRows = 1;
    run.product.faults.echoLossShare = 0.3;
    run.product.faults.seed = 14817;
    {
        // The seed's first draws: the first frame (3 + 128 bytes) loses the echo of its byte 1,
        // and the next frames lose none.
        CSimFaultPolicy policy(run.product.faults);
        ASSERT_EQ(policy.EchoLossAt(131), 1);
        ASSERT_EQ(policy.EchoLossAt(131), -1);
    }
    for (uint32_t address = 0; address < 256; ++address)
        run.firmware.Byte(address, static_cast<uint8_t>(0x20 + address % 0x50));
    run.firmware.Byte(126, 0x01).Byte(127, 0x55);
    run.expect = Expect::Success;
    const Outcome outcome = Execute(run);
    ExpectSuccessMeansTheFlashHoldsTheFile(run, outcome);
    EXPECT_EQ(outcome.counters.rowsNacked, 1);
    EXPECT_GE(outcome.counters.echoesLost, 1);
}

// A second program started a moment after the first finds the port taken for the whole download,
// also while the first has it closed between its openings; the first is not disturbed.
TEST(SuccessMeansFlashTest, ASecondProgramOnTheSamePortGetsPortOpenFail) {
    auto target = StartProduct(ProductOptions(kPic33Chip));
    ASSERT_TRUE(target);
    const auto before = target->HexImage();
    TempFolder folder;
    const FirmwareBuilder firmware = ApplicationFor(kPic33Chip);
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(firmware.WriteBin(file, kConversionSeed));
    const auto programArgs = [&](const std::string& log) {
        return std::vector<std::string>{"program", file, "--port", target->DevicePath(),
                                        "--log",   log,  "--yes"};
    };

    CliResult first;
    std::thread firstRun([&] { first = RunCli(programArgs(folder.File("first.log"))); });
    // Into the first one's wake-up, when it has the port closed between two openings, and later.
    std::vector<CliResult> others;
    for (int delayMs : {150, 350, 700}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        others.push_back(RunCli(programArgs(folder.File("second.log")), 60));
    }
    firstRun.join();

    EXPECT_EQ(first.exitCode, cli::kExitSuccess) << first.output;
    for (const CliResult& other : others) {
        EXPECT_EQ(other.exitCode, cli::kExitPort) << other.output;
        EXPECT_TRUE(Contains(other.output, "Port Open Fail")) << other.output;
        EXPECT_FALSE(Contains(other.output, "Waiting for Hardware")) << other.output;
    }
    ASSERT_TRUE(target->WaitUntilIdle(5000));
    const SimVerifyResult flash = VerifySimFlash(*target, ImageOf(firmware.HexText()), before);
    EXPECT_TRUE(flash.matches) << flash.difference;
    EXPECT_EQ(target->Counters().wakeUps, 1);
}

// The process log names the port by its COM number also when it was given as a device.
TEST(SuccessMeansFlashTest, APortGivenAsADeviceIsLoggedWithItsComNumber) {
    auto target = StartProduct(ProductOptions(kPic33Chip));
    ASSERT_TRUE(target);
    TempFolder folder;
    const std::string map = folder.File("ports");
    {
        std::ofstream out(map);
        out << "COM9 = " << target->DevicePath() << "\n";
    }
    ::setenv(kPortMapEnvironment, map.c_str(), 1);
    const std::string file = folder.File("update.bin");
    ASSERT_TRUE(ApplicationFor(kPic33Chip).WriteBin(file, kConversionSeed));
    const CliResult run = RunProgram(*target, SimWiring::TwoWire, file, folder.File("log"));
    ::unsetenv(kPortMapEnvironment);
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    const std::vector<std::string> log = LogTexts(ReadWholeFile(folder.File("log")));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1], "Download Info. Port : 9, BaudRate : 115200, SignalType : 0  \r\n");
}

}  // namespace
}  // namespace tamrix::test
