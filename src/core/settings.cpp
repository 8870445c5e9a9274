#include "core/settings.h"

#include <QSettings>

namespace trq {

namespace {

QSettings store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(Settings::kApplication));
}

QString path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

} // namespace

QString Settings::value(const QString& section, const QString& key, const QString& defaultValue) {
    return store().value(path(section, key), defaultValue).toString();
}

void Settings::setValue(const QString& section, const QString& key, const QString& value) {
    store().setValue(path(section, key), value);
}

int Settings::integer(const QString& section, const QString& key, int defaultValue) {
    bool ok = false;
    const int value = Settings::value(section, key).trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}

void Settings::remove(const QString& section) {
    store().remove(section);
}

void Settings::clear() {
    store().clear();
}

} // namespace trq
