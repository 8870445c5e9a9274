// The program's command line as a user types it, and its runs without
// windows: recording to files, serving scripts (a real PyVISA client), and
// the exit codes of what can go wrong.
#include "sim/ptyserver.h"
#include "sim/supply.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/pgserver.h"
#include "support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace trq::test;

namespace {

QProcessEnvironment environment(bool display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// A run of the program, without a display unless display is set; its
// stderr is collected as it comes.
struct Background {
    QProcess process;
    QString err;
    explicit Background(const QStringList& arguments, bool display = false) {
        process.setProcessEnvironment(environment(display));
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
    // The exit code once finished; -1 if it crashed or goes on.
    int exitCode(int msec = 30000) {
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, msec))
            return -1;
        err += QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // SIGTERM, then the exit code.
    int terminate() {
        ::kill(pid_t(process.processId()), SIGTERM);
        return exitCode(15000);
    }
};

struct Run {
    int exitCode;
    QString out;
    QString err;
};

Run run(const QStringList& arguments, bool display, int timeoutMsec = 30000) {
    Background b(arguments, display);
    const int code = b.exitCode(timeoutMsec);
    return {code, QString::fromLocal8Bit(b.process.readAllStandardOutput()), b.err};
}

// The saved records of a data folder, as "comment: n points".
QStringList savedRecords(const QString& folder) {
    trq::Database db;
    if (db.open(folder, trq::Database::Access::ReadOnly) != trq::Database::OpenResult::Ok)
        return {QStringLiteral("(no database)")};
    trq::RecordStore store(db.database());
    QStringList out;
    for (const trq::RecordHeader& r : store.records())
        out << QStringLiteral("%1: %2 points")
                   .arg(r.comment)
                   .arg(sqlCount(db.database(), "select count(*) from datadetail where RecNo = '" +
                                                    r.recNo + "'"));
    return out;
}

// A statement's count in a data folder's file, or -1.
int storedCount(const QString& folder, const QString& statement) {
    trq::Database db;
    if (db.open(folder, trq::Database::Access::ReadOnly) != trq::Database::OpenResult::Ok)
        return -1;
    return sqlCount(db.database(), statement);
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
private slots:
    void init() { trq::test::clearSettings(); }

    // What the command line refuses says why, with the choices where a value
    // is unknown, and then nothing is stored for the next start; help and version
    // need no display.
    void commandLineAnswers_data() {
        columns<QStringList, bool, int, QStringList>("arguments", "display", "exitCode", "texts");
        const auto row = [](const char* name, const QStringList& arguments, bool display,
                            int exitCode, const QStringList& texts) {
            QTest::newRow(name) << arguments << display << exitCode << texts;
        };
        row("help", {"--help"}, false, 0,
            {"--sim", "--port", "--baud", "--gpib", "--menu", "--interface", "--data-folder",
             "--language"});
        row("version", {"--version"}, false, 0, {"1.1.0"});
        row("unknown model", {"--menu", "NOSUCH-1"}, true, 2, {"Unknown", "PSQ-3323"});
        row("unknown baud rate", {"--port", "/dev/null", "--baud", "1234"}, true, 2,
            {"Unknown", "9600, 4800, 2400, 1200, 115200, 57600, 19200, 38400"});
        row("unknown interface", {"--sim", "PSQ-3323", "--interface", "usb"}, true, 2,
            {"Unknown", "rs232, gpib"});
        row("unknown simulated model", {"--sim", "NOSUCH-1"}, true, 2, {"Unknown", "TRQ-7206S"});
        row("unknown language", {"--language", "fr"}, false, 2, {"Unknown language fr", "en, de"});
        row("no supply named", {"--headless"}, false, 2, {"--headless needs"});
        row("recording needs headless", {"--sim", "PSQ-3323", "--record", "5"}, false, 2,
            {"need --headless"});
        row("port that does not open", {"--headless", "--port", "/nonexistent/ttyUSB7"}, false, 3,
            {"cannot be opened"});
        // Every board the GPIB dialog lists is taken; past the list is refused.
        row("last GPIB board", {"--headless", "--gpib", "10:1"}, false, 3, {"could not be opened"});
        row("GPIB board past the list", {"--headless", "--gpib", "11:1"}, false, 2,
            {"from 0 to 10, not 11"});
        row("output off", {"--headless", "--sim", "PSQ-3323", "--record", "5"}, false, 5,
            {"output is off"});
        row("panel needs windows", {"--headless", "--menu", "PSQ-3323"}, false, 2,
            {"needs the windows"});
        row("parts need a recording", {"--headless", "--sim", "PSQ-3323", "--save-parts", "2"},
            false, 2, {"--save-parts and --csv need --record"});
        row("mqtt broker", {"--headless", "--sim", "PSQ-3323", "--mqtt", "broker:0"}, false, 2,
            {"--mqtt takes host[:port]"});
        row("part length",
            {"--headless", "--sim", "PSQ-3323", "--record", "continuous", "--save-parts", "0"},
            false, 2, {"The part length"});
        // Found before anything starts, not after the recording.
        row("csv into a missing folder",
            {"--headless", "--sim", "PSQ-3323", "--record", "5", "--csv", "/nonexistent/x.csv"},
            false, 2, {"--csv /nonexistent/x.csv: the folder /nonexistent does not exist"});
        row("csv onto a folder", {"--headless", "--sim", "PSQ-3323", "--record", "5", "--csv", "/"},
            false, 2, {"that is a folder"});
        row("port that is a regular file", {"--headless", "--port", POWERTRQ_PATH}, false, 2,
            {"it is a regular file, not a serial port"});
        row("bench and one supply", {"--headless", "--supply", "sim:PSQ-3323", "--sim", "PSQ-3323"},
            false, 2, {"leave out --port, --sim"});
        row("bench supply unknown", {"--headless", "--supply", "sim:NOSUCH-1"}, false, 2,
            {"Unknown simulated model NOSUCH-1"});
        row("bench supply unreadable", {"--headless", "--supply", "usb:3"}, false, 2,
            {"A supply is serial:PORT[@BAUD]"});
        row("power order without a bench",
            {"--headless", "--sim", "PSQ-3323", "--power-order", "logic on"}, false, 2,
            {"--power-order orders a bench"});
        row("power order unreadable",
            {"--headless", "--supply", "sim:PSQ-3323", "--record", "1", "--output-on",
             "--power-order", "pump on"},
            false, 2, {"--power-order: ", "pump"});
        row("bench supply twice",
            {"--headless", "--supply", "a=serial:/dev/ttyS0", "--supply", "serial:/dev/ttyS0"},
            false, 2, {"on the bench already"});
        row("bench port twice at two rates",
            {"--headless", "--supply", "serial:/dev/ttyS0@9600", "--supply",
             "serial:/dev/ttyS0@115200"},
            false, 2, {"on the bench already"});
        row("bench not kept", {"--headless", "--bench", "rack 9"}, false, 2,
            {"No bench named \"rack 9\" is kept"});
        row("sequence unreadable", {"--headless", "--sim", "PSQ-3323", "--sequence", "/dev/null"},
            false, 2, {"--sequence /dev/null: The file is empty"});
    }

    // --sequence runs a sequence to its end, and its end ends the run: 0
    // when it completed, recorded until then; one the supply cannot run is
    // refused before anything is sent.
    void headlessSequences() {
        const QString folder = freshFolder(QStringLiteral("sequence"));
        auto file = [&](const char* name, const QByteArray& text) {
            QFile f(folder + QLatin1Char('/') + QLatin1String(name));
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() ? f.fileName()
                                                                                : QString();
        };
        const QString runs = file("runs.csv", "channel,voltage,current,output,dwell_s\n"
                                              "1,3.3,0.5,on,1\n1,,,off,0\n");
        const QString beyond = file("beyond.csv", "channel,voltage,current,output,dwell_s\n"
                                                  "1,99,0.5,on,1\n");
        const QString csv = folder + QStringLiteral("/out.csv");
        const Run done = run({"--headless", "--sim", "PSQ-3323", "--sequence", runs, "--record",
                              "continuous", "--output-on", "--csv", csv, "--data-folder", folder},
                             false);
        QCOMPARE(done.exitCode, 0);
        QVERIFY2(done.err.contains(QStringLiteral("The sequence has completed.")),
                 qPrintable(done.err));
        QVERIFY(QFileInfo(csv).size() > 0);
        const Run refused = run({"--headless", "--supply", "sim:PSQ-3323", "--sequence", beyond,
                                 "--data-folder", folder},
                                false);
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains(
                     QStringLiteral("--sequence: Step 1: 99 V on channel 1 is beyond 0 to 32 V.")),
                 qPrintable(refused.err));
    }
    // However a headless sequence ends, on its own or by SIGTERM, on one
    // supply or a bench, every output it switched on is off on the wire
    // before the program exits: 0 completed, 5 stopped.
    void aHeadlessSequenceEndsWithTheOutputsOff_data() {
        columns<bool, bool, int, QString>("bench", "signal", "exitCode", "end");
        row("completed", false, false, 0, QStringLiteral("The sequence has completed."));
        row("SIGTERM", false, true, 5, QStringLiteral("Stopped by SIGTERM."));
        row("bench, completed", true, false, 0, QStringLiteral("The sequence has completed."));
        row("bench, SIGTERM", true, true, 5, QStringLiteral("Stopped by SIGTERM."));
    }
    void aHeadlessSequenceEndsWithTheOutputsOff() {
        auto [bench, signal, exitCode, end] =
            fetch<bool, bool, int, QString>("bench", "signal", "exitCode", "end");
        const QString folder = freshFolder(QStringLiteral("seq-") + QTest::currentDataTag());
        std::vector<std::shared_ptr<trq::sim::Supply>> supplies;
        std::vector<std::unique_ptr<trq::sim::PtyServer>> ptys;
        QStringList arguments{"--headless", "--data-folder", folder};
        for (const char* name : {"main", "rail"}) {
            if (!bench && QLatin1String(name) == QLatin1String("rail"))
                break;
            supplies.push_back(trq::sim::Supply::create(QStringLiteral("TRQ-3302")));
            auto* s = supplies.back().get();
            ptys.push_back(std::make_unique<trq::sim::PtyServer>(
                [s](const QByteArray& b) { return s->receive(b); }));
            QVERIFY(ptys.back()->open());
            arguments << (bench ? QStringLiteral("--supply") : QStringLiteral("--port"))
                      << (bench ? QLatin1String(name) + QStringLiteral("=serial:") : QString()) +
                             ptys.back()->slavePath();
        }
        // No step of its own switches the output off: the run's end does.
        const QByteArray dwell = signal ? "3600" : "1";
        QFile file(folder + QStringLiteral("/on.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("step,supply,channel,voltage,current,output,dwell_s\n1,,1,5,0.5,on," + dwell +
                   "\n" + (bench ? "1,rail,1,3,0.5,on," + dwell + "\n" : QByteArray()));
        file.close();
        arguments << QStringLiteral("--sequence") << file.fileName();
        Background b(arguments);
        QVERIFY2(b.says(QStringLiteral("Running the sequence")), qPrintable(b.err));
        QTRY_VERIFY(
            std::all_of(supplies.begin(), supplies.end(), [](const auto& s) { return s->output; }));
        QCOMPARE(signal ? b.terminate() : b.exitCode(), exitCode);
        QVERIFY2(b.err.contains(end), qPrintable(b.err));
        for (const auto& s : supplies)
            QVERIFY(!s->output);
    }

    // --database: the recorded points go to the lab database as well, each
    // once, under the station given; a server that cannot be reached costs
    // the local recording nothing and is said, with what waits.
    void headlessRecordsIntoTheLabDatabase() {
        trq::test::PgServer server;
        QVERIFY2(server.error().isEmpty() && server.createDatabase(QStringLiteral("lab")),
                 qPrintable(server.error()));
        const QString folder = freshFolder(QStringLiteral("lab"));
        const QString uri = server.address(QStringLiteral("lab")).uri();
        const Run sent = run({"--headless", "--sim", "PSQ-3323", "--record", "3", "--output-on",
                              "--database", uri, "--station", "bench-7", "--data-folder", folder},
                             false);
        QCOMPARE(sent.exitCode, 0);
        QVERIFY2(sent.err.contains(QStringLiteral("The lab database has every point.")),
                 qPrintable(sent.err));
        const int local = storedCount(folder, QStringLiteral("select count(*) from datatemp"));
        QVERIFY(local >= 3);
        trq::LabDatabase lab(server.address(QStringLiteral("lab")), QStringLiteral("check"));
        QCOMPARE(lab.open(), std::nullopt);
        QCOMPARE(sqlCount(lab.database(), "select count(*) from readings where station = "
                                          "'bench-7' and supply = 'PSQ-3323'"),
                 3 * local);

        QVERIFY(server.stop());
        const Run waiting = run({"--headless", "--sim", "PSQ-3323", "--record", "2", "--output-on",
                                 "--discard-unsaved", "--database", uri, "--station", "bench-7",
                                 "--data-folder", folder},
                                false);
        QCOMPARE(waiting.exitCode, 0);
        QVERIFY2(waiting.err.contains(QRegularExpression("lab database: \\d+ points waiting; they "
                                                         "stay in .* and go with the next run")),
                 qPrintable(waiting.err));
        const int left = storedCount(folder, QStringLiteral("select count(*) from datatemp"));

        // Two stations at once, the first sending what waited from its
        // last run too; their records' numbers never meet.
        QVERIFY(server.start());
        const QString other = freshFolder(QStringLiteral("lab-other"));
        Background first({"--headless", "--sim", "PSQ-3323", "--record", "3", "--output-on",
                          "--discard-unsaved", "--database", uri, "--station", "bench-7", "--save",
                          "burn-in 7", "--data-folder", folder},
                         false);
        Background second({"--headless", "--sim", "PSQ-3323", "--record", "3", "--output-on",
                           "--database", uri, "--station", "bench-8", "--save", "burn-in 8",
                           "--data-folder", other},
                          false);
        QVERIFY2(first.exitCode(60000) == 0, qPrintable(first.err));
        QVERIFY2(second.exitCode(60000) == 0, qPrintable(second.err));
        trq::LabDatabase again(server.address(QStringLiteral("lab")), QStringLiteral("again"));
        QCOMPARE(again.open(), std::nullopt);
        QCOMPARE(sqlRows(again.database(), "select station, description from record order by "
                                           "station"),
                 (QStringList{"bench-7 burn-in 7", "bench-8 burn-in 8"}));
        QCOMPARE(sqlCount(again.database(), "select count(distinct number) from record"), 2);
        QCOMPARE(sqlCount(again.database(), "select count(distinct run) from point where station = "
                                            "'bench-7'"),
                 3);
        QCOMPARE(sqlCount(again.database(), "select count(*) from readings where station = "
                                            "'bench-7'"),
                 3 * (local + left + storedCount(folder, "select count(*) from datatemp")));
        // Saved there, not in the local file.
        QCOMPARE(savedRecords(other), QStringList());

        // A bench's run: one record of both supplies, each one's points
        // under its name on the bench.
        const Run bench =
            run({"--headless", "--supply", "rail=sim:PSQ-3323", "--supply", "load=sim:TRQ-3302",
                 "--record", "3", "--output-on", "--database", uri, "--station", "bench-9",
                 "--save", "bench run", "--data-folder", freshFolder(QStringLiteral("lab-bench"))},
                false);
        QVERIFY2(bench.exitCode == 0 && bench.err.contains("The lab database has every point."),
                 qPrintable(bench.err));
        // Each part spans all of its supply's points, three seconds' at least.
        QCOMPARE(sqlRows(again.database(),
                         "select r.supply || ' ' || p.supply || ' ' || (p.last_seq - p.first_seq "
                         ">= 2 and p.last_seq - p.first_seq + 1 = (select count(distinct seq) "
                         "from point t where (t.station, t.supply, t.run) = (p.station, p.supply, "
                         "p.run)))::text from record r join record_part p using (number) where "
                         "r.station = 'bench-9' order by p.part"),
                 (QStringList{"rail rail true", "rail load true"}));
    }
    void commandLineAnswers() {
        auto [arguments, display, exitCode, texts] =
            fetch<QStringList, bool, int, QStringList>("arguments", "display", "exitCode", "texts");
        const QString folder = freshFolder(QStringLiteral("commandline"));
        const Run r = run(arguments + QStringList{"--data-folder", folder}, display);
        QCOMPARE(r.exitCode, exitCode);
        for (const QString& text : texts)
            QVERIFY2((r.out + r.err).contains(text), qPrintable(r.out + r.err));
        if (!texts.contains(QStringLiteral("Unknown")))
            return;
        QCOMPARE(storedText(QStringLiteral("Common/MType")), QString());
        QCOMPARE(storedText(QStringLiteral("RS232/PortName")), QString());
    }

    // The man page lists every option --help does, the same way.
    void manPageListsEveryOption() {
        const Run help = run({"--help"}, false);
        QCOMPARE(help.exitCode, 0);
        QFile page(QStringLiteral(MANPAGE_PATH));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString roff = QString::fromUtf8(page.readAll());
        const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
        QStringList options;
        for (auto it = option.globalMatch(help.out); it.hasNext();)
            options << it.next().captured();
        options.removeDuplicates();
        QVERIFY2(options.size() > 20, qPrintable(help.out));
        for (QString o : std::as_const(options))
            QVERIFY2(roff.contains(o.replace(QLatin1Char('-'), QLatin1String("\\-"))),
                     qPrintable(o));
        QVERIFY(roff.contains(QStringLiteral("POWER_TRQ 1.1.0")));
        // Every placeholder of the template was filled in.
        QVERIFY(!roff.contains(QRegularExpression(QStringLiteral("@[A-Z_]+@"))));
    }

    // Every model on either link records into a CSV file (and a saved
    // record), with no display at all, and ends with exit 0. The length
    // counts from every channel's first reading, so no cell is empty; the
    // console gets messages, the trace only with --verbose.
    void headlessRecordsToFiles_data() {
        columns<QString, QString, int, int, bool>("model", "link", "seconds", "channels",
                                                  "verbose");
        const std::tuple<const char*, const char*, int, int, bool> runs[] = {
            {"PSQ-3323", "rs232", 10, 3, false},  {"PSQ-3323", "gpib", 2, 3, false},
            {"SPQ-3610DNB", "rs232", 2, 1, true}, {"SPQ-3610DNB", "gpib", 2, 1, false},
            {"TRQ-3302", "rs232", 2, 2, false},   {"TRQ-7206S", "rs232", 2, 4, false},
            {"TRQ-7206S", "gpib", 2, 4, false}};
        for (const auto& [model, link, seconds, channels, verbose] : runs)
            QTest::addRow("%s %s", model, link)
                << QString::fromLatin1(model) << QString::fromLatin1(link) << seconds << channels
                << verbose;
    }
    void headlessRecordsToFiles() {
        auto [model, link, seconds, channels, verbose] = fetch<QString, QString, int, int, bool>(
            "model", "link", "seconds", "channels", "verbose");
        const QString folder = freshFolder(QStringLiteral("records"));
        const QString csv = folder + QStringLiteral("/out.csv");
        // Without --verbose, --output-on given twice.
        const Run r = run({"--headless", "--sim", model, "--interface", link, "--record",
                           QString::number(seconds), "--output-on", "--save", "run", "--csv", csv,
                           "--data-folder", folder, verbose ? "--verbose" : "--output-on"},
                          false, 60000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.contains(QLatin1String("Saved as record")));
        QCOMPARE(r.err.contains(QLatin1String("ExecQueryTask")), verbose);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 1 + seconds + 1); // the header and seconds 0..n
        for (const QByteArray& line : lines.mid(1))
            for (int field = 2; field < 2 + 2 * channels; ++field)
                QVERIFY2(!line.split(',').value(field).trimmed().isEmpty(), line.constData());
        QCOMPARE(savedRecords(folder),
                 QStringList{QStringLiteral("run: %1 points").arg(seconds + 1)});
    }

    // Whatever refuses a recording does so before anything is sent: the
    // output is never switched on for a run that does not record.
    void refusedRecordingSendsNothing() {
        const QString folder = freshFolder(QStringLiteral("refused"));
        std::shared_ptr<trq::sim::Supply> supply = trq::sim::Supply::create("PSQ-3323");
        trq::sim::PtyServer pty([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(pty.open());
        const QStringList arguments{"--headless", "--port",      pty.slavePath(), "--record",
                                    "1",          "--output-on", "--data-folder", folder};
        Background first(arguments); // leaves unsaved points in the working table
        QCOMPARE(first.exitCode(), 0);
        supply->output = false;
        supply->received.clear();
        Background second(arguments);
        QCOMPARE(second.exitCode(), 5);
        QVERIFY2(second.err.contains(QLatin1String("unsaved recording")), qPrintable(second.err));
        QVERIFY(!supply->output);
        const QStringList sent(supply->received.begin(), supply->received.end());
        QVERIFY2(!sent.contains(QStringLiteral(":OUTP:STAT 1")), qPrintable(sent.join('|')));
    }

    // The database fails for good mid-recording (a full disk): the run says
    // why, still writes its CSV with every point and saves what the file
    // holds, switches off the output it switched on, and ends with exit 5.
    void failedStoreStillWritesWhatItHas() {
        const QString folder = freshFolder(QStringLiteral("full"));
        QVERIFY(trq::Database::create(folder + QStringLiteral("/mtype.mdb")));
        {
            trq::Database db;
            QCOMPARE(db.open(folder), trq::Database::OpenResult::Ok);
            QVERIFY(QSqlQuery(db.database())
                        .exec(QStringLiteral(
                            "CREATE TRIGGER full BEFORE INSERT ON datatemp WHEN NEW.SeqNo >= 3 "
                            "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")));
        }
        std::shared_ptr<trq::sim::Supply> supply = trq::sim::Supply::create("PSQ-3323");
        trq::sim::PtyServer pty([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(pty.open());
        const QString csv = QDir::current().absoluteFilePath(QStringLiteral("full.csv"));
        Background b({"--headless", "--port", pty.slavePath(), "--record", "600", "--output-on",
                      "--save", "full", "--csv", csv, "--data-folder", folder});
        QCOMPARE(b.exitCode(), 5);
        QVERIFY2(b.err.contains(QLatin1String("database or disk is full")), qPrintable(b.err));
        QCOMPARE(savedRecords(folder), QStringList{"full: 3 points"});
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().trimmed().split('\n').size(), 1 + 4);
        QVERIFY(!supply->output);
    }

    // SIGTERM mid-recording stops it cleanly: the points so far are saved
    // and the output it switched on is off again; the way to end a
    // continuous recording. A supply that goes away mid-recording: exit 4,
    // and what was recorded is kept; in a sequence, exit 5 (it was stopped).
    void aRecordingCutShortKeepsItsPoints_data() {
        columns<QString, QString, QString, bool, int, QString>("model", "length", "said", "unplug",
                                                               "exitCode", "end");
        row("link lost in a sequence", QStringLiteral("PSQ-3323"), QStringLiteral("continuous"),
            QStringLiteral("Running the sequence"), true, 5,
            QStringLiteral("The sequence was stopped: The link to the supply was lost."));
        row("SIGTERM, 600 s", QStringLiteral("TRQ-3302"), QStringLiteral("600"),
            QStringLiteral("Recording 600 s"), false, 0, QStringLiteral("Stopped by SIGTERM"));
        row("SIGTERM, continuous", QStringLiteral("TRQ-3302"), QStringLiteral("continuous"),
            QStringLiteral("Recording until stopped"), false, 0,
            QStringLiteral("Stopped by SIGTERM"));
        row("link lost", QStringLiteral("PSQ-3323"), QStringLiteral("600"),
            QStringLiteral("Recording 600 s"), true, 4,
            QStringLiteral("The link to the supply was lost"));
    }
    void aRecordingCutShortKeepsItsPoints() {
        auto [model, length, said, unplug, exitCode, end] =
            fetch<QString, QString, QString, bool, int, QString>("model", "length", "said",
                                                                 "unplug", "exitCode", "end");
        const QString folder = freshFolder(QStringLiteral("cut-") + QTest::currentDataTag());
        std::shared_ptr<trq::sim::Supply> supply = trq::sim::Supply::create(model);
        trq::sim::PtyServer pty([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(pty.open());
        QStringList arguments{"--headless",  "--port", pty.slavePath(), "--record",      length,
                              "--output-on", "--save", "cut short",     "--data-folder", folder};
        if (said.contains(QLatin1String("sequence"))) {
            QFile hours(folder + QStringLiteral("/hours.csv"));
            QVERIFY(hours.open(QIODevice::WriteOnly));
            hours.write("channel,voltage,current,output,dwell_s\n1,5,0.5,on,3600\n");
            arguments << QStringLiteral("--sequence") << hours.fileName();
        }
        Background b(arguments);
        QVERIFY2(b.says(said), qPrintable(b.err));
        QTest::qWait(3500);
        if (unplug)
            pty.close();
        QCOMPARE(unplug ? b.exitCode() : b.terminate(), exitCode);
        QVERIFY2(b.err.contains(end), qPrintable(b.err));
        const QStringList saved = savedRecords(folder);
        QCOMPARE(saved.size(), 1);
        if (unplug)
            return;
        const int points = saved.first().section(QLatin1Char(' '), 2, 2).toInt();
        QVERIFY2(points >= 3 && points <= 6, qPrintable(saved.first()));
        QVERIFY(!supply->output);
    }

    // A bench on pseudo-terminals, two supplies of one model among four:
    // one recording, each row of the CSV and of the database one instant for
    // all; one unplugged mid-run has nothing after it, the others record on
    // and the run ends well; it is saved as one record. Each supply is served
    // on its own port and says who it is.
    void headlessBenchRecordsAsOne() {
        const QString folder = freshFolder(QStringLiteral("bench"));
        const QString csv = folder + QStringLiteral("/bench.csv");
        const char* models[] = {"PSQ-3323", "PSQ-3323", "TRQ-7206S", "TRQ-3302"};
        std::vector<std::shared_ptr<trq::sim::Supply>> supplies;
        std::vector<std::unique_ptr<trq::sim::PtyServer>> ptys;
        QStringList arguments{"--headless",    "--record", "8",       "--output-on",
                              "--save",        "bench",    "--csv",   csv,
                              "--data-folder", folder,     "--serve", "--serve-port"};
        const quint16 port = freePort();
        arguments << QString::number(port);
        for (const char* model : models) {
            supplies.push_back(trq::sim::Supply::create(QLatin1String(model)));
            auto* s = supplies.back().get();
            ptys.push_back(std::make_unique<trq::sim::PtyServer>(
                [s](const QByteArray& b) { return s->receive(b); }));
            QVERIFY(ptys.back()->open());
            arguments << "--supply"
                      << (ptys.size() == 1 ? "logic=serial:" : "serial:") +
                             ptys.back()->slavePath();
        }
        Background b(arguments);
        QVERIFY2(b.says(QStringLiteral("Recording 4 supplies for 8 s")), qPrintable(b.err));
        for (int i = 0; i < 2; ++i) {
            Client client;
            QVERIFY(client.connect(quint16(port + i)));
            QVERIFY(client.query("*IDN?").startsWith("POWER_TRQ,PSQ-3323,"));
            QCOMPARE(client.query("SYST:BENCH?"),
                     QStringLiteral("\"logic\",%1,\"PSQ-3323\",%2,\"TRQ-7206S\",%3,\"TRQ-3302\",%4")
                         .arg(port)
                         .arg(port + 1)
                         .arg(port + 2)
                         .arg(port + 3)
                         .toUtf8());
        }
        QTest::qWait(3000);
        ptys.back()->close();
        QVERIFY2(b.says(QStringLiteral("The link to TRQ-3302 was lost; the other supplies go on")),
                 qPrintable(b.err));
        QVERIFY2(b.says(QStringLiteral("Saved as record 1")), qPrintable(b.err));
        // A script switches the bench off in the reverse of its order; the
        // supply that is gone stops it, and every other output goes off.
        Client script;
        QVERIFY(script.connect(port));
        QCOMPARE(script.query("BENC:OUTP?"), QByteArray("0"));
        script.write("BENC:OUTP OFF");
        QCOMPARE(script.error(), QByteArray("0,\"No error\""));
        QTRY_VERIFY(!supplies[0]->output && !supplies[1]->output && !supplies[2]->output);
        QVERIFY2(b.says(QStringLiteral("stopped at step 1: TRQ-3302 is off line")),
                 qPrintable(b.err));
        QCOMPARE(b.terminate(), 0);

        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QVERIFY(lines.first().startsWith("Time,logic CH1 V,logic CH1 A,logic CH2 V,"));
        QVERIFY(lines.first().contains(",PSQ-3323 CH1 V,"));
        QVERIFY(lines.first().contains(",TRQ-7206S CH4 A,"));
        QVERIFY(lines.first().trimmed().endsWith(",TRQ-3302 Gap"));
        QCOMPARE(lines.size(), 1 + 9); // seconds 0..8
        int withoutTheLast = 0;
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> f = line.trimmed().split(',');
            QCOMPARE(f.size(), 1 + 13 + 13 + 17 + 9);
            for (int field : {1, 14, 27}) // each present supply's CH1 V
                QVERIFY2(!f.at(field).isEmpty(), line.constData());
            withoutTheLast += f.at(44).isEmpty() ? 1 : 0;
        }
        QVERIFY2(withoutTheLast >= 3 && withoutTheLast <= 7, qPrintable(lines.join('|')));
        QCOMPARE(savedRecords(folder), QStringList{"bench: 9 points"});
        trq::Database db;
        QCOMPARE(db.open(folder, trq::Database::Access::ReadOnly), trq::Database::OpenResult::Ok);
        const auto times = [&](const QString& table) {
            return sqlRows(db.database(), "select group_concat(RecTime) from " + table);
        };
        QCOMPARE(times("datadetail_s2"), times("datadetail"));
        QCOMPARE(times("datadetail_s3"), times("datadetail"));
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

    // A broker whose connect never completes (its backlog is full, so the
    // system retries the connection for minutes) costs the exit nothing.
    void anUnreachableBrokerDoesNotHoldTheExit() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
        QVERIFY(::listen(listener, 0) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        const quint16 port = ntohs(address.sin_port);
        std::vector<std::unique_ptr<QTcpSocket>> filling;
        for (int i = 0; i < 3; ++i) {
            filling.push_back(std::make_unique<QTcpSocket>());
            filling.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        QTest::qWait(200);
        const QString folder = freshFolder(QStringLiteral("blackhole"));
        Background b({"--headless", "--sim", "PSQ-3323", "--mqtt",
                      QStringLiteral("127.0.0.1:%1").arg(port), "--data-folder", folder});
        QVERIFY2(b.says(QStringLiteral("On line:")), qPrintable(b.err));
        QCOMPARE(b.exitCode(15000), 0); // not minutes
        ::close(listener);
    }

    // Nothing answers on the port: the detection fails with exit 3.
    void silentSupplyIsNoSupply() {
        const QString folder = freshFolder(QStringLiteral("silent"));
        trq::sim::PtyServer pty([](const QByteArray&) { return QByteArray(); });
        QVERIFY(pty.open());
        Background b({"--headless", "--port", pty.slavePath(), "--data-folder", folder});
        QCOMPARE(b.exitCode(), 3);
        QVERIFY2(b.err.contains(QLatin1String("No supply was detected")), qPrintable(b.err));
    }

    // With windows too, --serve serves the supply on line.
    // The windows serve their supply, and a bench's each on its port.
    void windowsServeScripts_data() {
        columns<QStringList, QByteArray>("supplies", "second");
        row("one supply", QStringList{"--sim", "TRQ-3302"}, QByteArray());
        row("a bench", QStringList{"--supply", "sim:TRQ-3302", "--supply", "rail=sim:PSQ-3323"},
            QByteArray("POWER_TRQ,PSQ-3323"));
    }
    void windowsServeScripts() {
        auto [supplies, second] = fetch<QStringList, QByteArray>("supplies", "second");
        const QString folder = freshFolder(QStringLiteral("windows"));
        const quint16 port = freePort();
        Background b(
            supplies + QStringList{QStringLiteral("--serve=%1").arg(port), "--data-folder", folder},
            true);
        // Asked until the program, still starting, serves the supply.
        const auto serves = [](Client& c, quint16 at, const QByteArray& identity) {
            return QTest::qWaitFor(
                [&] {
                    return (c.socket.state() == QAbstractSocket::ConnectedState || c.connect(at)) &&
                           c.query("*IDN?").startsWith(identity);
                },
                20000);
        };
        Client client;
        QVERIFY(serves(client, port, "POWER_TRQ,TRQ-3302"));
        if (!second.isEmpty()) {
            Client rail;
            QVERIFY(serves(rail, port + 1, second));
            QCOMPARE(
                client.query("SYST:BENC?"),
                QStringLiteral("\"TRQ-3302\",%1,\"rail\",%2").arg(port).arg(port + 1).toLatin1());
        }
        b.process.terminate();
        QVERIFY(b.process.waitForFinished(10000));
    }

    // Debian's PyVISA drives a supply through the headless server; a step
    // that fails stops the example with the server's error, and nothing is
    // saved under its name.
    void pyVisaDrivesTheSupply_data() {
        columns<bool, int, QString, QStringList>("unsavedPoints", "exitCode", "says", "saved");
        QTest::newRow("records and saves")
            << false << 0 << "Connected: POWER_TRQ,PSQ-3323" << QStringList{"PyVISA example"};
        QTest::newRow("an unsaved recording refuses a new one")
            << true << 1 << "Starting the recording: -221" << QStringList();
    }
    void pyVisaDrivesTheSupply() {
        auto [unsavedPoints, exitCode, says, saved] =
            fetch<bool, int, QString, QStringList>("unsavedPoints", "exitCode", "says", "saved");
        const QString folder = freshFolder(QStringLiteral("pyvisa"));
        if (unsavedPoints) {
            trq::Database::create(folder + QStringLiteral("/mtype.mdb"));
            trq::Database db;
            QCOMPARE(db.open(folder), trq::Database::OpenResult::Ok);
            trq::RecordStore store(db.database());
            trq::SampleRow row;
            row.recTime = QStringLiteral("2026/12/01 10:00:00");
            QVERIFY(store.appendSample(row));
            QVERIFY(store.setWorkingHeader({{}, row.recTime, row.recTime, {}, true}));
        }
        const quint16 port = freePort();
        Background b({"--headless", "--sim", "PSQ-3323", QStringLiteral("--serve=%1").arg(port),
                      "--data-folder", folder});
        QVERIFY2(b.says(QStringLiteral("On line:")), qPrintable(b.err));
        QProcess client;
        client.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(EXAMPLES_DIR "/pyvisa_example.py"),
                      QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(port)});
        QVERIFY(client.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(client.readAllStandardOutput()) +
                            QString::fromLocal8Bit(client.readAllStandardError());
        QVERIFY2(client.exitCode() == exitCode, qPrintable(out));
        QVERIFY2(out.contains(says), qPrintable(out));
        QCOMPARE(b.terminate(), 0);
        QStringList comments;
        for (const QString& record : savedRecords(folder))
            comments << record.section(QLatin1Char(':'), 0, 0);
        QCOMPARE(comments, saved);
    }
};

TRQ_TEST_MAIN(TestApp)
#include "tst_app.moc"
