#include "tests/e2e_program/SimBench.h"

#include "cli/ExitCodes.h"
#include "common/Format.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tamrix::test {

const char* InterfaceName(SimWiring wiring) {
    return wiring == SimWiring::OneWireEcho ? "signal" : "usb";
}

const char* WiringName(SimWiring wiring) {
    return wiring == SimWiring::OneWireEcho ? "OneWire" : "TwoWire";
}

SimBench::SimBench(SimOptions options) : wiring_(options.wiring) {
    options.keepTrace = true;
    options.onTrace = [this](const SimTraceEntry& entry) { OnTrace(entry); };
    target_ = std::make_unique<CSimTarget>(std::move(options));
}

SimBench::~SimBench() {
    // The product's thread calls back into this object: stop it before anything goes.
    target_->Stop();
}

bool SimBench::Start(std::string* error) {
    return target_->Start(error);
}

void SimBench::SetFaultsAfterAckedRows(int ackedRows, const SimFaults& faults) {
    std::lock_guard<std::mutex> lock(armMutex_);
    armed_ = true;
    armAfterAcks_ = ackedRows;
    armedFaults_ = faults;
}

void SimBench::OnTrace(const SimTraceEntry& entry) {
    // Runs on the product's thread after the bytes of one step have gone out, before it reads
    // the host's next bytes: an acknowledge seen here is one the host has not answered yet.
    if (entry.direction != SimTraceDirection::TargetToHost)
        return;
    std::lock_guard<std::mutex> lock(armMutex_);
    if (!armed_ || target_->Counters().rowsAcked < armAfterAcks_)
        return;
    armed_ = false;
    target_->SetFaults(armedFaults_);
}

CliResult SimBench::Run(std::vector<std::string> args, int baud) {
    const std::vector<std::string> link = {
        "--port",      target_->DevicePath(),  "--baud", std::to_string(baud),
        "--interface", InterfaceName(wiring_), "--log",  LogPath()};
    args.insert(args.end(), link.begin(), link.end());
    // A download of the largest image takes a few seconds; a hang must not block the suite.
    CliResult result = RunCli(args, 90);
    WaitUntilQuiet();
    return result;
}

void SimBench::WaitUntilQuiet() {
    // The program may end the moment its last bytes (the finish command, say) are in the
    // terminal; the product takes them in a little later. Only then do its counters and trace
    // tell the whole story.
    target_->WaitUntilIdle(5000);
}

CliResult SimBench::Detect(int baud) {
    return Run({"detect"}, baud);
}

CliResult SimBench::ProgramHex(const std::string& hexPath, int baud) {
    return Run({"program-hex", hexPath}, baud);
}

std::vector<uint8_t> SimBench::HostBytes() const {
    std::vector<uint8_t> bytes;
    for (const SimTraceEntry& entry : target_->Trace()) {
        if (entry.direction == SimTraceDirection::HostToTarget)
            bytes.push_back(entry.byte);
    }
    return bytes;
}

size_t StatusLinePosition(const std::string& output, const std::string& text) {
    // tamrix-cli prints a status line as "<number>  <time>  <text>" on a line of its own.
    const std::string line = "  " + text + "\n";
    return output.find(line);
}

bool HasStatusLine(const std::string& output, const std::string& text) {
    return StatusLinePosition(output, text) != std::string::npos;
}

int CountStatusLines(const std::string& output, const std::string& text) {
    const std::string line = "  " + text + "\n";
    int count = 0;
    for (size_t at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<uint8_t> WakeUpBytes() {
    return {0x0C, 0x38, 0x46, 0x30, 0x30, 0x30, 0x30, 0x44, 0x45, 0x0D};
}

std::vector<std::vector<uint8_t>> FramesAfterHandshake(const std::vector<uint8_t>& hostBytes,
                                                       const FrameLengthFn& frameLength) {
    std::vector<uint8_t> prefix = WakeUpBytes();
    prefix.push_back(0x0A);
    prefix.push_back(0x09);
    std::vector<std::vector<uint8_t>> frames;
    if (hostBytes.size() < prefix.size() ||
        !std::equal(prefix.begin(), prefix.end(), hostBytes.begin())) {
        return frames;
    }
    size_t at = prefix.size();
    // A product slow to identify itself gets the request again.
    while (at < hostBytes.size() && hostBytes[at] == 0x09)
        ++at;
    while (at < hostBytes.size()) {
        size_t length = frameLength(hostBytes[at]);
        if (length == 0 || at + length > hostBytes.size())
            length = hostBytes.size() - at;
        frames.emplace_back(hostBytes.begin() + static_cast<std::ptrdiff_t>(at),
                            hostBytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return frames;
}

std::string DescribeResult(const CliResult& result) {
    return "exit " + std::to_string(result.exitCode) + (result.timedOut ? " (killed)" : "") +
           ", output:\n" + result.output;
}

void ExpectStoppedAtRow(const CliResult& result, SimBench& bench, uint32_t rowBase) {
    EXPECT_FALSE(result.timedOut) << DescribeResult(result);
    EXPECT_EQ(result.exitCode, cli::kExitProgramming) << DescribeResult(result);
    const std::string failLine = Format("[Error] : Address 0x%x Flash Programing Fail!!", rowBase);
    EXPECT_TRUE(HasStatusLine(result.output, failLine)) << result.output;
    EXPECT_EQ(result.output.find("Successfully Done"), std::string::npos) << result.output;
    EXPECT_EQ(bench.Target().Counters().finishes, 0);
}

}  // namespace tamrix::test
