// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "automation/scpiserver.h"
#include "benchrun.h"
#include "commandline.h"
#include "consoleprompter.h"
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/language.h"
#include "core/settings.h"
#include "headlessrun.h"
#include "link/taskscheduler.h"
#include "session/bench.h"
#include "session/instrumentsession.h"
#include "session/labrecords.h"
#include "storage/database.h"
#include "storage/datafolder.h"
#include "storage/recordstore.h"
#include "transports.h"
#include "ui/benchpanels.h"
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

QString folderOf(const CommandLine& line) {
    return line.dataFolder.isEmpty() ? Database::defaultFolder() : line.dataFolder;
}

// One run's objects, wired once: a headless run and the windows differ only
// in the prompter and the front end they put on top.
class Composition {
public:
    Composition(Prompter& prompter, const CommandLine& line)
        : prompter_(prompter), folderPath_(folderOf(line)), folder_(folderPath_) {}

    AppTransports transports; // ports named on the command line go in before open()

    // Opens the data folder's database and wires the rest on it; false when
    // the user chose to quit.
    bool open() {
        // A per-user folder gets its database on first run; beside the
        // program it is installed with it.
        if (folder_.open(database_, prompter_,
                         folderPath_ != QCoreApplication::applicationDirPath()) ==
            DataFolder::Outcome::Quit)
            return false;
        wired_ = std::make_unique<Wired>(*this);
        return true;
    }
    // Opens the database for a bench instead: each supply gets its own
    // session as it is added.
    bool openBench() {
        if (folder_.open(database_, prompter_,
                         folderPath_ != QCoreApplication::applicationDirPath()) ==
            DataFolder::Outcome::Quit)
            return false;
        bench_ = std::make_unique<Bench>(
            Bench::Services{clock_, database_, prompter_, transports, waiter_});
        return true;
    }
    Bench& bench() { return wired_ ? wired_->bench : *bench_; }
    Clock& clock() { return clock_; }
    Waiter& waiter() { return waiter_; }
    InstrumentSession& session() { return wired_->session; }
    ScpiServer& server() { return wired_->server; }

    // The lab feed, from the command line or else the settings; none when
    // neither asks for it.
    MqttFeed* restartFeed(const std::optional<MqttFeed::Options>& fromCommandLine) {
        feed_.reset();
        const std::optional<MqttFeed::Options> o = feedOptions(fromCommandLine);
        if (!o)
            return nullptr;
        feed_ = std::make_unique<MqttFeed>(session(), *o);
        // On a bench under its name there, beside the others'.
        feed_->setSupplyName([this] {
            return bench().size() > 1 ? bench().name(0) : session().connection().model();
        });
        feed_->start();
        return feed_.get();
    }
    // The lab database as every supply's record store, from the command
    // line or else the settings; this computer's file when neither asks for
    // it.
    void restartLab(const std::optional<LabRecords::Options>& fromCommandLine) {
        const LabRecords::Options o =
            fromCommandLine ? *fromCommandLine : LabRecords::Options::load();
        bench().setLab(o.enabled ? std::optional(o) : std::nullopt);
    }
    // The lab feed's settings, from the command line or else the settings;
    // none when neither asks for it.
    static std::optional<MqttFeed::Options>
    feedOptions(const std::optional<MqttFeed::Options>& fromCommandLine) {
        const MqttFeed::Options o = fromCommandLine ? *fromCommandLine : MqttFeed::Options::load();
        if (!o.enabled || o.host.trimmed().isEmpty())
            return std::nullopt;
        return o;
    }

private:
    // One supply chosen as always; the windows may add more beside it.
    struct Wired {
        explicit Wired(Composition& c)
            : bench(Bench::Services{c.clock_, c.database_, c.prompter_, c.transports, c.waiter_}),
              session(bench.addChosen()), server(session) {}
        Bench bench;
        InstrumentSession& session;
        ScpiServer server;
    };

    Prompter& prompter_;
    SteadyClock clock_;
    TimerWaiter waiter_;
    QString folderPath_;
    Database database_;
    DataFolder folder_;
    std::unique_ptr<Wired> wired_;
    std::unique_ptr<Bench> bench_;
    std::unique_ptr<MqttFeed> feed_; // goes first: it watches the session
};

