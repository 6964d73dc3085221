#include "bench/MemoryProfile.h"

namespace tamrix::bench {

namespace {

QString Key(const QString& section, const QString& entry) {
    return section + '/' + entry;
}

}  // namespace

int CMemoryProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    const auto found = values_.find(Key(section, entry));
    bool ok = false;
    const int value = found == values_.end() ? defaultValue : found->second.toInt(&ok);
    return found == values_.end() || ok ? value : defaultValue;
}

void CMemoryProfile::WriteProfileInt(const QString& section, const QString& entry, int value) {
    values_[Key(section, entry)] = QString::number(value);
}

QString CMemoryProfile::GetProfileString(const QString& section, const QString& entry,
                                         const QString& defaultValue) {
    const auto found = values_.find(Key(section, entry));
    return found == values_.end() ? defaultValue : found->second;
}

void CMemoryProfile::WriteProfileString(const QString& section, const QString& entry,
                                        const QString& value) {
    values_[Key(section, entry)] = value;
}

}  // namespace tamrix::bench
