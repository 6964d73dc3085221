#pragma once
// COM port numbers on a machine that has none. The product's documentation, the settings and the
// dialogs speak of COM1..COM15; here a port map gives each number a device. COM1..COM4 are
// /dev/ttyS0..3 unless the map file says otherwise. The map file is the per-user one
// ($XDG_CONFIG_HOME/tamrix/ports, else ~/.config/tamrix/ports), or the file named by the
// environment variable TAMRIX_PORT_MAP, which replaces it (tests, simulators).
//
// File format, one port a line, '#' starts a comment:
//     COM5 = /dev/ttyUSB0
//     COM6 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0

#include <map>
#include <string>

namespace tamrix {

inline constexpr const char* kPortMapEnvironment = "TAMRIX_PORT_MAP";

class CPortMap {
  public:
    // COM1..COM4 -> /dev/ttyS0..3.
    static CPortMap Defaults();
    // The defaults, overridden and extended by the map file in force (a missing file is fine).
    static CPortMap Load();
    // The map file in force: TAMRIX_PORT_MAP when set, else the per-user file.
    static std::string MapFilePath();

    // Adds the file's entries; false (and a message naming the line) on a malformed line or an
    // unreadable file.
    bool LoadFile(const std::string& path, std::string* error = nullptr);
    // Adds entries from text in the file format.
    bool LoadText(const std::string& text, std::string* error = nullptr);

    // The device of COM<portNumber>, empty when the map has none.
    std::string DevicePath(int portNumber) const;
    void Set(int portNumber, const std::string& devicePath);
    const std::map<int, std::string>& Entries() const { return entries_; }

    // "COM7" / "com7" -> 7; anything else -> 0.
    static int ParsePortName(const std::string& text);

  private:
    std::map<int, std::string> entries_;
};

}  // namespace tamrix
