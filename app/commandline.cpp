#include "commandline.h"

#include "core/settings.h"
#include "link/qtserialport.h"

#include "session/recordscale.h"
#include "sim/supply.h"
#include "transports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace trq {

namespace {

const QStringList kInterfaces{"rs232", "gpib"};

QStringList scaleNames() {
    QStringList names;
    for (const RecordScale& s : kRecordScales)
        names << QLatin1String(s.name);
    return names;
}

[[noreturn]] void refuse(const QString& what, const QString& value, const QStringList& choices) {
    std::fprintf(stderr, "Unknown %s %s; choose one of: %s\n", qPrintable(what), qPrintable(value),
                 qPrintable(choices.join(QStringLiteral(", "))));
    std::exit(CommandLine::BadOption);
}

[[noreturn]] void refuse(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::exit(CommandLine::BadOption);
}

// Why a file could not be written there, or nothing.
QString unwritable(const QString& path) {
    const QFileInfo file(path);
    if (file.isDir())
        return QStringLiteral("that is a folder, not a file");
    if (file.exists())
        return file.isWritable() ? QString() : QStringLiteral("the file may not be written");
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("the folder %1 does not exist")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isWritable())
        return QStringLiteral("the folder %1 may not be written")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    return {};
}

int wholeNumber(const QString& text, int least, int most, const QString& what) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < least || n > most)
        refuse(QStringLiteral("%1 must be a whole number from %2 to %3, not %4")
                   .arg(what)
                   .arg(least)
                   .arg(most)
                   .arg(text));
    return n;
}

std::optional<Connection> connectionOf(const QCommandLineParser& parser, int baudIndex) {
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    Connection c;
    c.baudIndex = baudIndex;
    c.serial.baud = baudRates().at(baudIndex).toInt();
    if (parser.isSet(QStringLiteral("gpib"))) {
        const QStringList parts = value("gpib").split(QLatin1Char(':'));
        if (parts.size() != 2)
            refuse(QStringLiteral("--gpib takes board:address, not %1").arg(value("gpib")));
        c.kind = InterfaceKind::Gpib;
        c.gpib.board =
            wholeNumber(parts.at(0), 0, Settings::kLastGpibBoard, QStringLiteral("The GPIB board"));
        c.gpib.address = wholeNumber(parts.at(1), 0, Settings::kLastGpibAddress,
                                     QStringLiteral("The GPIB address"));
        return c;
    }
    if (parser.isSet(QStringLiteral("sim"))) {
        if (value("interface").toLower() == QLatin1String("gpib")) {
            c.kind = InterfaceKind::Gpib;
            c.gpib = {0, 1, value("sim")};
            return c;
        }
        c.kind = InterfaceKind::Serial;
        c.serial.port = QLatin1String(AppTransports::kSimPrefix) + value("sim");
        return c;
    }
    if (parser.isSet(QStringLiteral("port"))) {
        c.kind = InterfaceKind::Serial;
        c.serial.port = value("port");
        return c;
    }
    return std::nullopt;
}

} // namespace

QStringList CommandLine::normalised(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a.startsWith(QLatin1String("--serve="))) {
            args << QStringLiteral("--serve") << QStringLiteral("--serve-port") << a.mid(8);
        } else {
            args << a;
        }
    }
    return args;
}

bool CommandLine::answersWithoutDisplay(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all" || a == "-v" ||
            a == "--version")
            return true;
    }
    return false;
}

void CommandLine::describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Remote control, monitoring and recording of programmable DC power supplies.\n\n"
        "Without options the program starts off line. --sim, --port, --gpib and --menu go on "
        "line at start; --headless runs without any window (exit codes: 0 done, 1 quit, 2 bad "
        "option, 3 no supply, 4 link lost, 5 not stored or a sequence stopped, 6 server not "
        "listening)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(options());
}

