// The program's command line, as a user types it.
#include "support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>

namespace {

struct Run {
    int exitCode;
    QString out;
    QString err;
};

// Runs the program; without a display unless display is set.
Run run(const QStringList& arguments, bool display) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(POWERTRQ_PATH), arguments);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, QStringLiteral("did not finish")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
private slots:
    void helpAndVersionNeedNoDisplay() {
        const Run help = run({QStringLiteral("--help")}, false);
        QCOMPARE(help.exitCode, 0);
        for (const char* option :
             {"--sim", "--port", "--baud", "--gpib", "--menu", "--interface", "--data-folder"})
            QVERIFY2(help.out.contains(QLatin1String(option)), option);
        const Run version = run({QStringLiteral("--version")}, false);
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.contains(QLatin1String("1.1.0")));
    }

    // Values the program does not know are refused with the choices, and
    // nothing is stored for the next start.
    void unknownValuesAreRefused_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("choices");
        QTest::newRow("model") << QStringList{"--menu", "NOSUCH-1"} << "PSQ-3323";
        QTest::newRow("baud rate") << QStringList{"--port", "/dev/null", "--baud", "1234"}
                                   << "9600, 4800, 2400, 1200, 115200, 57600";
        QTest::newRow("interface")
            << QStringList{"--sim", "PSQ-3323", "--interface", "usb"} << "rs232, gpib";
        QTest::newRow("simulated model") << QStringList{"--sim", "NOSUCH-1"} << "TRQ-7206S";
    }
    void unknownValuesAreRefused() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, choices);
        const QString folder = QDir::current().absoluteFilePath(QStringLiteral("app"));
        const Run r = run(arguments + QStringList{"--data-folder", folder}, true);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QLatin1String("Unknown")), qPrintable(r.err));
        QVERIFY2(r.err.contains(choices), qPrintable(r.err));
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                           QStringLiteral("TRQ-1-0"));
        QCOMPARE(settings.value(QStringLiteral("Common/MType")).toString(), QString());
        QCOMPARE(settings.value(QStringLiteral("RS232/PortName")).toString(), QString());
    }
};

TRQ_TEST_MAIN(TestApp)
#include "tst_app.moc"
