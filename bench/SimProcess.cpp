#include "bench/SimProcess.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#ifndef TAMRIX_CLI_PATH
#error "TAMRIX_CLI_PATH must name the tamrix-cli executable"
#endif
#ifndef TAMRIX_SIM_PATH
#error "TAMRIX_SIM_PATH must name the tamrix-sim executable"
#endif

namespace tamrix::bench {

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

std::string CliProgramPath() {
    return TAMRIX_CLI_PATH;
}

std::string SimProgramPath() {
    return TAMRIX_SIM_PATH;
}

bool CSimProcess::Start(const std::vector<std::string>& args, const std::string& linkPath,
                        const std::string& stderrPath, std::string* error) {
    std::vector<std::string> argv{SimProgramPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("--link");
    argv.push_back(linkPath);
    if (!process_.Start(argv, stderrPath.empty() ? "/dev/null" : stderrPath, error))
        return false;
    running_ = true;
    std::string line;
    if (!process_.ReadLine(line, kStartTimeoutMs) || line.empty()) {
        if (error)
            *error = "tamrix-sim did not print its device";
        return false;
    }
    device_ = line;
    // The link is made before the device is printed; check, so a run never opens a stale path.
    if (::access(linkPath.c_str(), F_OK) != 0) {
        if (error)
            *error = "tamrix-sim made no link at " + linkPath;
        return false;
    }
    return true;
}

bool CSimProcess::Stop() {
    if (!running_)
        return false;
    running_ = false;
    process_.Signal(SIGTERM);
    // The simulator notices the signal within its 200 ms period; give it a few seconds to write
    // its dump, then the destructor of the process kills it.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopTimeoutMs);
    std::string line;
    while (process_.ReadLine(line, kStopTimeoutMs)) {
    }
    if (std::chrono::steady_clock::now() > deadline)
        return false;
    return process_.Wait(nullptr, nullptr) == 0;
}

}  // namespace tamrix::bench