QList<QCommandLineOption> CommandLine::options() {
    return {
        {QStringLiteral("sim"),
         QStringLiteral("Simulated supply to go on line with: %1.")
             .arg(sim::simulatedModelNames().join(QStringLiteral(", "))),
         QStringLiteral("model")},
        {QStringLiteral("interface"),
         QStringLiteral("Link of the simulated supply: rs232 (default) or gpib."),
         QStringLiteral("kind"), QStringLiteral("rs232")},
        {QStringLiteral("port"),
         QStringLiteral("Serial port to go on line on (COM3, /dev/ttyUSB0, a pseudo-terminal)."),
         QStringLiteral("name")},
        {QStringLiteral("baud"),
         QStringLiteral("Baud rate for --port: %1 (default 9600).")
             .arg(baudRates().join(QStringLiteral(", "))),
         QStringLiteral("rate"), QStringLiteral("9600")},
        {QStringLiteral("poll"),
         QStringLiteral("How to poll the supply, for this start: specified (one query per 166 ms, "
                        "as the supplies are specified) or fast (each query as soon as the "
                        "previous answer is in). Without it, the choice of Interface > Polling."),
         QStringLiteral("mode")},
        {QStringLiteral("gpib"),
         QStringLiteral("GPIB instrument (NI-488.2 driver) to go on line with."),
         QStringLiteral("board:address")},
        {QStringLiteral("supply"),
         QStringLiteral("One supply of a bench, serial:PORT[@BAUD], gpib:BOARD:ADDRESS or "
                        "sim:MODEL, with NAME= in front to name it; repeat it for each supply. "
                        "They record together, each on its own link (and with --serve on its "
                        "own port: the first on the chosen one, the next on +1)."),
         QStringLiteral("supply")},
        {QStringLiteral("power-order"),
         QStringLiteral("How a bench's outputs go on (--output-on, and Bench on in the "
                        "windows), e.g. \"logic on, 200 ms, rail on\"; off is the reverse. Kept "
                        "with --bench. Without it, the kept bench's order, else each supply in "
                        "turn."),
         QStringLiteral("order")},
        {QStringLiteral("bench"),
         QStringLiteral("The supplies of the bench kept under this name; with --supply, keeps "
                        "those supplies under it."),
         QStringLiteral("name")},
        {QStringLiteral("menu"), QStringLiteral("Open a model's panel in testing mode."),
         QStringLiteral("model")},
        {QStringLiteral("data-folder"),
         QStringLiteral("Folder of mtype.mdb (default: beside the program, else the user's "
                        "data folder)."),
         QStringLiteral("folder")},
        {QStringLiteral("serve"),
         QStringLiteral("Serve the supply as a SCPI instrument on a raw socket, --serve=PORT "
                        "(default %1), on 127.0.0.1 and ::1.")
             .arg(ScpiServer::kDefaultPort)},
        {QStringLiteral("serve-port"), QStringLiteral("The port of --serve."),
         QStringLiteral("port")},
        {QStringLiteral("serve-remote"),
         QStringLiteral("Let --serve accept clients from other machines: anyone on the network "
                        "can then switch outputs.")},
        {QStringLiteral("mqtt"),
         QStringLiteral("Publish readings and events to the MQTT broker at host[:port] "
                        "(default port 1883); see also --mqtt-station."),
         QStringLiteral("host[:port]")},
        {QStringLiteral("mqtt-station"),
         QStringLiteral("The station name in the MQTT topics (default: this machine's name)."),
         QStringLiteral("name")},
        {QStringLiteral("database"),
         QStringLiteral("Keep the records in a lab's PostgreSQL database, the points sent on as "
                        "they are recorded: postgresql://user@host:port/database?sslmode=MODE; the "
                        "password comes from ~/.pgpass. See also --station."),
         QStringLiteral("uri")},
        {QStringLiteral("station"),
         QStringLiteral("The station the lab database keeps the points under (default: this "
                        "machine's name)."),
         QStringLiteral("name")},
        {QStringLiteral("language"),
         QStringLiteral("Language of the windows for this start: en or de (default: the "
                        "View > Language choice, else the system's language)."),
         QStringLiteral("code")},
        {QStringLiteral("reconnect"),
         QStringLiteral("Open a lost link again by itself (1 s, 2 s, 5 s, then every 10 s) and "
                        "go on with the session and its recording.")},
        {QStringLiteral("headless"),
         QStringLiteral("Run without any window; messages go to stderr.")},
        {QStringLiteral("verbose"),
         QStringLiteral("Headless: the full debug trace goes to stderr too (it is always "
                        "written to DODaLog.txt).")},
        {QStringLiteral("record"),
         QStringLiteral(
             "Headless: record this many seconds, then stop; \"continuous\" records until "
             "SIGINT or SIGTERM, which save what was recorded."),
         QStringLiteral("seconds")},
        {QStringLiteral("scale"),
         QStringLiteral("Headless: seconds per recorded point: %1 (default 1s).")
             .arg(scaleNames().join(QStringLiteral(", "))),
         QStringLiteral("scale"), QStringLiteral("1s")},
        {QStringLiteral("output-on"),
         QStringLiteral("Headless: switch the output on before recording.")},
        {QStringLiteral("save"), QStringLiteral("Headless: save the recording as a new record."),
         QStringLiteral("description")},
        {QStringLiteral("sequence"),
         QStringLiteral("Headless: run the sequence in this CSV file on the (first) supply and "
                        "end when it ends: exit 0 when it completed, 5 when it was stopped. With "
                        "--record (and --output-on) the recording runs until then."),
         QStringLiteral("file")},
        {QStringLiteral("csv"), QStringLiteral("Headless: write the recording as CSV."),
         QStringLiteral("file")},
        {QStringLiteral("save-parts"),
         QStringLiteral("Headless: every so many hours save the points since the last part as "
                        "a record, \"description (part k)\"; the rest when it stops."),
         QStringLiteral("hours")},
        {QStringLiteral("discard-unsaved"),
         QStringLiteral("Headless: a recording may replace unsaved points in the working "
                        "table.")},
    };
}

