#pragma once
// The Windows dialog's settings store: the current user's registry, under
// HKEY_CURRENT_USER\Software\<company>\<application>\<section>, whole numbers as REG_DWORD and
// texts as REG_SZ values, where the product's technicians have always had their settings.

#include <string>

#include "app/Profile.h"

namespace tamrix {

// The company key the settings are kept under.
inline constexpr const char* kRegistryCompany = "Local AppWizard-Generated Applications";

class CRegistryProfile : public CProfile {
  public:
    // `application`: the program file's name without its extension (ProgramName()), so a
    // renamed program starts from the defaults.
    explicit CRegistryProfile(std::string application);

    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;

  private:
    [[nodiscard]] std::string KeyPath(const std::string& section) const;

    std::string application_;
};

// The running program file's name without folder and extension ("tamrix").
[[nodiscard]] std::string ProgramName();

}  // namespace tamrix
