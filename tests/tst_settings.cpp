// The settings file as earlier runs and hand edits leave it.
#include "core/settings.h"
#include "session/supplyinterface.h"
#include "support/testsupport.h"

#include <QFile>
#include <QSettings>

#include <functional>

using namespace trq;
using namespace trq::test;

namespace {

// A setting read and written through its typed accessors.
struct Accessor {
    QString name;
    std::function<QVariant(const Settings&)> get;
    std::function<void(Settings&, const QVariant&)> set;
};

#define TYPED(getter, setter)                                                                      \
    Accessor {                                                                                     \
        QStringLiteral(#getter),                                                                   \
            [](const Settings& s) { return QVariant::fromValue(s.getter()); },                     \
            [](Settings& s, const QVariant& v) {                                                   \
                s.setter(v.value<std::decay_t<decltype(s.getter())>>());                           \
            }                                                                                      \
    }

Accessor limits(const QString& model, const QString& serial = {}) {
    return {QStringLiteral("limitRules ") + model + serial,
            [=](const Settings& s) {
                const auto rules = s.limitRules(model, serial);
                return rules ? QVariant(*rules) : QVariant();
            },
            [=](Settings& s, const QVariant& v) {
                s.setLimitRules(model, serial,
                                v.isValid() ? std::optional(v.toStringList()) : std::nullopt);
            }};
}

Accessor bench(const QString& name) {
    return {QStringLiteral("benchSupplies ") + name,
            [=](const Settings& s) {
                const auto supplies = s.benchSupplies(name);
                return supplies ? QVariant(*supplies) : QVariant();
            },
            [=](Settings& s, const QVariant& v) {
                s.setBenchSupplies(name,
                                   v.isValid() ? std::optional(v.toStringList()) : std::nullopt);
            }};
}

Accessor colour(int channel) {
    return {QStringLiteral("channelColour%1").arg(channel),
            [=](const Settings& s) { return QVariant(s.channelColour(channel)); },
            [=](Settings& s, const QVariant& v) { s.setChannelColour(channel, v.toString()); }};
}

const std::vector<Accessor>& accessors() {
    static const std::vector<Accessor> all{
        TYPED(lastInterface, setLastInterface),
        TYPED(lastModel, setLastModel),
        TYPED(reconnect, setReconnect),
        TYPED(readTimeSeconds, setReadTimeSeconds),
        TYPED(serialPortName, setSerialPortName),
        TYPED(serialPortNumber, setSerialPortNumber),
        TYPED(serialPortIndex, setSerialPortIndex),
        TYPED(serialBaud, setSerialBaud),
        TYPED(serialBaudIndex, setSerialBaudIndex),
        TYPED(gpibBoard, setGpibBoard),
        TYPED(gpibAddress, setGpibAddress),
        TYPED(gpibSimulatedModel, setGpibSimulatedModel),
        TYPED(autoStartMemory, setAutoStartMemory),
        TYPED(autoEndMemory, setAutoEndMemory),
        TYPED(autoCycle, setAutoCycle),
        TYPED(delay, setDelay),
        TYPED(memory, setMemory),
        TYPED(recordDays, setRecordDays),
        TYPED(recordHours, setRecordHours),
        TYPED(recordMinutes, setRecordMinutes),
        TYPED(recordSeconds, setRecordSeconds),
        TYPED(recordScale, setRecordScale),
        TYPED(recordOperation, setRecordOperation),
        TYPED(recordContinuous, setRecordContinuous),
        TYPED(recordPartHours, setRecordPartHours),
        colour(1),
        colour(2),
        colour(3),
        colour(4),
        TYPED(waitingTime, setWaitingTime),
        TYPED(roundTime, setRoundTime),
        TYPED(writerTime, setWriterTime),
        TYPED(serverEnabled, setServerEnabled),
        TYPED(serverPort, setServerPort),
        TYPED(serverRemote, setServerRemote),
        TYPED(serverIdleMinutes, setServerIdleMinutes),
        TYPED(feedEnabled, setFeedEnabled),
        TYPED(feedHost, setFeedHost),
        TYPED(feedPort, setFeedPort),
        TYPED(feedStation, setFeedStation),
        TYPED(feedUser, setFeedUser),
        TYPED(feedPassword, setFeedPassword),
        TYPED(feedTls, setFeedTls),
        TYPED(feedCaFile, setFeedCaFile),
        limits({}),
        limits(QStringLiteral("PSQ-3323")),
        limits(QStringLiteral("PSQ-3323"), "SN/7"),
        TYPED(toolbarCaptions, setToolbarCaptions),
        bench(QStringLiteral("rail/B")),
        TYPED(lastBench, setLastBench),
        Accessor{QStringLiteral("pollMode"),
                 [](const Settings& s) { return QVariant(int(s.pollMode())); },
                 [](Settings& s, const QVariant& v) { s.setPollMode(PollMode(v.toInt())); }},
        Accessor{QStringLiteral("language"),
                 [](const Settings& s) {
                     return s.language() ? QVariant(int(*s.language())) : QVariant();
                 },
                 [](Settings& s, const QVariant& v) {
                     s.setLanguage(v.isValid() ? std::optional(Language(v.toInt())) : std::nullopt);
                 }}};
    return all;
}

// Every setting as the program has always written it; an empty one too.
const char* const kEverySetting = R"([AutoMode]
Cycle=12
EndMemory=3
StartMemory=1

[Automation]
Enabled=1
IdleMinutes=30
Port=5026
Remote=1

[Bench.rail%252FB]
Count=2
Supply1="logic=serial:/dev/ttyUSB0@115200"
Supply2=gpib:0:7

[Common]
Bench=rail/B
CommType=GPIB
Language=de
MType=PSQ-3323
PollMode=fast
Reconnect=1
ToolbarCaptions=0

[Delay]
Delay=4

[GPIB]
Address=7
GPIBn=1
Simulated=

[Limits]
Count=1
Rule1="1,V,1,,0,0"

[Limits.PSQ-3323]
Count=2
Rule1="1,V,,30,0,1"
Rule2="2,W,,60,5,4"

[Limits.PSQ-3323.SN%252F7]
Count=1
Rule1="2,A,,1.5,3,2"

[MQTT]
CAFile=/etc/ssl/lab.pem
Enabled=1
Host=broker.lab
Password="a,b=c"
Port=8883
Station=bench 4
TLS=1
User=lab

[Memory]
Memory=2

[RECORDPERIOD]
Ch1Color=255
Ch2Color=65280
Ch3Color=16711680
Ch4Color=0
Continuous=1
Days=2
Hours=3
Miniutes=4
PartHours=6
RecPointStyle=2
RecScale=5
RoundTime=3000
Seconds=35
WaitingTime=500
WriterTime=0

[RS232]
BaudRate=57600
BaudRateIndex=5
ComPort=3
ComPortIndex=2
PortName=COM3

[ReadTimes]
ReadTimes=30
)";

QString fileName() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QLatin1String(Settings::kApplication))
        .fileName();
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    // Each row is a settings file; read, each setting is what it says or,
    // refused with a trace line, its default. The file of every setting
    // reads and writes back to the same text.
    void fileTextReadsAsTypedSettings_data() {
        columns<QByteArray, QString, QVariant, bool>("file", "setting", "reads", "refused");
        row("every setting", QByteArray(kEverySetting), QString(), QVariant(), false);
        const auto read = [](const char* name, const char* file, const char* setting,
                             const QVariant& reads, bool refused) {
            row(name, QByteArray(file), QString::fromLatin1(setting), reads, refused);
        };
        read("below the range", "[Automation]\nIdleMinutes=0\n", "serverIdleMinutes", 10, true);
        read("above the range", "[RECORDPERIOD]\nDays=32\n", "recordDays", 0, true);
        read("no number", "[RECORDPERIOD]\nHours=soon\n", "recordHours", 0, true);
        read("read time over 2 min", "[ReadTimes]\nReadTimes=121\n", "readTimeSeconds", 5, true);
        read("feed port too large", "[MQTT]\nPort=65536\n", "feedPort", 1883, true);
        read("flag no number", "[Common]\nToolbarCaptions=yes\n", "toolbarCaptions", true, true);
        read("unknown language", "[Common]\nLanguage=xx\n", "language", QVariant(), true);
        read("unknown poll mode", "[Common]\nPollMode=turbo\n", "pollMode",
             int(PollMode::Specified), true);
        read("absurd rule count", "[Limits]\nCount=2147483647\n", "limitRules ", QStringList(),
             true);
        read("absurd supply count", "[Bench.rail%252FB]\nCount=99\n", "benchSupplies rail/B",
             QStringList(), true);
        read("every GPIB board listed", "[GPIB]\nGPIBn=10\n", "gpibBoard", 10, false);
        read("spaces around a number", "[RS232]\nComPort= 4 \n", "serialPortNumber", 4, false);
    }
    void fileTextReadsAsTypedSettings() {
        auto [file, setting, reads, refused] =
            fetch<QByteArray, QString, QVariant, bool>("file", "setting", "reads", "refused");
        clearSettings();
        QFile out(fileName());
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        Settings& s = Settings::instance();
        TraceCapture trace;
        if (!setting.isEmpty()) {
            const auto a = std::find_if(accessors().begin(), accessors().end(),
                                        [&](const Accessor& each) { return each.name == setting; });
            QVERIFY(a != accessors().end());
            QCOMPARE(a->get(s), reads);
            QCOMPARE(trace.lines.filter(QStringLiteral("refused")).size(), refused ? 1 : 0);
            return;
        }
        QVariantList values;
        for (const Accessor& a : accessors())
            values << a.get(s);
        clearSettings();
        QSignalSpy days(&s, &Settings::recordDaysChanged);
        QSignalSpy host(&s, &Settings::feedHostChanged);
        for (int twice = 0; twice < 2; ++twice)
            for (std::size_t i = 0; i < accessors().size(); ++i)
                accessors()[i].set(s, values[qsizetype(i)]);
        QFile in(fileName());
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(in.readAll()), QString::fromUtf8(file));
        QCOMPARE(days.size() + host.size(), 2); // the second time changes nothing
        QCOMPARE(trace.lines, QStringList());
    }

    // A bench keeps its supplies as the command line names them: each reads
    // back as the same supply, or is refused saying why.
    void benchSuppliesReadBackAsNamed_data() {
        // reads: the address as kept; empty when refused, with why.
        columns<QString, QString, QString>("text", "reads", "why");
        row("serial, the first rate", "serial:/dev/ttyUSB0", "serial:/dev/ttyUSB0@9600", "");
        row("serial at a rate, named", "rail B=serial:/dev/ttyUSB1@115200",
            "rail B=serial:/dev/ttyUSB1@115200", "");
        row("a port with '@' and '='", "serial:/dev/serial/by-id/a=b@1@38400",
            "serial:/dev/serial/by-id/a=b@1@38400", "");
        row("gpib", "GPIB:1:30", "gpib:1:30", "");
        row("simulated, named", "logic=sim:PSQ-3323", "logic=sim:PSQ-3323", "");
        row("spaces around", " logic = sim:PSQ-3323 ", "logic=sim:PSQ-3323", "");
        row("a rate not offered", "serial:COM1@300", "",
            "the rate after the last @ is one of 9600");
        row("'@' in a port without a rate", "serial:/dev/by-id/a@1", "",
            "the rate after the last @ is one of 9600");
        row("a simulated port as serial", "serial:SIM:PSQ-3323", "", "not serial:SIM");
        row("address out of range", "gpib:0:31", "", "address 0 to 30");
        row("board only", "gpib:0", "", "board 0 to 10");
        row("empty name", "=sim:PSQ-3323", "", "an empty name");
        row("no kind", "/dev/ttyUSB0", "", "not /dev/ttyUSB0");
        row("nothing after the kind", "sim:", "", "not sim:");
    }
    void benchSuppliesReadBackAsNamed() {
        auto [text, reads, why] = fetch<QString, QString, QString>("text", "reads", "why");
        const std::variant<SupplyAddress, QString> parsed = parseSupplyAddress(text);
        const auto* refused = std::get_if<QString>(&parsed);
        QCOMPARE(refused != nullptr, reads.isEmpty());
        if (refused) {
            QVERIFY2(refused->contains(why), qPrintable(*refused));
            return;
        }
        const SupplyAddress& address = std::get<SupplyAddress>(parsed);
        QCOMPARE(address.text(), reads);
        const auto again = parseSupplyAddress(address.text());
        QVERIFY(std::holds_alternative<SupplyAddress>(again) &&
                std::get<SupplyAddress>(again) == address);
    }

    // A bench longer than what is read back keeps its first supplies, never
    // none of them, and its power order.
    void aLongBenchKeepsItsFirstSupplies() {
        clearSettings();
        QStringList supplies;
        for (int i = 0; i <= Settings::kMaxBenchSupplies; ++i)
            supplies << QStringLiteral("sim:PSQ-3323");
        Settings& settings = Settings::instance();
        settings.setBenchPowerOrder(QStringLiteral("rack"),
                                    QStringLiteral("logic on, 1 s, fan on"));
        settings.setBenchSupplies(QStringLiteral("rack"), supplies);
        QCOMPARE(settings.benchSupplies(QStringLiteral("rack")),
                 std::optional(supplies.mid(0, Settings::kMaxBenchSupplies)));
        // Its order stays with it, and goes when the bench is forgotten.
        QCOMPARE(settings.benchPowerOrder(QStringLiteral("rack")),
                 QStringLiteral("logic on, 1 s, fan on"));
        settings.setBenchSupplies(QStringLiteral("rack"), std::nullopt);
        QCOMPARE(settings.benchPowerOrder(QStringLiteral("rack")), QString());
    }
};

TRQ_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
