#pragma once
// The per-user settings store the window keeps its last choices in, with the calls the window
// makes on it: whole numbers and texts, each under a section and an entry name. The program uses
// QSettings (the registry on Windows, a file under the user's configuration folder elsewhere).

#include <QString>
#include <QStringList>
#include <map>

namespace tamrix {

class CProfile {
  public:
    virtual ~CProfile() = default;
    virtual int GetProfileInt(const QString& section, const QString& entry, int defaultValue) = 0;
    virtual void WriteProfileInt(const QString& section, const QString& entry, int value) = 0;
    virtual QString GetProfileString(const QString& section, const QString& entry,
                                     const QString& defaultValue) = 0;
    virtual void WriteProfileString(const QString& section, const QString& entry,
                                    const QString& value) = 0;
};

// The application's own store: QSettings under the organisation and application names the
// application object set at start-up.
class CQtProfile : public CProfile {
  public:
    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) override;
    void WriteProfileInt(const QString& section, const QString& entry, int value) override;
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) override;
    void WriteProfileString(const QString& section, const QString& entry,
                            const QString& value) override;
};

// A store in memory only, for runs that must not touch the user's settings (tests, benchmarks).
// It keeps what was written, and in which order.
class CMemoryProfile : public CProfile {
  public:
    std::map<QString, QString> values;  // "section/entry" -> value
    QStringList writes;                 // "section/entry" in the order they were written

    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) override;
    void WriteProfileInt(const QString& section, const QString& entry, int value) override;
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) override;
    void WriteProfileString(const QString& section, const QString& entry,
                            const QString& value) override;
};

}  // namespace tamrix
