// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/settings.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"
#include "sim/supply.h"
#include "storage/database.h"
#include "storage/datafolder.h"
#include "storage/recordstore.h"
#include "transports.h"
#include "ui/mainwindow.h"
#include "ui/messageboxprompter.h"
#include "ui/serialsettingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <optional>

using namespace trq;

namespace {

const QStringList kBaudRates{"9600", "4800", "2400", "1200", "115200", "57600"};
const QStringList kInterfaces{"rs232", "gpib"};

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Remote control, monitoring and recording of programmable DC power supplies.\n\n"
        "Without options the program starts off line. The options below go on line at start."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
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
             .arg(kBaudRates.join(QStringLiteral(", "))),
         QStringLiteral("rate"), QStringLiteral("9600")},
        {QStringLiteral("gpib"),
         QStringLiteral("GPIB instrument (NI-488.2 driver) to go on line with."),
         QStringLiteral("board:address")},
        {QStringLiteral("menu"), QStringLiteral("Open a model's panel in testing mode."),
         QStringLiteral("model")},
        {QStringLiteral("data-folder"),
         QStringLiteral("Folder of mtype.mdb (default: beside the program, else the user's "
                        "data folder)."),
         QStringLiteral("folder")},
    });
}

void setNames() {
    QCoreApplication::setApplicationName(QStringLiteral("POWER_TRQ"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(DebugTrace::kVersion));
}

// Help and version need no display: they are answered before any window
// system is touched.
bool answersWithoutDisplay(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all" || a == "-v" ||
            a == "--version")
            return true;
    }
    return false;
}

[[noreturn]] void refuse(const QString& what, const QString& value, const QStringList& choices) {
    std::fprintf(stderr, "Unknown %s %s; choose one of: %s\n", qPrintable(what), qPrintable(value),
                 qPrintable(choices.join(QStringLiteral(", "))));
    std::exit(2);
}

// Options whose values are known before anything opens.
void checkValues(const QCommandLineParser& parser) {
    const QString baud = parser.value(QStringLiteral("baud"));
    if (!kBaudRates.contains(baud))
        refuse(QStringLiteral("baud rate"), baud, kBaudRates);
    const QString kind = parser.value(QStringLiteral("interface")).toLower();
    if (!kInterfaces.contains(kind))
        refuse(QStringLiteral("interface"), parser.value(QStringLiteral("interface")), kInterfaces);
    if (parser.isSet(QStringLiteral("sim")) && !sim::findModel(parser.value(QStringLiteral("sim"))))
        refuse(QStringLiteral("simulated model"), parser.value(QStringLiteral("sim")),
               sim::simulatedModelNames());
}

struct Connection {
    InterfaceKind kind;
    QString model;
    QString port; // a serial port for this start only, not stored until it opens
};

// Where the command line names a connection it is opened the way the
// toolbar's "On line" does.
std::optional<Connection> commandLineConnection(const QCommandLineParser& parser,
                                                const QStringList& offeredModels) {
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    if (parser.isSet(QStringLiteral("menu"))) {
        if (!offeredModels.contains(value("menu")))
            refuse(QStringLiteral("model"), value("menu"), offeredModels);
        return Connection{InterfaceKind::TestingMode, value("menu"), {}};
    }
    if (parser.isSet(QStringLiteral("gpib"))) {
        const QStringList parts = value("gpib").split(QLatin1Char(':'));
        Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("GPIBn"), parts.value(0));
        Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("Address"), parts.value(1));
        Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("Simulated"), {});
        return Connection{InterfaceKind::Gpib, {}, {}};
    }
    if (parser.isSet(QStringLiteral("sim"))) {
        if (value("interface").toLower() == QLatin1String("gpib")) {
            Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("GPIBn"),
                               QStringLiteral("0"));
            Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("Address"),
                               QStringLiteral("1"));
            Settings::setValue(QStringLiteral("GPIB"), QStringLiteral("Simulated"), value("sim"));
            return Connection{InterfaceKind::Gpib, {}, {}};
        }
        return Connection{
            InterfaceKind::Serial, {}, QLatin1String(AppTransports::kSimPrefix) + value("sim")};
    }
    if (parser.isSet(QStringLiteral("port")))
        return Connection{InterfaceKind::Serial, {}, value("port")};
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    if (answersWithoutDisplay(argc, argv)) {
        QCoreApplication app(argc, argv);
        setNames();
        QCommandLineParser parser;
        describe(parser);
        parser.process(app); // prints and exits
        return 0;
    }

    QApplication app(argc, argv);
    setNames();
    QApplication::setApplicationDisplayName(QStringLiteral("POWER_TRQ"));
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    checkValues(parser);

    DebugTrace::instance();
    SteadyClock clock;
    EventLoopWaiter waiter;
    MessageBoxPrompter prompter;
    AppTransports transports;
    if (parser.isSet(QStringLiteral("port")))
        transports.addPortName(parser.value(QStringLiteral("port")));

    Database database;
    const QString folder = parser.isSet(QStringLiteral("data-folder"))
                               ? parser.value(QStringLiteral("data-folder"))
                               : Database::defaultFolder();
    // A per-user folder gets its database on first run; beside the program it
    // is installed with it.
    DataFolder dataFolder(folder);
    if (dataFolder.open(database, prompter, folder != QApplication::applicationDirPath()) ==
        DataFolder::Outcome::Quit)
        return 1;

    // The single wiring point: the link, the session over it, the window.
    TaskScheduler link({clock, waiter, prompter});
    RecordStore store(database.database());
    InstrumentSession session({link, database, store, prompter, transports});
    const std::optional<Connection> connection =
        commandLineConnection(parser, session.offeredModels());
    MainWindow main({session, prompter, waiter, transports});
    main.show();

    if (connection) {
        if (!connection->port.isEmpty())
            main.serialDialog()->setOneShotPort(
                connection->port, int(kBaudRates.indexOf(parser.value(QStringLiteral("baud")))));
        QTimer::singleShot(0, &main, [&main, c = *connection] {
            main.goOnLine(c.kind, c.model, c.kind != InterfaceKind::TestingMode);
        });
    }
    return QApplication::exec();
}
