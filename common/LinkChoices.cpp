#include "common/LinkChoices.h"

#include <iterator>

namespace tamrix {

namespace {

const WiringChoice kWirings[] = {
    {Wiring::TwoWire, "1:Tx 2:Rx 3:Gnd (Built-in USB)", "usb", 0, false},
    {Wiring::OneWireEcho, "1:Signal 2:Vcc 3:Gnd", "signal", 1, true},
};

}  // namespace

int WiringCount() {
    return static_cast<int>(std::size(kWirings));
}

const WiringChoice& WiringAt(int index) {
    return index >= 0 && index < WiringCount() ? kWirings[index] : kWirings[0];
}

const WiringChoice& WiringChoiceFor(Wiring wiring) {
    for (const WiringChoice& choice : kWirings) {
        if (choice.wiring == wiring)
            return choice;
    }
    return kWirings[0];
}

bool WiringFromName(const std::string& name, Wiring& wiring) {
    for (const WiringChoice& choice : kWirings) {
        if (name == choice.shortName) {
            wiring = choice.wiring;
            return true;
        }
    }
    return false;
}

std::vector<std::string> WiringNames() {
    std::vector<std::string> names;
    for (const WiringChoice& choice : kWirings)
        names.emplace_back(choice.shortName);
    return names;
}

int InterfaceTypeOf(Wiring wiring) {
    return WiringChoiceFor(wiring).interfaceType;
}

Wiring WiringFromInterfaceType(int interfaceType) {
    for (const WiringChoice& choice : kWirings) {
        if (choice.interfaceType == interfaceType)
            return choice.wiring;
    }
    return kWirings[0].wiring;
}

int EchoModeOf(Wiring wiring) {
    return WiringChoiceFor(wiring).echo ? 1 : 0;
}

int BaudRateCount() {
    return static_cast<int>(std::size(kBaudRateList));
}

int BaudRateFromIndex(int index) {
    return index >= 0 && index < BaudRateCount() ? kBaudRateList[index] : kDefaultBaudRate;
}

int BaudIndexFromRate(int rate) {
    for (int index = 0; index < BaudRateCount(); ++index) {
        if (kBaudRateList[index] == rate)
            return index;
    }
    return -1;
}

std::vector<int> BaudRates() {
    return std::vector<int>(std::begin(kBaudRateList), std::end(kBaudRateList));
}

}  // namespace tamrix
