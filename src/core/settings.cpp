#include "core/settings.h"

#include "core/debugtrace.h"

#include <QSet>
#include <QSettings>
#include <QUrl>

#include <type_traits>

namespace trq {

namespace {

// A setting's place, "section/key", its default and the values it may take.
struct Whole {
    const char* key;
    int fallback, least, most;
};
struct Flag {
    const char* key;
    bool fallback;
};
struct Words {
    const char* key;
};
struct PollChoice {
    const char* key;
};

constexpr int kInt16 = 32767; // the number dialogs take nothing larger
constexpr const char* kChannelColour = "RECORDPERIOD/Ch%1Color";
// Sections "Limits" and "Limits.<model>[.<serial>]".
constexpr const char* kLimits = "Limits";
constexpr const char* kCount = "Count";
constexpr const char* kLimitRule = "Rule%1";
constexpr const char* kLanguage = "Common/Language";
// Sections "Bench.<name>", each a list of supplies.
constexpr const char* kBench = "Bench.";
constexpr const char* kBenchSupply = "Supply%1";
constexpr const char* kBenchPowerOrder = "PowerOrder";

QSettings store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(Settings::kApplication));
}

QString textAt(const QString& key) {
    return store().value(key).toString();
}

// A missing key is written too, so the file holds what was chosen.
void writeText(const QString& key, const QString& text) {
    QSettings s = store();
    const QVariant old = s.value(key);
    if (!old.isValid() || old.toString() != text)
        s.setValue(key, text);
}

// Said once per key and run, however often it is read.
void refuse(const QString& key, const QString& text, const QString& wanted, const QString& used) {
    static QSet<QString> told;
    if (told.contains(key))
        return;
    told.insert(key);
    trace(QStringLiteral("Setting %1 refused: '%2' is %3; %4 used")
              .arg(key, text.left(40), wanted, used));
}

// Damaged or hand-edited files may hold anything.
int wholeAt(const QString& key, int fallback, int least, int most) {
    const QString text = textAt(key);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok && value >= least && value <= most)
        return value;
    refuse(key, text, QStringLiteral("no whole number from %1 to %2").arg(least).arg(most),
           QString::number(fallback));
    return fallback;
}

int read(const Whole& w) {
    return wholeAt(QLatin1String(w.key), w.fallback, w.least, w.most);
}

// Any whole number: 0 is off, the rest on.
bool read(const Flag& f) {
    const QString key = QLatin1String(f.key);
    const QString text = textAt(key);
    if (text.isEmpty())
        return f.fallback;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok)
        return value != 0;
    refuse(key, text, QStringLiteral("no whole number"), QString::number(f.fallback ? 1 : 0));
    return f.fallback;
}

QString read(const Words& w) {
    return textAt(QLatin1String(w.key));
}
PollMode read(const PollChoice& c) {
    const QString key = QLatin1String(c.key);
    const QString text = textAt(key);
    if (text.isEmpty())
        return PollMode::Specified;
    if (const std::optional<PollMode> mode = pollModeNamed(text.trimmed()))
        return *mode;
    refuse(key, text, QStringLiteral("no poll mode"), pollModeName(PollMode::Specified));
    return PollMode::Specified;
}

QString textOf(int value) {
    return QString::number(value);
}
QString textOf(bool value) {
    return QString::number(value ? 1 : 0);
}
QString textOf(const QString& value) {
    return value;
}
QString textOf(PollMode mode) {
    return pollModeName(mode);
}

template <typename Key, typename Value, typename Signal>
void put(Settings* settings, const Key& key, const Value& value, Signal changed) {
    const Value before = read(key);
    writeText(QLatin1String(key.key), textOf(value));
    if (before != value)
        emit(settings->*changed)(value);
}

// Each part encoded, so that no name reaches into another's section.
QString sectionPart(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, {}, "."));
}

QString limitSection(const QString& model, const QString& serial) {
    QString section = QLatin1String(kLimits);
    if (!model.isEmpty())
        section += QLatin1Char('.') + sectionPart(model);
    if (!model.isEmpty() && !serial.isEmpty())
        section += QLatin1Char('.') + sectionPart(serial);
    return section + QLatin1Char('/');
}

QString benchSection(const QString& name) {
    return QLatin1String(kBench) + sectionPart(name) + QLatin1Char('/');
}

// A list kept as "<section>Count" and "<section><item n>", n from 1; none
// without a count.
std::optional<QStringList> listAt(const QString& section, const char* item, int most) {
    if (textAt(section + QLatin1String(kCount)).isEmpty())
        return std::nullopt;
    QStringList list;
    const int count = wholeAt(section + QLatin1String(kCount), 0, 0, most);
    for (int i = 1; i <= count; ++i)
        list << textAt(section + QString::fromLatin1(item).arg(i));
    return list;
}

