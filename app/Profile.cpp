#include "app/Profile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tamrix {

namespace {

std::string Key(const std::string& section, const std::string& entry) {
    return section + '/' + entry;
}

}  // namespace

int CMemoryProfile::GetProfileInt(const std::string& section, const std::string& entry,
                                  int defaultValue) {
    const auto found = values.find(Key(section, entry));
    if (found == values.end() || found->second.empty())
        return defaultValue;
    // A value that is not a number (a hand-edited store) counts as missing.
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(found->second.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX)
        return defaultValue;
    return static_cast<int>(value);
}

void CMemoryProfile::WriteProfileInt(const std::string& section, const std::string& entry,
                                     int value) {
    WriteProfileString(section, entry, std::to_string(value));
}

std::string CMemoryProfile::GetProfileString(const std::string& section, const std::string& entry,
                                             const std::string& defaultValue) {
    const auto found = values.find(Key(section, entry));
    return found == values.end() ? defaultValue : found->second;
}

void CMemoryProfile::WriteProfileString(const std::string& section, const std::string& entry,
                                        const std::string& value) {
    values[Key(section, entry)] = value;
    writes.push_back(Key(section, entry));
}

}  // namespace tamrix
