#include "app/qt/QtProfile.h"

#include <QSettings>

namespace tamrix {

namespace {

QString Key(const std::string& section, const std::string& entry) {
    return QString::fromStdString(section + '/' + entry);
}

}  // namespace

int CQtProfile::GetProfileInt(const std::string& section, const std::string& entry,
                              int defaultValue) {
    bool ok = false;
    const int value = QSettings().value(Key(section, entry), defaultValue).toInt(&ok);
    // A value that is not a number (a hand-edited file) counts as missing.
    return ok ? value : defaultValue;
}

void CQtProfile::WriteProfileInt(const std::string& section, const std::string& entry, int value) {
    QSettings().setValue(Key(section, entry), value);
}

std::string CQtProfile::GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue) {
    const QVariant value = QSettings().value(Key(section, entry));
    return value.isValid() ? value.toString().toLocal8Bit().toStdString() : defaultValue;
}

void CQtProfile::WriteProfileString(const std::string& section, const std::string& entry,
                                    const std::string& value) {
    QSettings().setValue(
        Key(section, entry),
        QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size())));
}

}  // namespace tamrix
