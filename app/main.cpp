// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "automation/scpiserver.h"
#include "commandline.h"
#include "consoleprompter.h"
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/language.h"
#include "core/settings.h"
#include "headlessrun.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"
#include "storage/database.h"
#include "storage/datafolder.h"
#include "storage/recordstore.h"
#include "transports.h"
#include "ui/gpibsettingsdialog.h"
#include "ui/mainwindow.h"
#include "ui/messageboxprompter.h"
#include "ui/serialsettingsdialog.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace trq;

namespace {

void setNames() {
    QCoreApplication::setApplicationName(QStringLiteral("POWER_TRQ"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(DebugTrace::kVersion));
}

// The database in the folder the command line or the defaults name; nothing
// when the user chose to quit.
bool openData(Database& database, Prompter& prompter, DataFolder& folder, const QString& path) {
    // A per-user folder gets its database on first run; beside the program it
    // is installed with it.
    return folder.open(database, prompter, path != QCoreApplication::applicationDirPath()) !=
           DataFolder::Outcome::Quit;
}

// The lab feed, from the command line or the settings; none when neither
// asks for it.
std::unique_ptr<MqttFeed> startFeed(InstrumentSession& session,
                                    const std::optional<MqttFeed::Options>& fromCommandLine) {
    const MqttFeed::Options o = fromCommandLine ? *fromCommandLine : MqttFeed::Options::load();
    if (!o.enabled || o.host.trimmed().isEmpty())
        return nullptr;
    auto feed = std::make_unique<MqttFeed>(session, o);
    feed->start();
    return feed;
}

QString folderOf(const CommandLine& line) {
    return line.dataFolder.isEmpty() ? Database::defaultFolder() : line.dataFolder;
}

int runHeadless(const CommandLine& line) {
    // The console gets messages; the whole trace only when asked for.
    DebugTrace::instance().setEchoToStderr(line.verbose);
    SteadyClock clock;
    ConsolePrompter prompter;
    AppTransports transports;
    Database database;
    DataFolder dataFolder(folderOf(line));
    if (!openData(database, prompter, dataFolder, folderOf(line)))
        return CommandLine::Quit;
    TaskScheduler link({clock, prompter});
    RecordStore store(database.database());
    InstrumentSession session({link, database, store, prompter, transports});
    session.setReconnect(line.reconnect);
    ScpiServer server(session);
    QObject::connect(&server, &ScpiServer::warning,
                     [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    std::unique_ptr<MqttFeed> feed = startFeed(session, line.mqtt);
    if (feed)
        QObject::connect(feed.get(), &MqttFeed::statusChanged, [](const QString& text) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        });
    HeadlessRun run(session, server, line);
    QObject::connect(&run, &HeadlessRun::finished, [](int code) { QCoreApplication::exit(code); });
    run.start();
    return QCoreApplication::exec();
}

int runWindows(const CommandLine& line) {
    QApplication::setApplicationDisplayName(QStringLiteral("POWER_TRQ"));
    DebugTrace::instance();
    SteadyClock clock;
    EventLoopWaiter waiter;
    MessageBoxPrompter prompter;
    AppTransports transports;
    if (line.connection && line.connection->kind == InterfaceKind::Serial)
        transports.addPortName(line.connection->serial.port);
    Database database;
    DataFolder dataFolder(folderOf(line));
    if (!openData(database, prompter, dataFolder, folderOf(line)))
        return CommandLine::Quit;

    // The single wiring point: the link, the session over it, its server,
    // the window.
    TaskScheduler link({clock, prompter});
    RecordStore store(database.database());
    InstrumentSession session({link, database, store, prompter, transports});
    session.setReconnect(line.reconnect || Settings::integer(QStringLiteral("Common"),
                                                             QStringLiteral("Reconnect"), 0));
    std::optional<Connection> connection = line.connection;
    if (!line.menuModel.isEmpty()) {
        const QStringList models = session.offeredModels();
        if (!models.contains(line.menuModel)) {
            std::fprintf(stderr, "Unknown model %s; choose one of: %s\n",
                         qPrintable(line.menuModel), qPrintable(models.join(QStringLiteral(", "))));
            return CommandLine::BadOption;
        }
        connection = Connection{InterfaceKind::TestingMode, line.menuModel, {}, 0, {}};
    }
    ScpiServer server(session);
    MainWindow main({session, prompter, waiter, transports, &server});
    main.show();
    main.startServer(line.serve);
    std::unique_ptr<MqttFeed> feed;
    auto restartFeed = [&](bool fromCommandLine) {
        feed.reset();
        // After the dialog, its choice from now on.
        feed = startFeed(session, fromCommandLine ? line.mqtt : std::nullopt);
        main.showFeedStatus(feed ? feed->statusText() : QString());
        if (feed)
            QObject::connect(feed.get(), &MqttFeed::statusChanged, &main,
                             &MainWindow::showFeedStatus);
    };
    restartFeed(true);
    QObject::connect(&main, &MainWindow::labFeedChanged, [&] { restartFeed(false); });

    if (connection) {
        if (connection->kind == InterfaceKind::Serial)
            main.serialDialog()->setOneShotPort(connection->serial.port, connection->baudIndex);
        if (connection->kind == InterfaceKind::Gpib)
            main.gpibDialog()->setOneShot(connection->gpib);
        QTimer::singleShot(0, &main, [&main, c = *connection] {
            main.goOnLine(c.kind, c.model, c.kind != InterfaceKind::TestingMode);
        });
    }
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    const QStringList arguments = CommandLine::normalised(argc, argv);
    if (CommandLine::answersWithoutDisplay(argc, argv)) {
        QCoreApplication app(argc, argv);
        setNames();
        QCommandLineParser parser;
        CommandLine::describe(parser);
        parser.process(arguments); // prints and exits
        return 0;
    }
    // The options are checked before any window system is touched, so a
    // mistake is told on a machine without a display too.
    QCommandLineParser parser;
    CommandLine::describe(parser);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return CommandLine::BadOption;
    }
    const CommandLine line = CommandLine::read(parser);
    // Without windows no display is touched: a plain core application.
    std::unique_ptr<QCoreApplication> app;
    if (line.headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    setNames();
    // Before anything asks the user: the data folder's questions come first.
    // A headless run's console stays English, as scripts read it.
    if (!line.headless)
        applyLanguage(line.language.value_or(configuredLanguage()));
    return line.headless ? runHeadless(line) : runWindows(line);
}
