#pragma once
// The link choices every front end offers the technician: the two ways the product can be wired
// to the port, and the baud rates its bootloaders run at. The command line, the demonstration, the
// simulated product and the dialog's combo boxes all take them from here, in this order, so a
// label or a rate is written down once.

#include <string>
#include <vector>

namespace tamrix {

// The port every front end offers before the technician chooses one: COM4.
inline constexpr int kDefaultPortNumber = 4;

// How the product is wired to the port. The value is the interface type the download process
// takes (and the echo mode of every channel it opens).
enum class Wiring {
    TwoWire = 0,      // "1:Tx 2:Rx 3:Gnd (Built-in USB)"
    OneWireEcho = 1,  // "1:Signal 2:Vcc 3:Gnd": every byte sent comes straight back
};

struct WiringChoice {
    Wiring wiring;
    const char* label;      // as the product's documentation and the dialog name it
    const char* shortName;  // as the command line takes it
    int interfaceType;      // 0 or 1: the number the settings keep (InterfaceTypeOf)
    bool echo;              // every byte sent comes back on the same wire
};

// The wirings in the order the dialog lists them (index 0 is the default, two wires).
int WiringCount();
// Choice `index`; an index outside 0..WiringCount()-1 gives the default, two wires.
const WiringChoice& WiringAt(int index);
const WiringChoice& WiringChoiceFor(Wiring wiring);
// The wiring a command-line name stands for; false (and `wiring` untouched) for any other text.
bool WiringFromName(const std::string& name, Wiring& wiring);
// The command-line names in list order, for a parser's check of the option.
std::vector<std::string> WiringNames();
// The interface type of a wiring: the number the settings keep and the process log shows.
int InterfaceTypeOf(Wiring wiring);
// The wiring an interface type stands for; a number of neither wiring gives the default, two
// wires.
Wiring WiringFromInterfaceType(int interfaceType);
// The echo mode a channel is opened with for a wiring (CCommChannel::Open): 1 on one wire, where
// every byte sent comes back, else 0.
int EchoModeOf(Wiring wiring);

// The baud rates, lowest first.
inline constexpr int kBaudRateList[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int kDefaultBaudRate = 115200;
// The default rate's list index (7), the dialog's choice before the technician makes one.
inline constexpr int kDefaultBaudIndex = [] {
    int index = 0;
    while (kBaudRateList[index] != kDefaultBaudRate)
        ++index;
    return index;
}();
int BaudRateCount();
// The rate at a list index (0 = 1200 ... 7 = 115200). An index outside the list, such as one from
// a damaged settings file, gives the default rate 115200: a rate every port and bootloader can
// run at, never a rate of 0 that no port can be set to.
int BaudRateFromIndex(int index);
// The list index of a rate, or -1 when the bootloaders do not run at it.
int BaudIndexFromRate(int rate);
// The rates in list order, for a parser's check of the option.
std::vector<int> BaudRates();

}  // namespace tamrix