// At most what listAt reads back is written, so a list never reads back
// as none.
void writeList(const QString& section, const char* item, std::optional<QStringList> list,
               int most) {
    store().remove(section.chopped(1)); // no item of a longer list stays behind
    if (!list)
        return;
    if (list->size() > most) {
        trace(QStringLiteral("Setting %1 kept only its first %2 of %3 entries")
                  .arg(section.chopped(1))
                  .arg(most)
                  .arg(list->size()));
        *list = list->mid(0, most);
    }
    writeText(section + QLatin1String(kCount), QString::number(list->size()));
    for (qsizetype i = 0; i < list->size(); ++i)
        writeText(section + QString::fromLatin1(item).arg(i + 1), list->at(i));
}

} // namespace

Settings& Settings::instance() {
    static Settings settings;
    return settings;
}

void Settings::clear() {
    store().clear();
}

template <typename T> using Param = std::conditional_t<std::is_class_v<T>, const T&, T>;

#define TRQ_SETTING(Type, name, setter, key)                                                       \
    Type Settings::name() const {                                                                  \
        return read(key);                                                                          \
    }                                                                                              \
    void Settings::setter(Param<Type> value) {                                                     \
        put(this, key, value, &Settings::name##Changed);                                           \
    }

TRQ_SETTING(QString, lastInterface, setLastInterface, Words{"Common/CommType"})
TRQ_SETTING(QString, lastModel, setLastModel, Words{"Common/MType"})
TRQ_SETTING(bool, reconnect, setReconnect, (Flag{"Common/Reconnect", false}))
// The dialog's range, so what it shows is what the poll takes.
TRQ_SETTING(int, readTimeSeconds, setReadTimeSeconds, (Whole{"ReadTimes/ReadTimes", 5, 0, 120}))
TRQ_SETTING(PollMode, pollMode, setPollMode, PollChoice{"Common/PollMode"})
TRQ_SETTING(QString, lastBench, setLastBench, Words{"Common/Bench"})

TRQ_SETTING(QString, serialPortName, setSerialPortName, Words{"RS232/PortName"})
TRQ_SETTING(int, serialPortNumber, setSerialPortNumber, (Whole{"RS232/ComPort", 1, 0, 255}))
TRQ_SETTING(int, serialPortIndex, setSerialPortIndex, (Whole{"RS232/ComPortIndex", 0, 0, 255}))
TRQ_SETTING(int, serialBaud, setSerialBaud, (Whole{"RS232/BaudRate", 9600, 50, 4000000}))
TRQ_SETTING(int, serialBaudIndex, setSerialBaudIndex, (Whole{"RS232/BaudRateIndex", 0, 0, 63}))

TRQ_SETTING(int, gpibBoard, setGpibBoard, (Whole{"GPIB/GPIBn", 0, 0, Settings::kLastGpibBoard}))
TRQ_SETTING(int, gpibAddress, setGpibAddress,
            (Whole{"GPIB/Address", 0, 0, Settings::kLastGpibAddress}))
TRQ_SETTING(QString, gpibSimulatedModel, setGpibSimulatedModel, Words{"GPIB/Simulated"})

TRQ_SETTING(int, autoStartMemory, setAutoStartMemory, (Whole{"AutoMode/StartMemory", 0, 0, kInt16}))
TRQ_SETTING(int, autoEndMemory, setAutoEndMemory, (Whole{"AutoMode/EndMemory", 0, 0, kInt16}))
TRQ_SETTING(int, autoCycle, setAutoCycle, (Whole{"AutoMode/Cycle", 0, 0, kInt16}))
TRQ_SETTING(int, delay, setDelay, (Whole{"Delay/Delay", 0, 0, kInt16}))
TRQ_SETTING(int, memory, setMemory, (Whole{"Memory/Memory", 0, 0, kInt16}))

TRQ_SETTING(int, recordDays, setRecordDays, (Whole{"RECORDPERIOD/Days", 0, 0, kMaxRecordDays}))
TRQ_SETTING(int, recordHours, setRecordHours, (Whole{"RECORDPERIOD/Hours", 0, 0, 23}))
TRQ_SETTING(int, recordMinutes, setRecordMinutes, (Whole{"RECORDPERIOD/Miniutes", 0, 0, 59}))
TRQ_SETTING(int, recordSeconds, setRecordSeconds, (Whole{"RECORDPERIOD/Seconds", 0, 0, 59}))
TRQ_SETTING(int, recordScale, setRecordScale,
            (Whole{"RECORDPERIOD/RecScale", 0, 0, kRecordScaleCount - 1}))
TRQ_SETTING(int, recordOperation, setRecordOperation,
            (Whole{"RECORDPERIOD/RecPointStyle", 0, 0, kPointOperationCount - 1}))
TRQ_SETTING(bool, recordContinuous, setRecordContinuous, (Flag{"RECORDPERIOD/Continuous", false}))
TRQ_SETTING(int, recordPartHours, setRecordPartHours,
            (Whole{"RECORDPERIOD/PartHours", 0, 0, kMaxPartHours}))
TRQ_SETTING(QString, waitingTime, setWaitingTime, Words{"RECORDPERIOD/WaitingTime"})
TRQ_SETTING(QString, roundTime, setRoundTime, Words{"RECORDPERIOD/RoundTime"})
TRQ_SETTING(QString, writerTime, setWriterTime, Words{"RECORDPERIOD/WriterTime"})

TRQ_SETTING(bool, serverEnabled, setServerEnabled, (Flag{"Automation/Enabled", false}))
TRQ_SETTING(int, serverPort, setServerPort,
            (Whole{"Automation/Port", kDefaultServerPort, 0, 65535}))
TRQ_SETTING(bool, serverRemote, setServerRemote, (Flag{"Automation/Remote", false}))
TRQ_SETTING(int, serverIdleMinutes, setServerIdleMinutes,
            (Whole{"Automation/IdleMinutes", kDefaultIdleMinutes, 1, kMaxIdleMinutes}))

TRQ_SETTING(bool, feedEnabled, setFeedEnabled, (Flag{"MQTT/Enabled", false}))
TRQ_SETTING(QString, feedHost, setFeedHost, Words{"MQTT/Host"})
TRQ_SETTING(int, feedPort, setFeedPort, (Whole{"MQTT/Port", 1883, 1, 65535}))
TRQ_SETTING(QString, feedStation, setFeedStation, Words{"MQTT/Station"})
TRQ_SETTING(QString, feedUser, setFeedUser, Words{"MQTT/User"})
TRQ_SETTING(QString, feedPassword, setFeedPassword, Words{"MQTT/Password"})
TRQ_SETTING(bool, feedTls, setFeedTls, (Flag{"MQTT/TLS", false}))
TRQ_SETTING(QString, feedCaFile, setFeedCaFile, Words{"MQTT/CAFile"})
TRQ_SETTING(bool, feedDiscovery, setFeedDiscovery, (Flag{"MQTT/Discovery", false}))
TRQ_SETTING(bool, labEnabled, setLabEnabled, (Flag{"LabDatabase/Enabled", false}))
TRQ_SETTING(QString, labAddress, setLabAddress, Words{"LabDatabase/Address"})
TRQ_SETTING(QString, labStation, setLabStation, Words{"LabDatabase/Station"})

TRQ_SETTING(bool, toolbarCaptions, setToolbarCaptions, (Flag{"Common/ToolbarCaptions", true}))

#undef TRQ_SETTING

QString Settings::channelColour(int channel) const {
    return textAt(QString::fromLatin1(kChannelColour).arg(channel));
}

void Settings::setChannelColour(int channel, const QString& colour) {
    const QString before = channelColour(channel);
    writeText(QString::fromLatin1(kChannelColour).arg(channel), colour);
    if (before != colour)
        emit channelColourChanged(channel, colour);
}

std::optional<QStringList> Settings::limitRules(const QString& model, const QString& serial) const {
    return listAt(limitSection(model, serial), kLimitRule, kMaxLimitRules);
}

void Settings::setLimitRules(const QString& model, const QString& serial,
                             const std::optional<QStringList>& rules) {
    const std::optional<QStringList> before = limitRules(model, serial);
    writeList(limitSection(model, serial), kLimitRule, rules, kMaxLimitRules);
    if (before != rules)
        emit limitRulesChanged(model, serial);
}

QStringList Settings::benchNames() const {
    QStringList names;
    for (const QString& group : store().childGroups())
        if (group.startsWith(QLatin1String(kBench)))
            names << QUrl::fromPercentEncoding(group.mid(int(qstrlen(kBench))).toLatin1());
    names.sort(Qt::CaseInsensitive);
    return names;
}

std::optional<QStringList> Settings::benchSupplies(const QString& name) const {
    return listAt(benchSection(name), kBenchSupply, kMaxBenchSupplies);
}

void Settings::setBenchSupplies(const QString& name, const std::optional<QStringList>& supplies) {
    const std::optional<QStringList> before = benchSupplies(name);
    const QString order = benchPowerOrder(name);
    writeList(benchSection(name), kBenchSupply, supplies, kMaxBenchSupplies);
    // A bench forgotten takes its order along; one kept anew keeps it.
    if (supplies && !order.isEmpty())
        writeText(benchSection(name) + QLatin1String(kBenchPowerOrder), order);
    if (before != supplies)
        emit benchChanged(name);
}

QString Settings::benchPowerOrder(const QString& name) const {
    return textAt(benchSection(name) + QLatin1String(kBenchPowerOrder));
}

void Settings::setBenchPowerOrder(const QString& name, const QString& order) {
    const QString before = benchPowerOrder(name);
    writeText(benchSection(name) + QLatin1String(kBenchPowerOrder), order);
    if (before != order)
        emit benchChanged(name);
}

std::optional<Language> Settings::language() const {
    const QString text = textAt(QLatin1String(kLanguage));
    const std::optional<Language> language = languageFromCode(text);
    if (!language && !text.isEmpty())
        refuse(QLatin1String(kLanguage), text, QStringLiteral("no language of the program"),
               QStringLiteral("the system's"));
    return language;
}

void Settings::setLanguage(std::optional<Language> language) {
    const std::optional<Language> before = Settings::language();
    writeText(QLatin1String(kLanguage),
              language ? QLatin1String(languageInfo(*language).code) : QString());
    if (before != language)
        emit languageChanged(language);
}

} // namespace trq
