#pragma once
// tamrix-sim as a process of its own, so that what the benchmarks measure of the host program is
// the host's own CPU time and not the simulator's.

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace tamrix::bench {

// Where the benchmarks find the programs they run (set by the build).
std::string CliProgramPath();
std::string SimProgramPath();

class CSimProcess {
  public:
    // Starts tamrix-sim with `args` and `--link linkPath`, its standard error into `stderrPath`
    // ("" for /dev/null), and waits until it has printed the device it plays on. False with a
    // reason when it does not come up within a few seconds.
    bool Start(const std::vector<std::string>& args, const std::string& linkPath,
               const std::string& stderrPath, std::string* error);
    const std::string& Device() const { return device_; }
    // Ends it with SIGTERM, the way it expects to be ended (it then writes its --dump file).
    // True when it ended by itself with status 0 within a few seconds.
    bool Stop();

  private:
    test::CChildProcess process_;
    std::string device_;
    bool running_ = false;
};

}  // namespace tamrix::bench
