#pragma once
// The fault soak: many downloads by the real tamrix-cli against paced simulated products that
// misbehave at random (refused, lost, garbled and late acknowledges, answers that take seconds as
// on a slow link, noise, silence, a product that vanishes between or inside rows, lost one-wire
// echoes), or that must refuse the file (one made for the other family, an older one with the
// downgrade declined), at rates from 1200 to 115200, on
// both wirings, for dsPIC30F (32-instruction rows), dsPIC33F (512-instruction rows) and S3F8
// products. Every run is planned from the soak's seed and its number alone, so any run can be
// repeated by itself, and is held to the same rules:
//
// - the program reports success (exit status 0, "Successfully Done") exactly when the simulated
//   flash, judged from the simulator's own memory, equals the file and the finish byte arrived;
// - a failure says what stopped the download, with an error line or box, and its exit status is
//   the one cli/ExitCodes.h gives that outcome;
// - the program ends by itself (no signal) within a watchdog time derived from its own time-outs;
// - at its end it holds no descriptor and runs no thread it did not have at its start, and the
//   port can be opened and locked again at once (checked inside the program, see LeakCheck.cpp).

#include <cstdint>
#include <string>
#include <vector>

#include "common/LinkChoices.h"
#include "sim/SimTypes.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix::test {

// Long: rates from 1200 to 115200 with most runs fast; short: fast rates and small images only,
// for the test suite.
enum class SoakProfile { Long, Short };

struct SoakPlan {
    uint32_t seed = 0;  // of the whole soak
    int index = 0;      // the run's number in it
    std::string chip;
    Wiring wiring = Wiring::TwoWire;
    int baud = 115200;
    FirmwareBuilder firmware;
    int rows = 0;            // rows the file fills (row frames of a run without retries)
    int frameBytes = 0;      // bytes of its longest row frame
    int readBlockBytes = 0;  // PIC: the reply to the read of the reset vector
    bool silentBootloader = false;
    bool verify = false;  // PIC: tamrix-cli --verify (and, in some runs, a row stored wrong)
    SimFaults faults;
    std::string faultText;  // the faults in words, for the report
    bool mustSucceed = false;
    bool mustFail = false;
    // The file is for the other family, or older than the product's firmware with the downgrade
    // declined (--no): the run must be refused (exit status 13) with nothing written.
    bool mustBeRefused = false;
    bool otherFamilyFile = false;
    bool downgrade = false;
    int watchdogSeconds = 0;

    // "dsPIC30F6014A, 9600 baud, one wire, 4 rows, verify"
    std::string Describe() const;
};

SoakPlan PlanSoakRun(uint32_t seed, int index, SoakProfile profile);

// The programs a run uses.
struct SoakPrograms {
    std::string cli;        // tamrix-cli
    std::string leakCheck;  // the library LD_PRELOAD loads into it (LeakCheck.cpp)
    std::string sim;        // tamrix-sim, named in the commands that repeat a run by hand
};

struct SoakRunResult {
    std::string outcome;  // "success", or what the program said stopped the download
    int exitCode = -1;
    int signal = 0;
    double seconds = 0;
    SimCounters counters;
    std::vector<std::string> problems;  // every rule the run broke; empty: none
    bool falseSuccess = false;          // success reported, but the flash does not hold the file
    bool falseFailure = false;          // failure reported, but the flash holds the file
    bool crashed = false;               // ended by a signal
    bool hung = false;                  // still running at the watchdog
    bool leaked = false;                // a descriptor, thread or port lock left at its end
    std::string output;                 // everything tamrix-cli printed
};

// Runs the plan. When the run breaks a rule and `keepFolder` is not empty, its firmware file,
// process log and output are kept there, with the commands that repeat it by hand. With a
// `reportPath`, tamrix-cli appends the run's line to that run report.
SoakRunResult ExecuteSoakRun(const SoakPlan& plan, const SoakPrograms& programs,
                             const std::string& keepFolder, const std::string& reportPath = {});

// The tamrix-sim and tamrix-cli command lines that play the run by hand, with the firmware file
// at `firmwarePath`.
std::vector<std::string> HandCommands(const SoakPlan& plan, const SoakPrograms& programs,
                                      const std::string& firmwarePath);

}  // namespace tamrix::test
