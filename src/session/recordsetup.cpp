#include "session/recordsetup.h"

#include "core/settings.h"

#include <algorithm>

namespace trq {

int RecordSetup::clampedScale() const {
    return std::clamp(scale, 0, int(kRecordScales.size()) - 1);
}

void RecordSetup::load() {
    const QString section = QLatin1String(kSection);
    auto integer = [&](const char* key, int most) {
        return Settings::integer(section, QLatin1String(key), 0, 0, most);
    };
    days = integer("Days", kMaxDays);
    hours = integer("Hours", 23);
    minutes = integer("Miniutes", 59);
    seconds = integer("Seconds", 59);
    scale = integer("RecScale", int(kRecordScales.size()) - 1);
    operation = integer("RecPointStyle", 2);
    continuous = integer("Continuous", 1) != 0;
    partHours = integer("PartHours", kMaxPartHours);
    for (int n = 0; n < 4; ++n)
        colours[std::size_t(n)] = Settings::value(section, QStringLiteral("Ch%1Color").arg(n + 1));
    waitingTime = Settings::value(section, QStringLiteral("WaitingTime"));
    roundTime = Settings::value(section, QStringLiteral("RoundTime"));
    writerTime = Settings::value(section, QStringLiteral("WriterTime"));
}

void RecordSetup::save() const {
    const QString section = QLatin1String(kSection);
    const std::pair<const char*, int> integers[] = {{"Days", days},
                                                    {"Hours", hours},
                                                    {"Miniutes", minutes},
                                                    {"Seconds", seconds},
                                                    {"RecScale", scale},
                                                    {"RecPointStyle", operation},
                                                    {"Continuous", continuous ? 1 : 0},
                                                    {"PartHours", partHours}};
    for (const auto& [key, value] : integers)
        Settings::setInteger(section, QLatin1String(key), value);
    for (int n = 0; n < 4; ++n)
        Settings::setValue(section, QStringLiteral("Ch%1Color").arg(n + 1),
                           colours[std::size_t(n)]);
    Settings::setValue(section, QStringLiteral("WaitingTime"), waitingTime);
    Settings::setValue(section, QStringLiteral("RoundTime"), roundTime);
    Settings::setValue(section, QStringLiteral("WriterTime"), writerTime);
}

} // namespace trq
