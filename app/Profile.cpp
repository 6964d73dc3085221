#include "app/Profile.h"

#include <QSettings>

namespace tamrix {

namespace {

QString Key(const QString& section, const QString& entry) {
    return section + '/' + entry;
}

}  // namespace

int CQtProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    bool ok = false;
    const int value = QSettings().value(Key(section, entry), defaultValue).toInt(&ok);
    // A value that is not a number (a hand-edited file) counts as missing.
    return ok ? value : defaultValue;
}

void CQtProfile::WriteProfileInt(const QString& section, const QString& entry, int value) {
    QSettings().setValue(Key(section, entry), value);
}

QString CQtProfile::GetProfileString(const QString& section, const QString& entry,
                                     const QString& defaultValue) {
    return QSettings().value(Key(section, entry), defaultValue).toString();
}

void CQtProfile::WriteProfileString(const QString& section, const QString& entry,
                                    const QString& value) {
    QSettings().setValue(Key(section, entry), value);
}

int CMemoryProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    const auto found = values.find(Key(section, entry));
    bool ok = false;
    const int value = found == values.end() ? defaultValue : found->second.toInt(&ok);
    return found == values.end() || ok ? value : defaultValue;
}

void CMemoryProfile::WriteProfileInt(const QString& section, const QString& entry, int value) {
    WriteProfileString(section, entry, QString::number(value));
}

QString CMemoryProfile::GetProfileString(const QString& section, const QString& entry,
                                         const QString& defaultValue) {
    const auto found = values.find(Key(section, entry));
    return found == values.end() ? defaultValue : found->second;
}

void CMemoryProfile::WriteProfileString(const QString& section, const QString& entry,
                                        const QString& value) {
    values[Key(section, entry)] = value;
    writes << Key(section, entry);
}

}  // namespace tamrix