int runHeadless(const CommandLine& line) {
    // The console gets messages; the whole trace only when asked for.
    DebugTrace::instance().setEchoToStderr(line.verbose);
    ConsolePrompter prompter;
    Composition run(prompter, line);
    if (!run.open())
        return CommandLine::Quit;
    InstrumentSession& session = run.session();
    session.connection().setReconnect(line.reconnect);
    if (line.poll)
        session.poll().setMode(*line.poll);
    QObject::connect(&run.server(), &ScpiServer::warning,
                     [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    if (MqttFeed* feed = run.restartFeed(line.mqtt))
        QObject::connect(feed, &MqttFeed::statusChanged, [](const QString& text) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        });
    HeadlessRun headless(session, run.server(), line);
    QObject::connect(&headless, &HeadlessRun::finished,
                     [](int code) { QCoreApplication::exit(code); });
    headless.start();
    return QCoreApplication::exec();
}

// The supplies the command line names, or those of the bench it names;
// false when that bench cannot be opened (said).
bool commandLineSupplies(const CommandLine& line, std::vector<SupplyAddress>* supplies) {
    *supplies = line.supplies;
    if (line.bench.isEmpty() || !supplies->empty())
        return true;
    std::variant<std::vector<SupplyAddress>, QString> kept = storedBench(line.bench);
    if (const QString* why = std::get_if<QString>(&kept)) {
        std::fprintf(stderr, "%s\n", qPrintable(*why));
        return false;
    }
    *supplies = std::get<std::vector<SupplyAddress>>(kept);
    return true;
}

int runBench(CommandLine line) {
    DebugTrace::instance().setEchoToStderr(line.verbose);
    ConsolePrompter prompter;
    Composition run(prompter, line);
    if (!run.openBench())
        return CommandLine::Quit;
    if (!commandLineSupplies(line, &line.supplies))
        return CommandLine::BadOption;
    BenchRun headless(run.bench(), run.clock(), run.waiter(), line);
    QObject::connect(&headless, &BenchRun::finished,
                     [](int code) { QCoreApplication::exit(code); });
    headless.start();
    return QCoreApplication::exec();
}

int runWindows(const CommandLine& line) {
    QApplication::setApplicationDisplayName(QStringLiteral("POWER_TRQ"));
    DebugTrace::instance();
    MessageBoxPrompter prompter;
    Composition run(prompter, line);
    if (line.connection && line.connection->kind == InterfaceKind::Serial)
        run.transports.addPortName(line.connection->serial.port);
    if (!run.open())
        return CommandLine::Quit;
    InstrumentSession& session = run.session();
    session.connection().setReconnect(line.reconnect || Settings::instance().reconnect());
    if (line.poll)
        session.poll().setMode(*line.poll);
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
    // A bench named on the command line, else the last start's further
    // supplies beside the window's own.
    std::vector<SupplyAddress> supplies;
    if (!commandLineSupplies(line, &supplies))
        return CommandLine::BadOption;
    if (!line.bench.isEmpty())
        Settings::instance().setLastBench(line.bench);
    MainWindow main({session, prompter, run.transports, &run.server(), &run.bench()});
    main.show();
    if (supplies.empty()) {
        main.benchPanels()->reopenKept();
    } else {
        // The first is the window's own, for this start only; the others
        // join it.
        run.bench().openChosen(supplies.front());
        for (std::size_t i = 1; i < supplies.size(); ++i)
            main.benchPanels()->join(supplies[i]);
        if (!line.bench.isEmpty())
            main.benchPanels()->keep();
        if (!line.powerOrder.isEmpty()) // with --bench: kept under its name
            Settings::instance().setBenchPowerOrder(line.bench, line.powerOrder);
    }
    main.startServer(line.serve);
    auto restartFeed = [&](bool fromCommandLine) {
        // After the dialog, its choice from now on.
        const std::optional<MqttFeed::Options> chosen = fromCommandLine ? line.mqtt : std::nullopt;
        MqttFeed* feed = run.restartFeed(chosen);
        main.benchPanels()->setFeedOptions(Composition::feedOptions(chosen));
        main.showFeedStatus(feed ? feed->statusText() : QString());
        if (feed)
            QObject::connect(feed, &MqttFeed::statusChanged, &main, &MainWindow::showFeedStatus);
    };
    restartFeed(true);
    QObject::connect(&main, &MainWindow::labFeedChanged, [&] { restartFeed(false); });
    auto restartLab = [&](bool fromCommandLine) {
        std::optional<LabRecords::Options> chosen;
        if (fromCommandLine && line.database)
            chosen = LabRecords::Options{true, *line.database, line.station};
        run.restartLab(chosen);
        main.setRecordStoreInUse(chosen);
        main.showLabStatus(run.bench().labStatus());
    };
    QObject::connect(&run.bench(), &Bench::labStatusChanged, &main, &MainWindow::showLabStatus);
    restartLab(true);
    QObject::connect(&main, &MainWindow::recordStoreChanged, [&] { restartLab(false); });

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
    if (line.headless && (!line.supplies.empty() || !line.bench.isEmpty()))
        return runBench(line);
    return line.headless ? runHeadless(line) : runWindows(line);
}
