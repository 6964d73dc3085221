#pragma once
// The per-user settings store the window keeps its last choices in, with the calls the window
// makes on it: whole numbers and texts, each under a section and an entry name. Each dialog
// brings its own: QSettings for the Qt dialog, the registry for the Windows dialog.

#include <map>
#include <string>
#include <vector>

namespace tamrix {

class CProfile {
  public:
    virtual ~CProfile() = default;
    virtual int GetProfileInt(const std::string& section, const std::string& entry,
                              int defaultValue) = 0;
    virtual void WriteProfileInt(const std::string& section, const std::string& entry,
                                 int value) = 0;
    virtual std::string GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue) = 0;
    virtual void WriteProfileString(const std::string& section, const std::string& entry,
                                    const std::string& value) = 0;
};

// A store in memory only, for runs that must not touch the user's settings (tests, benchmarks).
// It keeps what was written, and in which order.
class CMemoryProfile : public CProfile {
  public:
    std::map<std::string, std::string> values;  // "section/entry" -> value
    std::vector<std::string> writes;            // "section/entry" in the order they were written

    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
};

}  // namespace tamrix
