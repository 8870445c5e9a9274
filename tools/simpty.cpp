// Serves a simulated supply on a pseudo-terminal so that any serial client,
// the application among them, can talk to it as to a real port.
#include "sim/ptyserver.h"
#include "sim/supply.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace trq;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves a simulated supply on a pseudo-terminal and prints its path.\n"
                       "Models: %1")
            .arg(sim::simulatedModelNames().join(QStringLiteral(", "))));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("model"), QStringLiteral("Model to simulate."));
    const QCommandLineOption linkOpt(QStringLiteral("link"),
                                     QStringLiteral("Also make a symbolic link at this path."),
                                     QStringLiteral("path"));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Print what the client sends."));
    const QCommandLineOption paceOpt(
        QStringLiteral("pace"),
        QStringLiteral("Answer as over a real wire at this baud rate: each byte takes 10 bits."),
        QStringLiteral("baud"));
    const QCommandLineOption turnaroundOpt(
        QStringLiteral("turnaround"),
        QStringLiteral("With --pace: the supply's time between a question and its answer "
                       "(default 2)."),
        QStringLiteral("ms"), QStringLiteral("2"));
    const QCommandLineOption cellOpt(
        QStringLiteral("cell"),
        QStringLiteral("A rechargeable cell of this capacity on channel 1 instead of a resistor."),
        QStringLiteral("Ah"));
    parser.addOptions({linkOpt, verboseOpt, paceOpt, turnaroundOpt, cellOpt});
    parser.process(app);

    const QString model = parser.positionalArguments().value(0, QStringLiteral("PSQ-3323"));
    auto supply = sim::Supply::create(model);
    if (!supply) {
        std::fprintf(stderr, "Unknown model %s\n", qPrintable(model));
        return 2;
    }
    supply->setNoise(0.0005);
    if (parser.isSet(cellOpt)) {
        bool ok = false;
        const double capacity = parser.value(cellOpt).toDouble(&ok);
        if (!ok || capacity <= 0) {
            std::fprintf(stderr, "--cell takes a capacity in Ah\n");
            return 2;
        }
        supply->setCell({capacity, 0, 0.2});
    }
    sim::PtyServer server([&](const QByteArray& bytes) { return supply->receive(bytes); });
    if (!server.open()) {
        std::fprintf(stderr, "Cannot open a pseudo-terminal: %s\n",
                     qPrintable(server.errorString()));
        return 1;
    }
    if (parser.isSet(paceOpt)) {
        bool baudOk = false, turnaroundOk = false;
        const int baud = parser.value(paceOpt).toInt(&baudOk);
        const double turnaround = parser.value(turnaroundOpt).toDouble(&turnaroundOk);
        if (!baudOk || baud <= 0 || !turnaroundOk || turnaround < 0) {
            std::fprintf(stderr, "--pace takes a baud rate, --turnaround milliseconds\n");
            return 2;
        }
        server.setPace(baud, turnaround);
    }
    if (parser.isSet(verboseOpt))
        QObject::connect(&server, &sim::PtyServer::received, [](const QByteArray& bytes) {
            std::fprintf(stderr, "<- %s\n", bytes.toPercentEncoding(" :?*,.").constData());
        });
    const QString linkPath = parser.value(linkOpt);
    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
        QFile::link(server.slavePath(), linkPath);
    }
    std::printf("%s\n", qPrintable(server.slavePath()));
    std::fflush(stdout);
    // Runs until killed; a stale link is replaced at the next start.
    return QCoreApplication::exec();
}
