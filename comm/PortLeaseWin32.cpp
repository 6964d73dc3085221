// The port lease on Windows. A COM port is opened exclusively by the system itself, but only while
// it is open; between the openings of one download the hold is a named mutex of this program's
// for the port, which another instance finds taken. Like the advisory lock elsewhere it keeps out
// only programs that ask for it.

#include <windows.h>

#include <cctype>
#include <cstdint>

#include "comm/PortLease.h"

namespace tamrix {

namespace {

// "\\.\COM12", "com12" and "COM12" are one port.
std::string PortKey(const std::string& devicePath) {
    std::string name = devicePath;
    const std::string devicePrefix = "\\\\.\\";
    if (name.compare(0, devicePrefix.size(), devicePrefix) == 0)
        name.erase(0, devicePrefix.size());
    for (char& c : name) {
        c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

}  // namespace

bool CPortLease::Acquire(const std::string& devicePath) {
    Release();
    const std::string name = "Local\\Tamrix.Port." + PortKey(devicePath);
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);  // somebody else, or another lease of this program, holds it
        return false;
    }
    // Kernel handles fit in 32 bits: that is how 32- and 64-bit programs share them.
    handle_.Reset(static_cast<int>(reinterpret_cast<intptr_t>(mutex)));
    device_ = PortKey(devicePath);
    return true;
}

void CPortLease::Release() {
    handle_.Reset();  // the last handle gone, the named mutex is gone with it
    device_.clear();
}

bool CPortLease::HoldsDevice(const std::string& devicePath) const {
    return handle_.IsOpen() && device_ == PortKey(devicePath);
}

}  // namespace tamrix
