// The automation server over a real TCP socket, against each simulated
// family on the serial and the GPIB path: the command set, channel
// addressing, errors, measurements, recording, and what reaches the wire.
#include "automation/scpiinstrument.h"
#include "automation/scpiserver.h"
#include "support/shellfixture.h"
#include "ui/numedit.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpSocket>

using namespace trq;
using namespace trq::test;

namespace {

// A client of the server: writes lines, reads answers.
struct Client {
    QTcpSocket socket;
    bool connect(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(3000);
    }
    void write(const QByteArray& line) {
        socket.write(line + '\n');
        socket.flush();
    }
    // The next answer line, without its line end; empty after 5 s.
    QByteArray read() {
        if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, 5000))
            return {};
        QByteArray line = socket.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        return line;
    }
    QByteArray query(const QByteArray& line) {
        write(line);
        return read();
    }
    // Sends a command and waits until it has been carried out and every
    // command has left the link.
    QByteArray command(const QByteArray& line) { return query(line + ";*OPC?"); }
    QByteArray error() { return query("SYST:ERR?"); }
};

// A session and its server on a free loopback port, with one client.
template <typename Base> struct Served : Base {
    ScpiServer server{*this->session};
    Client client;
    Served() {
        QVERIFY(server.start({0, false}));
        QVERIFY(client.connect(server.port()));
        QTRY_COMPARE(server.clientCount(), 1);
    }
};
using ServerFixture = Served<SessionFixture>;

