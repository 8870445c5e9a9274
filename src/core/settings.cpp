#include "core/settings.h"

#include "core/debugtrace.h"

#include <QSet>

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

int Settings::integer(const QString& section, const QString& key, int defaultValue, int least,
                      int most) {
    const QString text = Settings::value(section, key);
    if (text.isEmpty())
        return defaultValue;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok && value >= least && value <= most)
        return value;
    // Said once per key and run, however often it is read.
    static QSet<QString> told;
    if (!told.contains(path(section, key))) {
        told.insert(path(section, key));
        trace(QStringLiteral("Setting %1 refused: '%2' is no whole number from %3 to %4; %5 used")
                  .arg(path(section, key), text.left(40))
                  .arg(least)
                  .arg(most)
                  .arg(defaultValue));
    }
    return defaultValue;
}

void Settings::remove(const QString& section) {
    store().remove(section);
}

void Settings::clear() {
    store().clear();
}

} // namespace trq
