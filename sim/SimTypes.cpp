#include "sim/SimTypes.h"

namespace tamrix {

const char* SimStateName(SimState state) {
    switch (state) {
        case SimState::Stopped:
            return "stopped";
        case SimState::Application:
            return "application";
        case SimState::WaitingForAnswer:
            return "bootloader (start signal)";
        case SimState::Bootloader:
            return "bootloader";
        case SimState::HungUp:
            return "hung up";
    }
    return "?";
}

const char* SimTraceDirectionName(SimTraceDirection direction) {
    switch (direction) {
        case SimTraceDirection::HostToTarget:
            return "host->sim";
        case SimTraceDirection::TargetToHost:
            return "sim->host";
        case SimTraceDirection::Echo:
            return "echo     ";
        case SimTraceDirection::Noise:
            return "noise    ";
    }
    return "?";
}

}  // namespace tamrix
