// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "link/clock.h"
#include "link/commtasker.h"
#include "link/transportfactory.h"
#include "shell/dataform.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/prompter.h"
#include "shell/settings.h"
#include "sim/supply.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

using namespace trq;

namespace {

const char* const kBaudRates[] = {"9600", "4800", "2400", "1200", "115200", "57600"};

// Where the command line names a connection, it is stored as the dialogs
// would store it and opened the way the toolbar's "On line" does.
bool prepareConnection(const QCommandLineParser& parser, QString* commType, QString* model) {
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    if (parser.isSet(QStringLiteral("menu"))) {
        *commType = QStringLiteral("Menu");
        *model = value("menu");
        return true;
    }
    if (parser.isSet(QStringLiteral("gpib"))) {
        const QStringList parts = value("gpib").split(QLatin1Char(':'));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("GPIBn"), parts.value(0));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Address"), parts.value(1));
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"), {});
        *commType = QStringLiteral("GPIB");
        return true;
    }
    QString port = value("port");
    if (parser.isSet(QStringLiteral("sim"))) {
        if (!sim::findModel(value("sim"))) {
            std::fprintf(stderr, "Unknown simulated model %s; choose one of: %s\n",
                         qPrintable(value("sim")),
                         qPrintable(sim::simulatedModelNames().join(QStringLiteral(", "))));
            std::exit(2);
        }
        if (value("interface").compare(QLatin1String("gpib"), Qt::CaseInsensitive) == 0) {
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("GPIBn"),
                                  QStringLiteral("0"));
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Address"),
                                  QStringLiteral("1"));
            Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"),
                                  value("sim"));
            *commType = QStringLiteral("GPIB");
            return true;
        }
        port = QLatin1String(TransportFactory::kSimPrefix) + value("sim");
    }
    if (port.isEmpty())
        return false;
    int baudIndex = 0;
    for (int i = 0; i < int(std::size(kBaudRates)); ++i)
        if (value("baud") == QLatin1String(kBaudRates[i]))
            baudIndex = i;
    Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"), port);
    Settings::SaveInt(QStringLiteral("RS232"), QStringLiteral("BaudRateIndex"), baudIndex);
    *commType = QStringLiteral("RS232");
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("POWER_TRQ"));
    QApplication::setApplicationDisplayName(QStringLiteral("POWER_TRQ"));
    QApplication::setApplicationVersion(QString::fromLatin1(DebugTrace::kVersion));

    QCommandLineParser parser;
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
         QStringLiteral("Baud rate for --port: 9600 (default), 4800, 2400, 1200, 115200, 57600."),
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
    parser.process(app);

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
    const QString file = QDir(folder).filePath(QString::fromLatin1(DataForm::kFileName));
    // A per-user folder gets its database on first run; beside the program it
    // is installed with it.
    if (!QFileInfo::exists(file) && folder != QApplication::applicationDirPath()) {
        QDir().mkpath(folder);
        DataForm::create(file);
    }
    if (data.open(folder) != DataForm::OpenResult::Ok) {
        QMessageBox::critical(nullptr, QStringLiteral("POWER_TRQ"), data.errorMessage());
        return 1;
    }

    CommTasker tasker({clock, waiter, prompter});
    MDIForm1 main({tasker, data, prompter, waiter, factory});
    main.show();

    QString commType;
    QString model;
    if (prepareConnection(parser, &commType, &model))
        QTimer::singleShot(0, &main, [&main, commType, model] {
            main.Setup(commType, model, commType != QLatin1String("Menu"));
        });
    return QApplication::exec();
}
