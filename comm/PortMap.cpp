#include "comm/PortMap.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>

#include "comm/SerialDevice.h"
#include "common/Format.h"
#include "platform/FileAccess.h"
#include "platform/UserFolders.h"

namespace tamrix {

namespace {

// A map of a few hundred ports is a few kilobytes; anything near this is not a port map.
constexpr uint64_t kLargestMapFile = 1 << 20;

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// One line of a map file as the reader takes it.
struct MapLine {
    enum Kind { Blank, Entry, Malformed, NulByte };
    Kind kind = Blank;
    int number = 0;
    std::string device;
    std::string text;     // without its comment and the white space at its ends
    std::string comment;  // from '#' on, as written
};

MapLine ParseMapLine(std::string line) {
    MapLine parsed;
    if (const size_t hash = line.find('#'); hash != std::string::npos) {
        parsed.comment = Trim(line.substr(hash));
        line.erase(hash);
    }
    parsed.text = Trim(line);
    if (parsed.text.empty())
        return parsed;
    if (parsed.text.find('\0') != std::string::npos) {
        // A device path reaches the system as a C string, which ends at a NUL byte: the port
        // opened would not be the one the line names.
        parsed.kind = MapLine::NulByte;
        return parsed;
    }
    size_t split = parsed.text.find('=');
    if (split == std::string::npos)
        split = parsed.text.find_first_of(" \t");
    parsed.number = split == std::string::npos
                        ? 0
                        : CPortMap::ParsePortName(Trim(parsed.text.substr(0, split)));
    parsed.device = split == std::string::npos ? "" : Trim(parsed.text.substr(split + 1));
    parsed.kind = parsed.number <= 0 || parsed.device.empty() ? MapLine::Malformed : MapLine::Entry;
    return parsed;
}

}  // namespace

CPortMap CPortMap::Defaults() {
    CPortMap map;
    // Where the system names its COM ports itself (Windows), the map starts empty.
    if (!SystemComPortName(1).empty())
        return map;
    for (int n = 1; n <= 4; ++n)
        map.Set(n, Format("/dev/ttyS%d", n - 1));
    return map;
}

std::string CPortMap::MapFilePath() {
    if (const char* env = std::getenv(kPortMapEnvironment); env != nullptr && *env != '\0') {
        return env;
    }
    const std::string folder = UserConfigFolder();
    return folder.empty() ? std::string() : folder + "/ports";
}

CPortMap CPortMap::Load() {
    CPortMap map = Defaults();
    if (const std::string path = MapFilePath(); !path.empty())
        map.LoadFile(path);
    return map;
}

bool CPortMap::LoadFile(const std::string& path, std::string* error) {
    const FileReadResult file = ReadRegularFile(path, kLargestMapFile);
    if (file.error == FileError::Missing) {
        // No map file at all is the usual case, not a problem: the defaults stand.
        if (error)
            *error = "cannot read port map " + path;
        return false;
    }
    if (file.error != FileError::None && file.error != FileError::Empty) {
        problems_.push_back("cannot read port map " + path + ": " + file.reason + "; ignored");
        if (error)
            *error = problems_.back();
        return false;
    }
    return LoadLines(std::string(file.bytes.begin(), file.bytes.end()), "port map " + path, error);
}

bool CPortMap::LoadText(const std::string& text, std::string* error) {
    return LoadLines(text, "port map", error);
}

bool CPortMap::LoadLines(const std::string& text, const std::string& source, std::string* error) {
    const size_t problemsBefore = problems_.size();
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    // The line each number was first given on: a later one for the same number is a mistake
    // (a copied line, two adapters on one number), and the first keeps the port where it was.
    std::map<int, int> firstLines;
    while (std::getline(in, line)) {
        ++lineNumber;
        const MapLine parsed = ParseMapLine(line);
        switch (parsed.kind) {
            case MapLine::Blank:
                continue;
            case MapLine::NulByte:
                problems_.push_back(
                    Format("%s line %d: a NUL byte in the line", source.c_str(), lineNumber));
                continue;
            case MapLine::Malformed:
                // Only this line is lost; the lines after it still count.
                problems_.push_back(Format("%s line %d: expected COMn = /dev/..., not \"%s\"",
                                           source.c_str(), lineNumber, parsed.text.c_str()));
                continue;
            case MapLine::Entry:
                break;
        }
        const auto [first, isFirst] = firstLines.emplace(parsed.number, lineNumber);
        if (!isFirst) {
            problems_.push_back(
                Format("%s line %d: COM%d is given on line %d already; this line is ignored",
                       source.c_str(), lineNumber, parsed.number, first->second));
            continue;
        }
        Set(parsed.number, parsed.device);
    }
    if (problems_.size() == problemsBefore)
        return true;
    if (error)
        *error = problems_[problemsBefore];
    return false;
}

std::string CPortMap::DevicePath(int portNumber) const {
    const auto it = entries_.find(portNumber);
    return it == entries_.end() ? SystemComPortName(portNumber) : it->second;
}

void CPortMap::Set(int portNumber, const std::string& devicePath) {
    entries_[portNumber] = devicePath;
}

int CPortMap::NumberForDevice(const std::string& devicePath) const {
    // By its text too: a device that is unplugged right now still has its number.
    for (const auto& [number, path] : entries_) {
        if (path == devicePath || IsSameFile(path, devicePath))
            return number;
    }
    return 0;
}

bool CPortMap::Save(const std::string& path, std::string* error) const {
    const FileReadResult file = ReadRegularFile(path, kLargestMapFile);
    if (file.error != FileError::None && file.error != FileError::Empty &&
        file.error != FileError::Missing) {
        if (error)
            *error = "cannot read port map " + path + ": " + file.reason;
        return false;
    }
    const CPortMap defaults = Defaults();
    const auto isDefault = [&defaults](int number, const std::string& device) {
        return defaults.DevicePath(number) == device;
    };
    // The file stays as its user keeps it: comments, blank lines, the order of the lines and
    // lines the reader refuses. An entry's line is rewritten only when its device changed, and
    // goes when its number left the map or went back to its default.
    std::string text = file.bytes.empty() ? "# COM port map of Tamrix: COMn = device\n" : "";
    std::set<int> written;
    std::istringstream in(std::string(file.bytes.begin(), file.bytes.end()));
    for (std::string line; std::getline(in, line);) {
        const MapLine parsed = ParseMapLine(line);
        // A second line for a number is left as it is: the reader ignores it and says so.
        if (parsed.kind == MapLine::Entry && written.count(parsed.number) == 0) {
            const auto entry = entries_.find(parsed.number);
            const bool unchanged = entry != entries_.end() && entry->second == parsed.device;
            if (!unchanged && (entry == entries_.end() || isDefault(entry->first, entry->second)))
                continue;
            written.insert(parsed.number);
            if (!unchanged) {
                const bool crlf = !line.empty() && line.back() == '\r';
                line = Format("COM%d = %s", entry->first, entry->second.c_str()) +
                       (parsed.comment.empty() ? "" : "  " + parsed.comment) + (crlf ? "\r" : "");
            }
        }
        text += line + "\n";
    }
    for (const auto& [number, device] : entries_) {
        if (written.count(number) == 0 && !isDefault(number, device))
            text += Format("COM%d = %s\n", number, device.c_str());
    }
    std::string reason;
    if (ReplaceFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                              &reason) == FileError::None) {
        return true;
    }
    if (error)
        *error = "cannot write port map " + path + ": " + reason;
    return false;
}

