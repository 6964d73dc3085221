// The demo's product on a pseudo-terminal, at wire speed when asked: the host opens it as it
// opens a serial port.

#include "cli/DemoProduct.h"
#include "sim/SimTarget.h"

namespace tamrix::cli {

namespace {

class CPseudoTerminalProduct : public CDemoProduct {
  public:
    explicit CPseudoTerminalProduct(const SimOptions& options) : target_(options) {}

    bool Start(std::string* error) override { return target_.Start(error); }
    std::string Where() const override { return target_.DevicePath(); }
    PortName Port() const override { return PortName{0, target_.DevicePath()}; }
    ChannelOpener Opener(const CPortMap& portMap, CReportWindow* window) override {
        return SerialPortOpener(Port(), portMap, window);
    }
    void Finish(bool waitForApplication) override {
        if (waitForApplication)
            target_.WaitFor([this]() { return target_.State() == SimState::Application; }, 1000);
        target_.Stop();
    }
    std::map<uint32_t, uint8_t> HexImage() const override { return target_.HexImage(); }
    bool IsPic() const override { return target_.IsPic(); }
    SimVersions Versions() const override { return target_.Versions(); }

  private:
    CSimTarget target_;
};

}  // namespace

std::unique_ptr<CDemoProduct> MakePseudoTerminalDemoProduct(const SimOptions& options) {
    return std::make_unique<CPseudoTerminalProduct>(options);
}

}  // namespace tamrix::cli
