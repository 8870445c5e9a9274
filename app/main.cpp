// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "link/clock.h"
#include "link/commtasker.h"
#include "link/dlgconfigrs232.h"
#include "link/transportfactory.h"
#include "shell/datafolder.h"
#include "shell/dataform.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/prompter.h"
#include "shell/settings.h"
#include "sim/supply.h"

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
    QString commType;
    QString model;
    QString port; // a serial port for this start only, not stored until it opens
};

// Where the command line names a connection it is opened the way the
// toolbar's "On line" does.
std::optional<Connection> commandLineConnection(const QCommandLineParser& parser,
                                                const DataForm& data) {
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    if (parser.isSet(QStringLiteral("menu"))) {
        QStringList listed;
        for (const MachineTypeRecord& r : data.machineTypes())
            if (r.listed)
                listed << r.model;
        if (!listed.contains(value("menu")))
            refuse(QStringLiteral("model"), value("menu"), listed);
        return Connection{QStringLiteral("Menu"), value("menu"), {}};
    }
    if (parser.isSet(QStringLiteral("gpib"))) {
        const QStringList parts = value("gpib").split(QLatin1Char(':'));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("GPIBn"), parts.value(0));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Address"), parts.value(1));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"), {});
        return Connection{QStringLiteral("GPIB"), {}, {}};
    }
    if (parser.isSet(QStringLiteral("sim"))) {
        if (value("interface").toLower() == QLatin1String("gpib")) {
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("GPIBn"),
                                  QStringLiteral("0"));
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Address"),
                                  QStringLiteral("1"));
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"),
                                  value("sim"));
            return Connection{QStringLiteral("GPIB"), {}, {}};
        }
        return Connection{QStringLiteral("RS232"),
                          {},
                          QLatin1String(TransportFactory::kSimPrefix) + value("sim")};
    }
    if (parser.isSet(QStringLiteral("port")))
        return Connection{QStringLiteral("RS232"), {}, value("port")};
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
    TransportFactory factory;
    if (parser.isSet(QStringLiteral("port")))
        factory.addPortName(parser.value(QStringLiteral("port")));

    DataForm data;
    const QString folder = parser.isSet(QStringLiteral("data-folder"))
                               ? parser.value(QStringLiteral("data-folder"))
                               : DataForm::defaultFolder();
    // A per-user folder gets its database on first run; beside the program it
    // is installed with it.
    DataFolder dataFolder(folder);
    if (dataFolder.open(data, prompter, folder != QApplication::applicationDirPath()) ==
        DataFolder::Outcome::Quit)
        return 1;
    const std::optional<Connection> connection = commandLineConnection(parser, data);

    CommTasker tasker({clock, waiter, prompter});
    MDIForm1 main({tasker, data, prompter, waiter, factory});
    main.show();

    if (connection) {
        if (!connection->port.isEmpty())
            main.rs232Dialog()->setOneShotPort(
                connection->port, int(kBaudRates.indexOf(parser.value(QStringLiteral("baud")))));
        QTimer::singleShot(0, &main, [&main, c = *connection] {
            main.Setup(c.commType, c.model, c.commType != QLatin1String("Menu"));
        });
    }
    return QApplication::exec();
}
