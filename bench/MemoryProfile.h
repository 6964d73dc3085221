#pragma once
// A settings store for the window that lives in memory only: the benchmark hands the window its
// choices (port, rate, wiring, file) without touching the user's own settings.

#include <QString>
#include <map>

#include "app/Profile.h"

namespace tamrix::bench {

class CMemoryProfile : public CProfile {
  public:
    // The window's section and entry names, as "section/entry".
    void Set(const QString& key, const QString& value) { values_[key] = value; }

    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) override;
    void WriteProfileInt(const QString& section, const QString& entry, int value) override;
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) override;
    void WriteProfileString(const QString& section, const QString& entry,
                            const QString& value) override;

  private:
    std::map<QString, QString> values_;
};

}  // namespace tamrix::bench
