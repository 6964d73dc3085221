#pragma once
// One simulated product on its pseudo-terminal and tamrix-cli run against it as a technician
// would: the real front end, the real serial port code, the product's flash inspected afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimTarget.h"
#include "tests/support/CliRunner.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix::test {

// The --interface value for a wiring.
const char* InterfaceName(SimWiring wiring);
const char* WiringName(SimWiring wiring);

class SimBench {
  public:
    // The product always keeps a trace of the line, so that tests can look at what the host sent.
    explicit SimBench(SimOptions options);
    ~SimBench();
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // Starts the product; the reason is in `error` when it cannot.
    bool Start(std::string* error);

    CSimTarget& Target() { return *target_; }
    const TempFolder& Folder() const { return folder_; }
    std::string LogPath() const { return folder_.File("process.log"); }
    std::string Log() const { return ReadWholeFile(LogPath()); }

    // From the moment `ackedRows` row frames have been acknowledged, the product misbehaves as
    // `faults` says: the next row frame the host sends is the first to meet them.
    void SetFaultsAfterAckedRows(int ackedRows, const SimFaults& faults);

    // tamrix-cli detect / program-hex on the product's port with the wiring it has.
    CliResult Detect(int baud = 115200);
    CliResult ProgramHex(const std::string& hexPath, int baud = 115200);
    // Any command with the link options of this product appended.
    CliResult Run(std::vector<std::string> args, int baud);

    // The bytes the product took in from the host, in order (no echo, no noise).
    std::vector<uint8_t> HostBytes() const;

    // Returns once the product has taken nothing in for a while: what the host sent last has
    // arrived. Run does this after every command.
    void WaitUntilQuiet();

  private:
    void OnTrace(const SimTraceEntry& entry);

    SimWiring wiring_;
    TempFolder folder_;
    std::unique_ptr<CSimTarget> target_;

    std::mutex armMutex_;
    bool armed_ = false;
    int armAfterAcks_ = 0;
    SimFaults armedFaults_;
};

// Whether the output holds the status line `text` (without its "\r\n") as a whole line.
bool HasStatusLine(const std::string& output, const std::string& text);
// Position of that status line in the output, or npos.
size_t StatusLinePosition(const std::string& output, const std::string& text);
// Number of whole status lines equal to `text`.
int CountStatusLines(const std::string& output, const std::string& text);

// The bytes of the wake-up message the running product answers.
std::vector<uint8_t> WakeUpBytes();

// The frames a host sent after the handshake: the trace's host bytes split after the wake-up
// message, the answer to the start signal and the identification requests. Each frame starts with
// its command byte. `frameLength` gives the length of a frame from its command byte (0: unknown,
// the rest is returned as one frame).
using FrameLengthFn = std::function<size_t(uint8_t command)>;
std::vector<std::vector<uint8_t>> FramesAfterHandshake(const std::vector<uint8_t>& hostBytes,
                                                       const FrameLengthFn& frameLength);

// Exit status and output of a run, for the message of a failed expectation.
std::string DescribeResult(const CliResult& result);

// Expects a run that stopped at the row with base address `rowBase`: programming exit status,
// that row's failure line, no "Successfully Done" and no finish byte at the product.
void ExpectStoppedAtRow(const CliResult& result, SimBench& bench, uint32_t rowBase);

}  // namespace tamrix::test