namespace {

// Text as roff takes it: backslashes and minus signs escaped, no line that
// starts with a control character.
QString roff(QString text) {
    text.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    text.replace(QLatin1Char('-'), QLatin1String("\\-"));
    text.replace(QLatin1Char('\n'), QLatin1String("\n.br\n"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QLatin1String("\\&"));
    return text;
}

} // namespace

QString CommandLine::manualOptions() {
    QString out;
    auto entry = [&out](const QStringList& names, const QString& value, const QString& text) {
        QStringList shown;
        for (const QString& n : names)
            shown << QLatin1String(n.size() == 1 ? "\\-" : "\\-\\-") + roff(n);
        out += QStringLiteral(".TP\n\\fB%1\\fR").arg(shown.join(QLatin1String(", ")));
        if (!value.isEmpty())
            out += QStringLiteral(" \\fI%1\\fR").arg(roff(value));
        out += QLatin1Char('\n') + roff(text) + QLatin1Char('\n');
    };
    for (const QCommandLineOption& o : options())
        if (!(o.flags() & QCommandLineOption::HiddenFromHelp))
            entry(o.names(), o.valueName(), o.description());
    entry({QStringLiteral("h"), QStringLiteral("help")}, {}, QStringLiteral("Every option."));
    entry({QStringLiteral("help-all")}, {}, QStringLiteral("Every option, Qt's own included."));
    entry({QStringLiteral("v"), QStringLiteral("version")}, {}, QStringLiteral("The version."));
    return out;
}

CommandLine CommandLine::read(const QCommandLineParser& parser) {
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    const auto isSet = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    CommandLine line;
    const QString baud = value("baud");
    if (!baudRates().contains(baud))
        refuse(QStringLiteral("baud rate"), baud, baudRates());
    if (!kInterfaces.contains(value("interface").toLower()))
        refuse(QStringLiteral("interface"), value("interface"), kInterfaces);
    if (isSet("sim") && !sim::findModel(value("sim")))
        refuse(QStringLiteral("simulated model"), value("sim"), sim::simulatedModelNames());
    if (!scaleNames().contains(value("scale")))
        refuse(QStringLiteral("scale"), value("scale"), scaleNames());
    if (isSet("poll")) {
        line.poll = pollModeNamed(value("poll"));
        if (!line.poll)
            refuse(QStringLiteral("poll mode"), value("poll"),
                   {pollModeName(PollMode::Specified), pollModeName(PollMode::Fast)});
    }
    line.headless = isSet("headless");
    line.connection = connectionOf(parser, int(baudRates().indexOf(baud)));
    for (const QString& text : parser.values(QStringLiteral("supply"))) {
        std::variant<SupplyAddress, QString> address = parseSupplyAddress(text);
        if (const QString* why = std::get_if<QString>(&address))
            refuse(*why);
        const SupplyAddress& a = std::get<SupplyAddress>(address);
        if (TransportFactory::isSimulated(a.serial.port) &&
            !sim::findModel(a.serial.port.mid(int(qstrlen(TransportFactory::kSimPrefix)))))
            refuse(QStringLiteral("simulated model"),
                   a.serial.port.mid(int(qstrlen(TransportFactory::kSimPrefix))),
                   sim::simulatedModelNames());
        for (const SupplyAddress& before : line.supplies)
            if (before.sameLink(a) ||
                (!a.name.isEmpty() && before.name.compare(a.name, Qt::CaseInsensitive) == 0))
                refuse(
                    QStringLiteral("--supply %1: that supply is on the bench already").arg(text));
        line.supplies.push_back(a);
    }
    line.bench = value("bench");
    line.powerOrder = value("power-order");
    const bool bench = !line.supplies.empty() || isSet("bench");
    if (bench && (line.connection || isSet("menu")))
        refuse(QStringLiteral("--supply and --bench name every supply: leave out --port, --sim, "
                              "--gpib and --menu"));
    if (line.supplies.size() > std::size_t(Settings::kMaxBenchSupplies))
        refuse(QStringLiteral("A bench has at most %1 supplies").arg(Settings::kMaxBenchSupplies));
    if (!line.headless && isSet("power-order") && !isSet("bench"))
        refuse(
            QStringLiteral("--power-order in the windows is kept with a bench: add --bench NAME"));
    if (!bench && isSet("power-order"))
        refuse(QStringLiteral("--power-order orders a bench: it needs --supply or --bench"));
    if (bench && isSet("save-parts"))
        refuse(QStringLiteral("--save-parts records one supply: leave it out with --supply"));
    line.menuModel = value("menu");
    if (line.headless && isSet("menu"))
        refuse(QStringLiteral("--menu opens a panel: it needs the windows"));
    line.dataFolder = value("data-folder");
    if (isSet("serve") || isSet("serve-port")) {
        ScpiServer::Options o;
        o.idleMinutes = ScpiServer::storedOptions(nullptr).idleMinutes;
        if (isSet("serve-port"))
            o.port =
                quint16(wholeNumber(value("serve-port"), 1, 65535, QStringLiteral("The port")));
        o.remote = isSet("serve-remote");
        line.serve = o;
    }
    if (isSet("record"))
        line.recordSeconds =
            value("record") == QStringLiteral("continuous")
                ? CommandLine::kContinuous
                : wholeNumber(value("record"), 1, 7 * 86400, QStringLiteral("The record length"));
    line.scale = int(scaleNames().indexOf(value("scale")));
    if (isSet("save"))
        line.save = value("save");
    line.csv = value("csv");
    if (isSet("sequence")) {
        QFile file(value("sequence"));
        if (!file.open(QIODevice::ReadOnly))
            refuse(QStringLiteral("--sequence %1: %2").arg(value("sequence"), file.errorString()));
        std::variant<Sequence, QString> s = Sequence::fromCsv(file.readAll());
        if (const QString* why = std::get_if<QString>(&s))
            refuse(QStringLiteral("--sequence %1: %2").arg(value("sequence"), *why));
        line.sequence = std::get<Sequence>(std::move(s));
    }
    if (isSet("save-parts"))
        line.partHours = wholeNumber(value("save-parts"), 1, RecordSetup::kMaxPartHours,
                                     QStringLiteral("The part length"));
    line.outputOn = isSet("output-on");
    line.verbose = isSet("verbose");
    line.discardUnsaved = isSet("discard-unsaved");
    line.reconnect = isSet("reconnect");
    if (isSet("language")) {
        line.language = languageFromCode(value("language"));
        if (!line.language) {
            QStringList codes;
            for (const LanguageInfo& l : languages())
                codes << QLatin1String(l.code);
            refuse(QStringLiteral("language"), value("language"), codes);
        }
    }
    if (isSet("mqtt")) {
        line.mqtt = MqttFeed::Options::fromText(value("mqtt"));
        if (!line.mqtt)
            refuse(QStringLiteral("--mqtt takes host[:port], the port 1 to 65535"));
        if (isSet("mqtt-station"))
            line.mqtt->station = value("mqtt-station");
    }
    if (isSet("database")) {
        std::variant<LabAddress, QString> address = LabAddress::parse(value("database"));
        if (const QString* why = std::get_if<QString>(&address))
            refuse(QStringLiteral("--database: %1").arg(*why));
        else
            line.database = std::get<LabAddress>(address);
    }
    line.station = isSet("station") ? value("station") : QSysInfo::machineHostName();
    const bool recordOnly = isSet("record") || isSet("save") || isSet("csv") ||
                            isSet("save-parts") || line.outputOn || isSet("sequence");
    if (recordOnly && !line.headless)
        refuse(QStringLiteral("--record, --save, --save-parts, --csv, --output-on and --sequence "
                              "need --headless"));
    if (line.headless && !line.connection && !bench)
        refuse(QStringLiteral("--headless needs a supply: --port, --sim, --gpib, --supply or "
                              "--bench"));
    if ((line.save || !line.csv.isEmpty() || line.partHours > 0) && line.recordSeconds == 0)
        refuse(QStringLiteral("--save, --save-parts and --csv need --record"));
    // Found now, not after hours of recording.
    if (!line.csv.isEmpty())
        if (const QString problem = unwritable(line.csv); !problem.isEmpty())
            refuse(QStringLiteral("--csv %1: %2").arg(line.csv, problem));
    if (line.connection && line.connection->kind == InterfaceKind::Serial)
        if (const QString problem = QtSerialPort::unsuitable(line.connection->serial.port);
            !problem.isEmpty())
            refuse(QStringLiteral("--port %1: %2").arg(line.connection->serial.port, problem));
    for (const SupplyAddress& a : line.supplies)
        if (a.kind == InterfaceKind::Serial && !TransportFactory::isSimulated(a.serial.port))
            if (const QString problem = QtSerialPort::unsuitable(a.serial.port); !problem.isEmpty())
                refuse(QStringLiteral("--supply %1: %2").arg(a.text(), problem));
    return line;
}

} // namespace trq
