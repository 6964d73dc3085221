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
// A malformed line costs only itself: every good line is kept, and each bad one is collected as
// a problem naming the file and line, for the user to see (tamrix-cli prints them). A number
// given on more than one line keeps its first line; each later one is such a problem too.

#include <map>
#include <string>
#include <vector>

namespace tamrix {

class CClock;

inline constexpr const char* kPortMapEnvironment = "TAMRIX_PORT_MAP";

class CPortMap {
  public:
    // COM1..COM4 -> /dev/ttyS0..3; empty where the system names COM ports itself (Windows).
    static CPortMap Defaults();
    // The defaults, overridden and extended by the map file in force (a missing file is fine;
    // one that cannot be read, or is not a regular file, is ignored and noted in Problems()).
    static CPortMap Load();
    // The map file in force: TAMRIX_PORT_MAP when set, else the per-user file.
    static std::string MapFilePath();

    // Adds the file's good entries. False on a malformed or repeated line or an unreadable file,
    // with the first problem in `error`; every problem is added to Problems(). The file is read
    // without ever waiting: a FIFO or device is refused as not a regular file.
    bool LoadFile(const std::string& path, std::string* error = nullptr);
    // Adds entries from text in the file format, as LoadFile does.
    bool LoadText(const std::string& text, std::string* error = nullptr);
    // What was wrong with the text or files loaded so far, one message each, in order.
    const std::vector<std::string>& Problems() const { return problems_; }

    // The device of COM<portNumber>: the map's entry, else the system's own name for the port
    // (Windows), else empty.
    std::string DevicePath(int portNumber) const;
    void Set(int portNumber, const std::string& devicePath);
    // The COM number whose device is `devicePath`: the same path, or the same file under another
    // name (a /dev/serial/by-id link and the /dev/ttyUSB0 it points at). 0 when none; the lowest
    // number when several name it.
    int NumberForDevice(const std::string& devicePath) const;
    const std::map<int, std::string>& Entries() const { return entries_; }

    // Writes the entries that differ from the defaults to `path` in the file format: a temporary
    // file beside it, renamed over it, so a reader never sees half a map. What the file at `path`
    // says besides stays: its comments, blank lines and line order; an entry's line changes only
    // when its device did, a number no longer mapped (or mapped to its default) loses its line,
    // and new numbers are added at the end. False with the reason in `error`.
    bool Save(const std::string& path, std::string* error = nullptr) const;

    // The first number to hand out to a port that has none: COM1..COM4 are the on-board ports.
    static constexpr int kFirstAssignedNumber = 5;
    // The lowest number from COM5 up that the map does not use.
    int LowestFreeNumber() const;

    // The number of `device` (a stable name: /dev/serial/by-id/...) in the map file at `path`;
    // a device the file does not know yet gets the lowest free number, written into the file. The
    // file is locked while it is read and written, so two programs assigning at the same moment
    // never hand out one number twice; the lock is waited for up to a few seconds (`clock`
    // sleeps). The file's folder is made when missing. 0 with the reason in `error` when the
    // file cannot be locked, read or written.
    static int AssignNumber(const std::string& path, const std::string& device, CClock& clock,
                            std::string* error = nullptr);

    // "COM7" / "com7" -> 7; anything else -> 0.
    static int ParsePortName(const std::string& text);

  private:
    bool LoadLines(const std::string& text, const std::string& source, std::string* error);

    std::map<int, std::string> entries_;
    std::vector<std::string> problems_;
};

}  // namespace tamrix