int CPortMap::LowestFreeNumber() const {
    int number = kFirstAssignedNumber;
    while (entries_.count(number) != 0)
        ++number;
    return number;
}

int CPortMap::AssignNumber(const std::string& path, const std::string& device, CClock& clock,
                           std::string* error) {
    constexpr int kLockWaitMs = 5000;
    // The per-user folder does not exist before the first adapter is seen.
    // A folder that cannot be made shows itself at once: its lock file cannot be opened.
    if (const size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0)
        static_cast<void>(MakeFolders(path.substr(0, slash)));
    CFileLock lock;
    if (!lock.Acquire(path + ".lock", clock, kLockWaitMs)) {
        if (error)
            *error = "cannot lock port map " + path;
        return 0;
    }
    // Read under the lock: what another program wrote a moment ago counts.
    CPortMap map = Defaults();
    const FileReadResult file = ReadRegularFile(path, kLargestMapFile);
    if (file.error != FileError::None && file.error != FileError::Empty &&
        file.error != FileError::Missing) {
        if (error)
            *error = "cannot read port map " + path + ": " + file.reason;
        return 0;
    }
    const std::string text(file.bytes.begin(), file.bytes.end());
    map.LoadText(text);
    if (const int known = map.NumberForDevice(device); known > 0)
        return known;

    // Added as one more line, so that whatever else the file says (comments included) stays.
    const int number = map.LowestFreeNumber();
    std::string updated = text;
    if (!updated.empty() && updated.back() != '\n')
        updated += '\n';
    updated += Format("COM%d = %s\n", number, device.c_str());
    std::string reason;
    if (ReplaceFileAtomically(path, reinterpret_cast<const uint8_t*>(updated.data()),
                              updated.size(), &reason) != FileError::None) {
        if (error)
            *error = "cannot write port map " + path + ": " + reason;
        return 0;
    }
    return number;
}

int CPortMap::ParsePortName(const std::string& text) {
    if (text.size() < 4)
        return 0;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[static_cast<size_t>(i)])) != "COM"[i])
            return 0;
    }
    int number = 0;
    for (size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
        number = number * 10 + (text[i] - '0');
        if (number > 255)
            return 0;
    }
    return number;
}

}  // namespace tamrix
