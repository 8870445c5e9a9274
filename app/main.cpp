// POWER_TRQ: remote control and recording of programmable DC supplies.
#include "linkmonitor.h"

#include "link/clock.h"
#include "link/commtasker.h"
#include "link/ni488.h"
#include "link/qtserialport.h"
#include "link/simlink.h"
#include "shell/debugtrace.h"
#include "shell/prompter.h"
#include "sim/supply.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <memory>

using namespace trq;

namespace {

struct Connection {
    QString commType;
    QString description;
    QByteArray terminator = "\n";
};

QByteArray terminatorFromName(const QString& name) {
    if (name == QLatin1String("cr"))
        return "\r";
    if (name == QLatin1String("crlf"))
        return "\r\n";
    return "\n";
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("POWER_TRQ"));
    QApplication::setApplicationDisplayName(QStringLiteral("POWER_TRQ"));
    QApplication::setApplicationVersion(QString::fromLatin1(DebugTrace::kVersion));
    QApplication::setOrganizationName(QStringLiteral("TRQ-1-0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Remote control of programmable DC supplies.\n\n"
                       "Without options the program goes on line with the simulated supply "
                       "PSQ-3323 over the simulated serial link."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simOpt(QStringLiteral("sim"),
                                    QStringLiteral("Simulated supply to talk to: %1.")
                                        .arg(sim::simulatedModelNames().join(QStringLiteral(", "))),
                                    QStringLiteral("model"), QStringLiteral("PSQ-3323"));
    const QCommandLineOption interfaceOpt(
        QStringLiteral("interface"),
        QStringLiteral("Interface for --sim: rs232 (default) or gpib."), QStringLiteral("kind"),
        QStringLiteral("rs232"));
    const QCommandLineOption portOpt(
        QStringLiteral("port"),
        QStringLiteral("Real serial port (COM3, /dev/ttyUSB0, a pseudo-terminal path)."),
        QStringLiteral("name"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
                                     QStringLiteral("Baud rate for --port (default 9600)."),
                                     QStringLiteral("rate"), QStringLiteral("9600"));
    const QCommandLineOption termOpt(
        QStringLiteral("terminator"),
        QStringLiteral("Line end for --port: lf (default), cr or crlf."), QStringLiteral("end"),
        QStringLiteral("lf"));
    const QCommandLineOption gpibOpt(
        QStringLiteral("gpib"),
        QStringLiteral("Real GPIB instrument through the NI-488.2 driver, as board:address."),
        QStringLiteral("board:address"));
    const QCommandLineOption sendOpt(
        QStringLiteral("send"),
        QStringLiteral("Send this command or query once on line (may be repeated)."),
        QStringLiteral("text"));
    const QCommandLineOption pollOpt(QStringLiteral("poll"),
                                     QStringLiteral("Start polling channel 1's voltage at once."));
    parser.addOptions({simOpt, interfaceOpt, portOpt, baudOpt, termOpt, gpibOpt, sendOpt, pollOpt});
    parser.process(app);

    SteadyClock clock;
    EventLoopWaiter waiter;
    MessageBoxPrompter prompter;
    DebugTrace& trace = DebugTrace::instance();
    CommTasker tasker({clock, waiter, prompter});
    Connection conn;

    if (parser.isSet(portOpt)) {
        auto* port = new QtSerialPort;
        port->setPortName(parser.value(portOpt));
        port->setBaudRate(parser.value(baudOpt).toInt());
        tasker.setSerialPort(port);
        if (!port->open()) {
            QMessageBox::critical(nullptr, QStringLiteral("POWER_TRQ"),
                                  QStringLiteral("Cannot open %1: %2")
                                      .arg(parser.value(portOpt), port->errorString()));
            return 1;
        }
        conn = {QStringLiteral("RS232"),
                QStringLiteral("%1 at %2 baud").arg(parser.value(portOpt), parser.value(baudOpt)),
                terminatorFromName(parser.value(termOpt))};
    } else if (parser.isSet(gpibOpt)) {
        const QStringList parts = parser.value(gpibOpt).split(QLatin1Char(':'));
        auto* board = new Ni488GpibBoard;
        tasker.setGpibBoard(board);
        if (!board->configure(parts.value(0).toInt(), parts.value(1).toInt())) {
            QMessageBox::critical(nullptr, QStringLiteral("POWER_TRQ"), board->errorString());
            return 1;
        }
        conn = {QStringLiteral("GPIB"),
                QStringLiteral("GPIB%1, address %2").arg(parts.value(0), parts.value(1))};
    } else {
        auto supply = sim::Supply::create(parser.value(simOpt));
        if (!supply) {
            std::fprintf(stderr, "Unknown simulated model %s; choose one of: %s\n",
                         qPrintable(parser.value(simOpt)),
                         qPrintable(sim::simulatedModelNames().join(QStringLiteral(", "))));
            return 2;
        }
        supply->setNoise(0.0005);
        const QByteArray end = sim::lineEnd(supply->family());
        const QString model = supply->model();
        if (parser.value(interfaceOpt).compare(QLatin1String("gpib"), Qt::CaseInsensitive) == 0) {
            auto* board = new SimGpibBoard(std::move(supply));
            board->configure(0, 1);
            tasker.setGpibBoard(board);
            conn = {QStringLiteral("GPIB"), QStringLiteral("simulated %1 on GPIB0::1").arg(model)};
        } else {
            auto* port = new SimSerialPort(std::move(supply));
            port->setPortName(QStringLiteral("SIM"));
            port->open();
            tasker.setSerialPort(port);
            conn = {QStringLiteral("RS232"),
                    QStringLiteral("simulated %1 on a serial link").arg(model), end};
        }
    }

    tasker.setCommType(conn.commType);
    tasker.setSerialTerminator(conn.terminator);
    LinkMonitor monitor(tasker, trace, conn.description);
    tasker.setLinkHost(&monitor);
    for (const QString& text : parser.values(sendOpt))
        monitor.send(text);
    monitor.setPolling(parser.isSet(pollOpt));
    monitor.show();
    const int rc = QApplication::exec();
    tasker.setLinkHost(nullptr);
    return rc;
}
