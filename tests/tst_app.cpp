// The program's command line as a user types it, and its runs without
// windows: recording to files, serving scripts (a real PyVISA client), and
// the exit codes of what can go wrong.
#include "sim/ptyserver.h"
#include "sim/supply.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

namespace {

struct Run {
    int exitCode;
    QString out;
    QString err;
};

QProcessEnvironment environment(bool display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Runs the program; without a display unless display is set.
Run run(const QStringList& arguments, bool display, int timeoutMsec = 30000) {
    QProcess p;
    p.setProcessEnvironment(environment(display));
    p.start(QStringLiteral(POWERTRQ_PATH), arguments);
    if (!p.waitForFinished(timeoutMsec)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, QStringLiteral("did not finish")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// A run without windows that goes on in the background; its stderr is
// collected as it comes.
struct Background {
    QProcess process;
    QString err;
    explicit Background(const QStringList& arguments) {
        process.setProcessEnvironment(environment(false));
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += QString::fromLocal8Bit(process.readAllStandardError()); });
        process.start(QStringLiteral(POWERTRQ_PATH), arguments);
    }
    ~Background() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool says(const QString& text, int msec = 15000) {
        return QTest::qWaitFor([&] { return err.contains(text); }, msec);
    }
    // SIGTERM, then the exit code.
    int terminate() {
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(15000))
            return -1;
        err += QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

QString freshFolder(const QString& name) {
    const QString folder = QDir::current().absoluteFilePath(name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The saved records of a data folder, as "comment: n points".
QStringList savedRecords(const QString& folder) {
    trq::Database db;
    if (db.open(folder, trq::Database::Access::ReadOnly) != trq::Database::OpenResult::Ok)
        return {QStringLiteral("(no database)")};
    trq::RecordStore store(db.database());
    QStringList out;
    for (const trq::RecordHeader& r : store.records()) {
        QSqlQuery q(db.database());
        q.prepare(QStringLiteral("select count(*) from datadetail where RecNo = ?"));
        q.addBindValue(r.recNo);
        const int points = q.exec() && q.next() ? q.value(0).toInt() : -1;
        out << QStringLiteral("%1: %2 points").arg(r.comment).arg(points);
    }
    return out;
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

    // Ten seconds into a CSV file and a saved record, with no display at all.
    void headlessRecordsToFiles() {
        const QString folder = freshFolder(QStringLiteral("tenseconds"));
        const QString csv = folder + QStringLiteral("/out.csv");
        const Run r = run({"--headless", "--sim", "PSQ-3323", "--record", "10", "--output-on",
                           "--save", "ten seconds", "--csv", csv, "--data-folder", folder},
                          false, 60000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.contains(QLatin1String("Saved as record")));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 1 + 11); // the header and seconds 0..10
        QCOMPARE(savedRecords(folder), QStringList{"ten seconds: 11 points"});
    }

    // SIGTERM mid-recording stops it cleanly: the points so far are saved;
    // the way to end a continuous recording.
    void terminatedRecordingKeepsItsPoints_data() {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("said");
        QTest::newRow("600 s") << QStringLiteral("600") << QStringLiteral("Recording 600 s");
        QTest::newRow("continuous")
            << QStringLiteral("continuous") << QStringLiteral("Recording until stopped");
    }
    void terminatedRecordingKeepsItsPoints() {
        QFETCH(QString, length);
        QFETCH(QString, said);
        const QString folder = freshFolder(QStringLiteral("terminated-") + length);
        Background b({"--headless", "--sim", "TRQ-3302", "--record", length, "--output-on",
                      "--save", "cut short", "--data-folder", folder});
        QVERIFY2(b.says(said), qPrintable(b.err));
        QTest::qWait(3500);
        QCOMPARE(b.terminate(), 0);
        QVERIFY2(b.err.contains(QLatin1String("Stopped by SIGTERM")), qPrintable(b.err));
        const QStringList saved = savedRecords(folder);
        QCOMPARE(saved.size(), 1);
        const int points = saved.first().section(QLatin1Char(' '), 2, 2).toInt();
        QVERIFY2(points >= 3 && points <= 6, qPrintable(saved.first()));
    }

    // A supply that goes away mid-recording: exit 4, and what was recorded
    // is kept.
    void lostLinkEndsTheRunAndKeepsThePoints() {
        const QString folder = freshFolder(QStringLiteral("lost"));
        std::shared_ptr<trq::sim::Supply> supply = trq::sim::Supply::create("PSQ-3323");
        trq::sim::PtyServer pty([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(pty.open());
        Background b({"--headless", "--port", pty.slavePath(), "--record", "600", "--output-on",
                      "--save", "unplugged", "--data-folder", folder});
        QVERIFY2(b.says(QStringLiteral("Recording 600 s")), qPrintable(b.err));
        QTest::qWait(2500);
        pty.close();
        QTRY_VERIFY_WITH_TIMEOUT(b.process.state() == QProcess::NotRunning, 30000);
        QCOMPARE(b.process.exitCode(), 4);
        QVERIFY2(b.err.contains(QLatin1String("The link to the supply was lost")),
                 qPrintable(b.err));
        QCOMPARE(savedRecords(folder).size(), 1);
    }

    void headlessFailuresSayWhy_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no supply named") << QStringList{"--headless"} << 2 << "--headless needs";
        QTest::newRow("recording needs headless")
            << QStringList{"--sim", "PSQ-3323", "--record", "5"} << 2 << "need --headless";
        QTest::newRow("port that does not open")
            << QStringList{"--headless", "--port", "/nonexistent/ttyUSB7"} << 3
            << "cannot be opened";
        QTest::newRow("output off")
            << QStringList{"--headless", "--sim", "PSQ-3323", "--record", "5"} << 5
            << "output is off";
        QTest::newRow("panel needs windows")
            << QStringList{"--headless", "--menu", "PSQ-3323"} << 2 << "needs the windows";
        QTest::newRow("parts need a recording")
            << QStringList{"--headless", "--sim", "PSQ-3323", "--save-parts", "2"} << 2
            << "--save-parts and --csv need --record";
        QTest::newRow("mqtt broker")
            << QStringList{"--headless", "--sim", "PSQ-3323", "--mqtt", "broker:0"} << 2
            << "--mqtt takes host[:port]";
        QTest::newRow("part length")
            << QStringList{"--headless", "--sim",        "PSQ-3323", "--record",
                           "continuous", "--save-parts", "0"}
            << 2 << "The part length";
    }
    // Installed (a fresh database in <prefix>/share/powertrq), the program
    // keeps its database in the user's data folder, even where it could
    // write beside itself (run by root).
    void installedProgramKeepsDataWithTheUser() {
        const QString prefix = freshFolder(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/powertrq")));
        QVERIFY(
            QFile::copy(QStringLiteral(POWERTRQ_PATH), prefix + QStringLiteral("/bin/powertrq")));
        QVERIFY(trq::Database::create(prefix + QStringLiteral("/share/powertrq/mtype.mdb")));
        const QString data = freshFolder(QStringLiteral("userdata"));
        QProcess p;
        QProcessEnvironment env = environment(false);
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        p.setProcessEnvironment(env);
        p.start(prefix + QStringLiteral("/bin/powertrq"), {"--headless", "--sim", "PSQ-3323"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFileInfo::exists(data + QStringLiteral("/POWER_TRQ/mtype.mdb")));
        QVERIFY(!QFileInfo::exists(prefix + QStringLiteral("/bin/mtype.mdb")));
    }

    void headlessFailuresSayWhy() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString folder = freshFolder(QStringLiteral("failures"));
        const Run r = run(arguments + QStringList{"--data-folder", folder}, false);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }

    // Nothing answers on the port: the detection fails with exit 3.
    void silentSupplyIsNoSupply() {
        const QString folder = freshFolder(QStringLiteral("silent"));
        trq::sim::PtyServer pty([](const QByteArray&) { return QByteArray(); });
        QVERIFY(pty.open());
        Background b({"--headless", "--port", pty.slavePath(), "--data-folder", folder});
        QTRY_VERIFY_WITH_TIMEOUT(b.process.state() == QProcess::NotRunning, 30000);
        QCOMPARE(b.process.exitCode(), 3);
        QVERIFY2(b.err.contains(QLatin1String("No supply was detected")), qPrintable(b.err));
    }

    // With windows too, --serve serves the supply on line.
    void windowsServeScripts() {
        const QString folder = freshFolder(QStringLiteral("windows"));
        const quint16 port = freePort();
        QProcess p;
        p.setProcessEnvironment(environment(true));
        p.start(
            QStringLiteral(POWERTRQ_PATH),
            {"--sim", "TRQ-3302", QStringLiteral("--serve=%1").arg(port), "--data-folder", folder});
        QTcpSocket client;
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (client.state() != QAbstractSocket::ConnectedState) {
                    client.abort();
                    client.connectToHost(QHostAddress::LocalHost, port);
                    client.waitForConnected(200);
                }
                if (client.state() != QAbstractSocket::ConnectedState)
                    return false;
                client.write("*IDN?\n");
                return client.waitForReadyRead(1000) &&
                       client.readLine().startsWith("POWER_TRQ,TRQ-3302");
            },
            20000));
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
    }

    // Debian's PyVISA drives a supply through the headless server.
    void pyVisaDrivesTheSupply() {
        const QString folder = freshFolder(QStringLiteral("pyvisa"));
        const quint16 port = freePort();
        Background b({"--headless", "--sim", "PSQ-3323", QStringLiteral("--serve=%1").arg(port),
                      "--data-folder", folder});
        QVERIFY2(b.says(QStringLiteral("On line:")), qPrintable(b.err));
        QProcess client;
        client.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(EXAMPLES_DIR "/pyvisa_example.py"),
                      QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(port)});
        QVERIFY(client.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(client.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(client.readAllStandardError());
        QVERIFY2(client.exitCode() == 0, qPrintable(out + err));
        QVERIFY(out.contains(QLatin1String("Connected: POWER_TRQ,PSQ-3323")));
        QCOMPARE(b.terminate(), 0);
        QCOMPARE(savedRecords(folder).size(), 1);
    }
};

TRQ_TEST_MAIN(TestApp)
#include "tst_app.moc"
