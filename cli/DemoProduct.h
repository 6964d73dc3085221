#pragma once
// The simulated product `tamrix-cli demo` updates: on a pseudo-terminal where the system has them
// (DemoProductPseudoTerminal.cpp: the host opens it like any serial port), else over an in-memory
// link (DemoProductMemory.cpp: the host's channel hands its bytes straight to the product).

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "download/ChannelOpener.h"
#include "sim/SimTypes.h"

namespace tamrix::cli {

class CDemoProduct {
  public:
    virtual ~CDemoProduct() = default;

    // Starts the product. False with a reason when it cannot run.
    virtual bool Start(std::string* error) = 0;
    // Where the host meets it, for the user: "/dev/pts/3", "an in-memory link".
    virtual std::string Where() const = 0;
    // The port the download names, and how it opens its channels to the product.
    virtual PortName Port() const = 0;
    virtual ChannelOpener Opener(const CPortMap& portMap, CReportWindow* window) = 0;
    // After a finished download: waits (up to a second) for the product to run its new firmware,
    // then stops it.
    virtual void Finish(bool waitForApplication) = 0;

    virtual std::map<uint32_t, uint8_t> HexImage() const = 0;
    virtual bool IsPic() const = 0;
    virtual SimVersions Versions() const = 0;
};

std::unique_ptr<CDemoProduct> MakePseudoTerminalDemoProduct(const SimOptions& options);  // Unix
std::unique_ptr<CDemoProduct> MakeMemoryDemoProduct(const SimOptions& options);

}  // namespace tamrix::cli
