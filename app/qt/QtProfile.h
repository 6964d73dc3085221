#pragma once
// The Qt dialog's settings store: QSettings under the organisation and application names the
// application object set at start-up (a file under the user's configuration folder).

#include "app/Profile.h"

namespace tamrix {

class CQtProfile : public CProfile {
  public:
    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
};

}  // namespace tamrix