QByteArray errorNumber(const QByteArray& error) {
    return error.left(error.indexOf(','));
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    void answersWithoutASupply() {
        ServerFixture f;
        QCOMPARE(f.client.query("*IDN?"), QByteArray("POWER_TRQ,NONE,0,1.1.0"));
        QCOMPARE(f.client.query("SYST:VERS?"), QByteArray("1999.0"));
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        f.client.write("VOLT 1;OUTP ON");
        QCOMPARE(f.client.error(), QByteArray("-241,\"Hardware missing\""));
        QCOMPARE(f.client.error(), QByteArray("-241,\"Hardware missing\""));
        f.client.write("*RST;*CLS");
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        QCOMPARE(f.link.pendingCommands(), 0);
    }

    // Each family gets the texts its own panel would send.
    void settingsReachTheWire_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("gpib");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QStringList>("sent");
        const QByteArrayList three{
            "VOLT2 12.5",         ":CHAN3:CURR 1",   "SOUR:VOLT1:PROT 20.125",
            "CURR2:PROT:STAT ON", "OUTP:COUP INDEP", "OUTP ON"};
        const QStringList threeSent{":CHAN2:VOLT 12.5",        ":CHAN3:CURR 1.",
                                    ":CHAN1:PROT:VOLT 20.125", ":CHAN2:PROT:CURR 1",
                                    ":OUTP:COUP:TRAC 0",       ":OUTP:STAT 1"};
        const QByteArrayList one{"VOLT 12.5", "CURR 2.25", "VOLT:PROT 20", "CURR:PROT:STAT 1",
                                 "OUTP 1"};
        const QStringList oneSent{":VOLT 12.5", ":CURR 2.25", ":VOLT:PROT 20", ":CURR:PROT 1",
                                  ":OUTP:STAT 1"};
        const QByteArrayList two{"VOLT1 12.5", "CURR2 1", "OUTP:COUP TRAC", "OUTP ON"};
        const QStringList twoSent{"VSET1:12.5", "ISET2:1.", "TRACK1", "OUT1"};
        const QByteArrayList four{":CHAN3:VOLT 5.5", "CURR4 1", "OUTP ON"};
        const QStringList fourSent{"VSET3:5.5", "ISET4:1.0", "OUT1"};
        for (bool gpib : {false, true}) {
            const char* via = gpib ? "GPIB" : "serial";
            QTest::addRow("three-channel %s", via) << "PSQ-3323" << gpib << three << threeSent;
            QTest::addRow("single-channel %s", via) << "SPQ-3610DNB" << gpib << one << oneSent;
            QTest::addRow("two-channel %s", via) << "TRQ-3302" << gpib << two << twoSent;
            if (!gpib) // the four-channel supply polls only over serial
                QTest::addRow("four-channel %s", via) << "TRQ-7206S" << gpib << four << fourSent;
        }
    }
    void settingsReachTheWire() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        QFETCH(QByteArrayList, lines);
        QFETCH(QStringList, sent);
        ServerFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        f.takeReceived();
        for (const QByteArray& line : lines)
            QCOMPARE(f.client.command(line), QByteArray("1"));
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
        QVERIFY(f.client.query("*IDN?").contains(model.toLatin1()));
    }

    // A setting from a script goes out in exactly the bytes of the panel's
    // own edit, and the panel shows it.
    void aScriptSendsWhatThePanelSends() {
        Served<ShellFixture> f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        ShellFixture::type(f.panel()->voltageEdit(1), QStringLiteral("12.346"));
        QVERIFY(f.waitReceived());
        const QStringList byPanel = f.takeReceived();
        QCOMPARE(f.client.command("VOLT2 12.3456"), QByteArray("1"));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), byPanel);
        QCOMPARE(f.panel()->voltageEdit(1)->value(), 12.346);
        QCOMPARE(f.client.command("OUTP ON;CURR2:PROT:STAT ON"), QByteArray("1"));
        QVERIFY(f.panel()->outputSwitch()->isChecked());
        QVERIFY(f.panel()->overCurrentSwitch(1)->isChecked());
        QVERIFY(f.main->action(MainWindow::Command::Output)->isChecked());
    }

    void shortAndLongFormsAndChannels_data() {
        QTest::addColumn<QByteArray>("set");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("long") << QByteArray("SOURce:VOLTage:LEVel:IMMediate:AMPLitude 5")
                              << QByteArray("SOUR:VOLT?");
        QTest::newRow("lower case") << QByteArray("sour:volt 5") << QByteArray("volt?");
        QTest::newRow("channel prefix")
            << QByteArray(":CHANnel2:VOLTage 5") << QByteArray("VOLT2?");
        QTest::newRow("channel suffix") << QByteArray("volt3:lev 5") << QByteArray(":CHAN3:VOLT?");
        QTest::newRow("current") << QByteArray("CURRENT1 1.25") << QByteArray("CURR?");
    }
    void shortAndLongFormsAndChannels() {
        QFETCH(QByteArray, set);
        QFETCH(QByteArray, query);
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.client.write(set);
        const QByteArray value = set.mid(set.lastIndexOf(' ') + 1);
        QCOMPARE(f.client.query(query).toDouble(), value.toDouble());
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
    }

    void errors_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("error");
        const QString three = QStringLiteral("PSQ-3323");
        QTest::newRow("command error") << three << QByteArray("*RST") << QByteArray("-100");
        QTest::newRow("syntax") << three << QByteArray("VOLT \"5") << QByteArray("-102");
        QTest::newRow("data type") << three << QByteArray("VOLT five") << QByteArray("-104");
        QTest::newRow("parameter not allowed")
            << three << QByteArray("OUTP ON,OFF") << QByteArray("-108");
        QTest::newRow("missing parameter") << three << QByteArray("VOLT") << QByteArray("-109");
        QTest::newRow("undefined header") << three << QByteArray("VOLTS 1") << QByteArray("-113");
        QTest::newRow("query only") << three << QByteArray("MEAS:VOLT 1") << QByteArray("-113");
        QTest::newRow("the model lacks it")
            << QStringLiteral("TRQ-3302") << QByteArray("VOLT:PROT 5") << QByteArray("-113");
        QTest::newRow("no memories here")
            << QStringLiteral("TRQ-3302") << QByteArray("MEM:SAV 1") << QByteArray("-113");
        QTest::newRow("channel out of range")
            << three << QByteArray("VOLT4 1") << QByteArray("-114");
        QTest::newRow("output off: no recording")
            << three << QByteArray("REC:LENG 5;REC:STAR") << QByteArray("-221");
        QTest::newRow("above the limit") << three << QByteArray("VOLT 32.5") << QByteArray("-222");
        QTest::newRow("channel 3's own limit")
            << three << QByteArray("VOLT3 7") << QByteArray("-222");
        QTest::newRow("negative") << three << QByteArray("CURR -1") << QByteArray("-222");
        QTest::newRow("memory out of range") << three << QByteArray("*SAV 5") << QByteArray("-222");
    }
    void errors() {
        QFETCH(QString, model);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, error);
        ServerFixture f;
        QVERIFY(f.onLineSerial(model));
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        f.client.write(line);
        QCOMPARE(f.client.query("*OPC?"), QByteArray("1"));
        QCOMPARE(errorNumber(f.client.error()), error);
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        QCOMPARE(f.takeReceived(), QStringList()); // nothing reached the supply
    }

    // The error queue keeps 16 entries; the last says it overflowed.
    void errorQueueOverflows() {
        ServerFixture f;
        for (int i = 0; i < 20; ++i)
            f.client.write("NOSUCH");
        QStringList errors;
        for (int i = 0; i < 17; ++i)
            errors << QString::fromLatin1(errorNumber(f.client.error()));
        QCOMPARE(errors, (QStringList(15, "-113") + QStringList{"-350", "0"}));
    }

    // Commands beyond what the link may hold for scripts are refused with a
    // queue overflow; the poll goes on meanwhile.
    void floodIsRefusedAndThePollGoesOn() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->setOutput(true);
        f.link.writerTimer().stop();
        QByteArray flood;
        for (int i = 0; i < ScpiInstrument::kCommandLimit + 10; ++i)
            flood += "VOLT 1;";
        f.client.write(flood);
        QCOMPARE(errorNumber(f.client.error()), QByteArray("-350"));
        QCOMPARE(f.link.pendingCommands(), ScpiInstrument::kCommandLimit);
        f.takeReceived();
        f.link.writerTimer().start();
        f.session->pollTimer().setInterval(5);
        QVERIFY(QTest::qWaitFor([&] { return f.link.pendingCommands() == 0; }));
        // While the script's commands went out, the poll's queries did too.
        const QStringList sent = f.takeReceived();
        const qsizetype lastCommand = sent.lastIndexOf(QStringLiteral(":CHAN1:VOLT 1."));
        QVERIFY2(sent.mid(0, lastCommand).filter(QStringLiteral(":MEAS:")).size() >= 5,
                 qPrintable(sent.join(' ')));
    }

    void measurements() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.client.query("MEAS:VOLT?"), QByteArray("0")); // output off: nothing shown
        QCOMPARE(f.client.query("MEAS:ALL?"), QByteArray("0,0,0,0,0,0"));
        f.instrument().channel(2).vset = 12;
        f.instrument().channel(2).iset = 1.5;
        f.session->pollTimer().setInterval(5);
        f.client.command("OUTP ON");
        QTRY_COMPARE(f.session->channel(1).voltage, QStringLiteral("12.000"));
        QTRY_VERIFY(!f.session->channel(1).current.isEmpty());
        const double current = f.session->channel(1).current.toDouble();
        QCOMPARE(f.client.query("MEAS:VOLT? 2").toDouble(), 12.0);
        QCOMPARE(f.client.query(":CHAN2:MEAS:CURR?").toDouble(), current);
        QCOMPARE(f.client.query("MEAS:POW2?").toDouble(), 12.0 * current);
        const QByteArrayList all = f.client.query("MEAS:ALL?").split(',');
        QCOMPARE(all.size(), 6);
        QCOMPARE(all.at(2).toDouble(), 12.0);
        const qint64 age = f.client.query("MEAS:AGE? 2").toLongLong();
        QVERIFY(age >= 0 && age < 60000);
        QCOMPARE(f.client.query("MEAS:VOLT? 4"), QByteArray());
        QCOMPARE(errorNumber(f.client.error()), QByteArray("-222"));
    }

    void recordingFromAScript() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        // Until stopped, then a length again.
        QCOMPARE(f.client.command("REC:LENG INF"), QByteArray("1"));
        QCOMPARE(f.client.query("REC:LENG?"), QByteArray("9.9E37"));
        QCOMPARE(f.client.command("OUTP ON;REC:LENG 3"), QByteArray("1"));
        QCOMPARE(f.client.query("REC:LENG?"), QByteArray("3"));
        f.client.write("REC:STAR");
        QTRY_COMPARE(f.client.query("REC:STAT?"), QByteArray("1"));
        QTRY_COMPARE_WITH_TIMEOUT(f.client.query("REC:STAT?"), QByteArray("0"), 10000);
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        f.client.write("REC:SAVE \"bench, run 1\"");
        const QByteArray number = f.client.query("REC:NUMB?");
        QVERIFY(number.size() > 2 && number != "\"\"");
        QCOMPARE(f.store->record(QString::fromLatin1(number.mid(1, number.size() - 2)))->comment,
                 QStringLiteral("bench, run 1"));
        f.client.write("REC:DATA?");
        QVERIFY(QTest::qWaitFor([&] { return f.client.socket.bytesAvailable() > 2; }));
        const QByteArray head = f.client.socket.read(2);
        QCOMPARE(head.at(0), '#');
        const int digits = head.at(1) - '0';
        QVERIFY(QTest::qWaitFor([&] { return f.client.socket.bytesAvailable() >= digits; }));
        const int length = f.client.socket.read(digits).toInt();
        QVERIFY(QTest::qWaitFor([&] { return f.client.socket.bytesAvailable() > length; }));
        const QByteArray csv = f.client.socket.read(length);
        QCOMPARE(f.client.read(), QByteArray()); // the block's line end
        QCOMPARE(csv.count("\r\n"), 1 + 4);      // the header and a point per second, 0..3
        // The recording is saved: a new one may start without a question.
        QCOMPARE(f.client.command("REC:LENG 2;REC:STAR;REC:STOP"), QByteArray("1"));
        QCOMPARE(f.client.error(), QByteArray("0,\"No error\""));
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // An unsaved recording is never thrown away by a script.
    void unsavedPointsAreKept() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.client.command("OUTP ON;REC:LENG 1;REC:STAR");
        QTRY_COMPARE(f.client.query("REC:STAT?"), QByteArray("0"));
        const int rows = f.store->workingCount().value_or(-1);
        QVERIFY(rows > 0);
        f.client.command("REC:LENG 5;REC:STAR");
        QCOMPARE(f.client.error(),
                 QByteArray("-221,\"Settings conflict;the working table holds an unsaved "
                            "recording\""));
        QCOMPARE(f.store->workingCount().value_or(-1), rows);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // Nothing a client sends can stop the server or the other clients.
    void robustness() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        // Binary garbage, NULs and a line far over 4 KiB.
        QByteArray garbage(2000, '\0');
        for (char& c : garbage)
            c = char(QRandomGenerator::global()->bounded(256));
        garbage.replace('\n', 'x');
        f.client.write(garbage);
        f.client.write(QByteArray(9000, 'A'));
        QCOMPARE(f.client.query("*IDN?"), QByteArray("POWER_TRQ,PSQ-3323,0,1.1.0"));
        QStringList errors;
        for (QByteArray e = f.client.error(); !e.startsWith("0,"); e = f.client.error())
            errors << QString::fromLatin1(errorNumber(e));
        QVERIFY(errors.contains(QStringLiteral("-363")));
        // Eight clients at most; a ninth is closed at once.
        std::vector<std::unique_ptr<Client>> more;
        for (int i = 0; i < ScpiServer::kMaxClients; ++i) {
            more.push_back(std::make_unique<Client>());
            QVERIFY(more.back()->connect(f.server.port()));
        }
        QTRY_COMPARE(f.server.clientCount(), ScpiServer::kMaxClients);
        QTRY_COMPARE(more.back()->socket.state(), QAbstractSocket::UnconnectedState);
        // A client gone in the middle of its answer is dropped quietly.
        more.front()->write("REC:DATA?;MEAS:ALL?");
        more.front()->socket.abort();
        QTRY_COMPARE(f.server.clientCount(), ScpiServer::kMaxClients - 1);
        QCOMPARE(f.client.query("OUTP?"), QByteArray("0"));
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // *OPC? answers once every command sent before it has left the link.
    void operationCompleteWaitsForTheLink() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.link.writerTimer().stop();
        f.client.write("VOLT 2;*OPC?");
        QTRY_COMPARE(f.link.pendingCommands(), 1);
        QTest::qWait(50);
        QVERIFY(!f.client.socket.canReadLine());
        f.link.writerTimer().start();
        QCOMPARE(f.client.read(), QByteArray("1"));
        QCOMPARE(f.link.pendingCommands(), 0);
    }

    void listensOnLoopbackUnlessAllowed() {
        SessionFixture f;
        ScpiServer server(*f.session);
        QSignalSpy warnings(&server, &ScpiServer::warning);
        QVERIFY(server.start({0, false}));
        QVERIFY(server.statusText().contains(QStringLiteral("127.0.0.1")));
        QCOMPARE(warnings.size(), 0);
        QVERIFY(server.start({0, true}));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.at(0).at(0).toString().contains(QStringLiteral("switch outputs")));
        // A port in use is reported, not ignored.
        ScpiServer second(*f.session);
        QVERIFY(!second.start({server.port(), true}));
        QVERIFY(second.errorString().contains(QString::number(server.port())));
    }
};

TRQ_TEST_MAIN(TestServer)
#include "tst_server.moc"
