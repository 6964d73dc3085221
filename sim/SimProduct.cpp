#include "sim/SimProduct.h"

#include "sim/PicBootloader.h"
#include "sim/SamBootloader.h"

namespace tamrix {

namespace {

constexpr int64_t kStartSignalPeriodUs = 100000;

}  // namespace

DeviceTableEntry ResolveSimDevice(const SimOptions& options, std::string& error) {
    if (options.deviceId >= 0) {
        const auto id = static_cast<uint16_t>(options.deviceId);
        const auto pi = static_cast<uint16_t>(options.pi);
        DeviceTableEntry entry = LookupDevice(id, pi);
        if (entry.family == 0) {  // unlisted: it still identifies with the pair it was given
            entry.deviceId = id;
            entry.pi = pi;
        }
        return entry;
    }
    if (const DeviceTableEntry* row = FindDeviceByName(options.chip))
        return *row;
    error = "unknown chip \"" + options.chip + "\" (see the device table)";
    return DeviceTable[kDeviceTableRows];
}

// The simulator states the rule itself rather than asking the host's code, so a host that picked
// the wrong programmer meets the bootloader the chip really has.
std::unique_ptr<CSimBootloader> MakeSimBootloader(const DeviceTableEntry& device,
                                                  const SimOptions& options) {
    if (device.family != 0 && device.deviceId == 0x0001)
        return std::make_unique<CSimSamBootloader>(device, options);
    if (device.family != 0 && device.deviceId != 0x0002)
        return std::make_unique<CSimPicBootloader>(device, options);
    return std::make_unique<CSimBootloader>(device.deviceId, device.pi);
}

CSimProduct::CSimProduct(SimOptions options)
    : options_(std::move(options)), device_(ResolveSimDevice(options_, setupError_)) {
    faults_.Set(options_.faults);
    bootloader_ = MakeSimBootloader(device_, options_);
    pic_ = dynamic_cast<CSimPicBootloader*>(bootloader_.get());
    sam_ = dynamic_cast<CSimSamBootloader*>(bootloader_.get());
}

bool CSimProduct::Start(std::string* error) {
    std::string why = setupError_;
    if (why.empty() && bootloader_->LoadHexImage(options_.initialImage, &why)) {
        options_.initialImage.clear();  // only needed once
        state_ = SimState::Application;
        if (options_.startInBootloader)
            EnterBootloader(0);
        return true;
    }
    if (error)
        *error = why;
    return false;
}

void CSimProduct::PowerCycle() {
    state_ = SimState::Application;
    wakeUp_.Clear();
    bootloader_->Reset();
}

void CSimProduct::EnterBootloader(int64_t atUs) {
    state_ = SimState::WaitingForAnswer;
    bootloader_->Reset();
    nextStartSignalUs_ = atUs;
}

uint8_t CSimProduct::AsHostHearsIt(uint8_t byte, int hostBaud) const {
    if (hostBaud == options_.bootBaud)
        return byte;
    return hostBaud > options_.bootBaud ? 0x00 : 0xFF;
}

SimTaken CSimProduct::Take(uint8_t byte, int hostBaud, int64_t atUs) {
    // The one-wire echo is the line itself: every host byte comes back, whatever the product
    // makes of it, and before any answer to it. Only the echo-loss fault holds one back, which
    // the bootloader decides as it takes the byte in.
    SimTaken taken;
    taken.echo = options_.wiring == SimWiring::OneWireEcho;
    if (state_ == SimState::Bootloader && hostBaud == options_.bootBaud) {
        SimFrameContext context{faults_, counters_};
        bootloader_->Receive(byte, context, taken.actions);
        taken.echo = taken.echo && !taken.actions.echoLost;
        if (taken.actions.finished && !taken.actions.hangUp) {
            state_ = SimState::Application;  // the new firmware runs
            wakeUp_.Clear();
        }
        return taken;
    }
    switch (state_) {
        case SimState::Application:
            if (!CWakeUpDetector::ListensAt(hostBaud)) {
                ++counters_.noiseBytes;
                taken.noise = true;
                wakeUp_.Clear();
            } else if (wakeUp_.Feed(byte, hostBaud)) {
                ++counters_.wakeUps;
                EnterBootloader(atUs);
            }
            break;
        case SimState::WaitingForAnswer:
        case SimState::Bootloader:
            if (hostBaud != options_.bootBaud) {
                ++counters_.noiseBytes;
                taken.noise = true;
            } else if (byte == kSimStartSignal) {
                // Until its start signal is answered the bootloader listens for nothing else
                // (the bytes it takes as commands are handled above).
                state_ = SimState::Bootloader;
            }
            break;
        case SimState::Stopped:
        case SimState::HungUp:
            break;
    }
    return taken;
}

int64_t CSimProduct::TakeStartSignal(int64_t nowUs, bool canSend) {
    if (state_ != SimState::WaitingForAnswer || options_.silentBootloader ||
        nextStartSignalUs_ > nowUs) {
        return -1;
    }
    const int64_t dueUs = nextStartSignalUs_;
    nextStartSignalUs_ += kStartSignalPeriodUs;
    if (nextStartSignalUs_ <= nowUs)
        nextStartSignalUs_ = nowUs + kStartSignalPeriodUs;
    if (!canSend)
        return -1;
    ++counters_.startSignals;
    return dueUs;
}

int64_t CSimProduct::NextDueUs() const {
    return state_ == SimState::WaitingForAnswer && !options_.silentBootloader ? nextStartSignalUs_
                                                                              : -1;
}

std::vector<uint8_t> CSimProduct::Receive(uint8_t byte, int hostBaud, int64_t nowUs) {
    const SimTaken taken = Take(byte, hostBaud, nowUs);
    std::vector<uint8_t> out;
    if (taken.echo)
        out.push_back(byte);
    if (!taken.actions.hangUp && !faults_.Silent()) {
        for (uint8_t reply : taken.actions.reply)
            out.push_back(AsHostHearsIt(reply, hostBaud));
    }
    return out;
}

std::vector<uint8_t> CSimProduct::Due(int64_t nowUs, int hostBaud) {
    if (TakeStartSignal(nowUs, !faults_.Silent()) < 0)
        return {};
    return {AsHostHearsIt(kSimStartSignal, hostBaud)};
}

}  // namespace tamrix
