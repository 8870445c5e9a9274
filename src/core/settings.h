#pragma once

#include <QString>

namespace trq {

// The per-user settings store of the application "TRQ-1-0": text values by
// section and key (the registry on Windows, a file elsewhere).
class Settings {
public:
    static constexpr const char* kApplication = "TRQ-1-0";

    static QString value(const QString& section, const QString& key,
                         const QString& defaultValue = {});
    static void setValue(const QString& section, const QString& key, const QString& value);
    // Whole numbers are kept as their decimal text; anything else reads as
    // the default.
    static int integer(const QString& section, const QString& key, int defaultValue);
    // A whole number from least to most; anything else (unreadable, or
    // absurd, as a damaged or hand-edited file may hold) is refused with one
    // trace line and reads as the default.
    static int integer(const QString& section, const QString& key, int defaultValue, int least,
                       int most);
    static void setInteger(const QString& section, const QString& key, int value) {
        setValue(section, key, QString::number(value));
    }
    // Forgets a whole section.
    static void remove(const QString& section);
    // Forgets every value (tests start from first-run settings).
    static void clear();
};

} // namespace trq
