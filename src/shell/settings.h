#pragma once

#include <QSettings>
#include <QString>

namespace trq {

// The per-user settings store of the application "TRQ-1-0": text values by
// section and key (the registry on Windows, a file elsewhere).
class Settings {
public:
    static constexpr const char* kApplication = "TRQ-1-0";

    static QString GetSetting(const QString& section, const QString& key,
                              const QString& defaultValue = {});
    static void SaveSetting(const QString& section, const QString& key, const QString& value);
    static int GetInt(const QString& section, const QString& key, int defaultValue);
    static void SaveInt(const QString& section, const QString& key, int value) {
        SaveSetting(section, key, QString::number(value));
    }
};

} // namespace trq
