#pragma once
// The simulated product's end of the cable: a pseudo-terminal whose slave device the host opens
// like a serial port. We keep a slave descriptor of our own open for our whole life, so the
// terminal (and its settings) survives the host's open/close cycles, and so we can read the
// speed the host has set.

#include <string>

#include "platform/UniqueFd.h"

namespace tamrix {

class CPseudoTerminal {
  public:
    CPseudoTerminal() = default;
    ~CPseudoTerminal();
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // Creates the terminal: master non-blocking, slave in raw mode. `linkPath` (may be empty)
    // becomes a symbolic link to the slave device; an existing link there is replaced, any
    // other file is left alone and makes the call fail.
    bool Open(const std::string& linkPath, std::string* error);
    // Closes both ends: the host's open descriptor sees a hang-up. The link stays until Close.
    void HangUp();
    // HangUp and remove the link.
    void Close();

    int Master() const { return master_.Get(); }
    int Slave() const { return slave_.Get(); }
    bool IsOpen() const { return master_.IsOpen(); }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

  private:
    CUniqueFd master_;
    CUniqueFd slave_;
    std::string slavePath_;
    std::string linkPath_;  // set only while we own the link
};

}  // namespace tamrix
