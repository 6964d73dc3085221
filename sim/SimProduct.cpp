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
    bootloader_ = MakeSimBootloader(device_, options_);
}

bool CSimProduct::Start(std::string* error) {
    std::string why = setupError_;
    if (why.empty() && bootloader_->LoadHexImage(options_.initialImage, &why)) {
        options_.initialImage.clear();
        state_ = SimState::Application;
        if (options_.startInBootloader) {
            state_ = SimState::WaitingForAnswer;
            bootloader_->Reset();
        }
        return true;
    }
    if (error)
        *error = why;
    return false;
}

bool CSimProduct::IsPic() const {
    return dynamic_cast<const CSimPicBootloader*>(bootloader_.get()) != nullptr;
}

uint8_t CSimProduct::AsHostHearsIt(uint8_t byte, int hostBaud) const {
    if (hostBaud == options_.bootBaud)
        return byte;
    return hostBaud > options_.bootBaud ? 0x00 : 0xFF;  // a short pulse, or a long low stretch
}

std::vector<uint8_t> CSimProduct::Receive(uint8_t byte, int hostBaud, int64_t nowUs) {
    std::vector<uint8_t> out;
    if (options_.wiring == SimWiring::OneWireEcho)
        out.push_back(byte);  // the line itself brings every byte back, before any answer
    switch (state_) {
        case SimState::Application:
            if (wakeUp_.Feed(byte, hostBaud)) {
                ++counters_.wakeUps;
                state_ = SimState::WaitingForAnswer;
                bootloader_->Reset();
                nextStartSignalUs_ = nowUs;
            }
            break;
        case SimState::WaitingForAnswer:
            if (hostBaud == options_.bootBaud && byte == kSimStartSignal)
                state_ = SimState::Bootloader;
            break;
        case SimState::Bootloader: {
            if (hostBaud != options_.bootBaud)
                break;  // noise to the bootloader's UART
            SimActions actions;
            SimFrameContext context{faults_, counters_};
            bootloader_->Receive(byte, context, actions);
            for (uint8_t reply : actions.reply)
                out.push_back(AsHostHearsIt(reply, hostBaud));
            if (actions.finished) {
                state_ = SimState::Application;  // the new firmware runs
                wakeUp_.Clear();
            }
            break;
        }
        case SimState::Stopped:
        case SimState::HungUp:
            break;
    }
    return out;
}

std::vector<uint8_t> CSimProduct::Due(int64_t nowUs, int hostBaud) {
    if (state_ != SimState::WaitingForAnswer || options_.silentBootloader ||
        nextStartSignalUs_ > nowUs) {
        return {};
    }
    ++counters_.startSignals;
    nextStartSignalUs_ += kStartSignalPeriodUs;
    if (nextStartSignalUs_ <= nowUs)
        nextStartSignalUs_ = nowUs + kStartSignalPeriodUs;
    return {AsHostHearsIt(kSimStartSignal, hostBaud)};
}

int64_t CSimProduct::NextDueUs() const {
    return state_ == SimState::WaitingForAnswer && !options_.silentBootloader ? nextStartSignalUs_
                                                                              : -1;
}

}  // namespace tamrix
