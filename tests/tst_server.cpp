// The automation server over a real TCP socket, against each simulated
// family on the serial and the GPIB path: the command set, channel
// addressing, errors, measurements, recording, and what reaches the wire.
#include "automation/scpiinstrument.h"
#include "automation/scpiserver.h"
#include "storage/csvexport.h"
#include "support/shellfixture.h"
#include "ui/numedit.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

// A working table of n points, three channels, straight into the store.
void fillWorkingTable(QSqlDatabase db, int n) {
    QSqlQuery q(db);
    QVERIFY(q.exec(
        QStringLiteral("with recursive s(i) as (select 0 union all select i + 1 from s where i < "
                       "%1) insert into datatemp (SeqNo, RecTime, PVal, SVal, Reason, PVal2, "
                       "SVal2, Reason2, PVal3, SVal3, Reason3, Comment, TimeTick, DiffLastTime, "
                       "Gap, Ah1, Wh1) select i, strftime('%Y/%m/%d %H:%M:%S', 1780000000 + i, "
                       "'unixepoch'), '12.000', '1.203', '1', '5.000', '0.498', '2', '3.300', "
                       "'0.331', '3', '', i, 1, i % 7 = 0, i / 3600.0, i / 300.0 from s")
            .arg(n - 1)));
}

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
// The same with the three-channel supply on line over serial.
struct OnLine : ServerFixture {
    OnLine() { QVERIFY(onLineSerial(QStringLiteral("PSQ-3323"))); }
};
const QByteArray kNoError = "0,\"No error\"";

QByteArray errorNumber(const QByteArray& error) {
    return error.left(error.indexOf(','));
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // Without a supply: the identity, and every setting refused; the error
    // queue keeps 16 entries, the last saying it overflowed.
    void answersWithoutASupply() {
        ServerFixture f;
        QCOMPARE(f.client.query("*IDN?"), QByteArray("POWER_TRQ,NONE,0,1.1.0"));
        QCOMPARE(f.client.query("SYST:VERS?"), QByteArray("1999.0"));
        QCOMPARE(f.client.query("SYST:BENC?"), "\"NONE\"," + QByteArray::number(f.server.port()));
        QCOMPARE(f.client.error(), kNoError);
        f.client.write("BENC:OUTP ON");
        QCOMPARE(f.client.error(), QByteArray("-113,\"Undefined header;no bench is served\""));
        f.client.write("VOLT 1;OUTP ON");
        QCOMPARE(f.client.error(), QByteArray("-241,\"Hardware missing\""));
        QCOMPARE(f.client.error(), QByteArray("-241,\"Hardware missing\""));
        f.client.write("*RST;*CLS");
        QCOMPARE(f.client.error(), kNoError);
        QCOMPARE(f.link.pendingCommands(), 0);
        for (int i = 0; i < 20; ++i)
            f.client.write("NOSUCH");
        QStringList errors;
        for (int i = 0; i < 17; ++i)
            errors << QString::fromLatin1(errorNumber(f.client.error()));
        QCOMPARE(errors, (QStringList(15, "-113") + QStringList{"-350", "0"}));
    }

    // A recall drains the link and reads the supply back; the script's next
    // line waits for it instead of being lost meanwhile.
    void aRecallHoldsTheNextLine() {
        ServerFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().saveMemory(1);
        f.takeReceived();
        f.client.write("*RCL 1\nVOLT1 3\n*OPC?");
        QCOMPARE(f.client.read(), QByteArray("1"));
        const QStringList sent = commandsOnly(f.takeReceived());
        const qsizetype recall = sent.indexOf(QStringLiteral("*RCL 1"));
        QVERIFY(recall >= 0 && sent.indexOf(QStringLiteral(":CHAN1:VOLT 3.")) > recall);
    }

    // A setting from a script goes out in exactly the bytes of the panel's
    // own edit, each kind of setting in the panel's text, and the panel shows
    // them; the texts of each family and interface are tst_frontpanel's and
    // the golden traces'.
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
        for (const char* line : {":CHAN3:CURR 1", "SOUR:VOLT1:PROT 20.125", "CURR2:PROT:STAT ON",
                                 "OUTP:COUP INDEP", "OUTP ON"})
            QCOMPARE(f.client.command(line), QByteArray("1"));
        QCOMPARE(f.client.error(), kNoError);
        QVERIFY(f.quiet());
        QCOMPARE(commandsOnly(f.takeReceived()),
                 (QStringList{":CHAN3:CURR 1.", ":CHAN1:PROT:VOLT 20.125", ":CHAN2:PROT:CURR 1",
                              ":OUTP:COUP:TRAC 0", ":OUTP:STAT 1"}));
        QVERIFY(f.panel()->outputSwitch()->isChecked());
        QVERIFY(f.panel()->overCurrentSwitch(1)->isChecked());
        QVERIFY(f.main->action(MainWindow::Command::Output)->isChecked());
    }

    void shortAndLongFormsAndChannels_data() {
        columns<QString, QString>("set", "query");
        row("long", "SOURce:VOLTage:LEVel:IMMediate:AMPLitude 5", "SOUR:VOLT?");
        row("lower case", "sour:volt 5", "volt?");
        row("channel prefix", ":CHANnel2:VOLTage 5", "VOLT2?");
        row("channel suffix", "volt3:lev 5", ":CHAN3:VOLT?");
        row("the same channel twice", ":CHAN2:VOLT2 5", "VOLT2?");
        row("current", "CURRENT1 1.25", "CURR?");
    }
    void shortAndLongFormsAndChannels() {
        auto [set, query] = fetch<QString, QString>("set", "query");
        OnLine f;
        f.client.write(set.toLatin1());
        QCOMPARE(f.client.query(query.toLatin1()).toDouble(),
                 set.section(QLatin1Char(' '), -1).toDouble());
        QCOMPARE(f.client.error(), kNoError);
    }

    void errors_data() {
        columns<QString, QByteArray, QByteArray>("model", "line", "error");
        const auto row = [](const char* name, const QByteArray& line, const char* error,
                            const char* model = "PSQ-3323") {
            QTest::newRow(name) << QString::fromLatin1(model) << line << QByteArray(error);
        };
        row("command error", "*RST", "-100");
        row("syntax", "VOLT \"5", "-102");
        row("data type", "VOLT five", "-104");
        row("parameter not allowed", "OUTP ON,OFF", "-108");
        row("missing parameter", "VOLT", "-109");
        row("undefined header", "VOLTS 1", "-113");
        row("query only", "MEAS:VOLT 1", "-113");
        row("the model lacks it", "VOLT:PROT 5", "-113", "TRQ-3302");
        row("no memories here", "MEM:SAV 1", "-113", "TRQ-3302");
        row("channel out of range", "VOLT4 1", "-114");
        row("channel zero", "VOLT0 2.25", "-114");
        row("channel past any number", "VOLT99999999999 2.5", "-114");
        row("two channels named", "CHAN2:VOLT3 1", "-114");
        row("channel zero before", ":CHAN0:VOLT 5", "-114");
        row("channel zero before an output command", ":CHAN0:OUTP ON", "-114");
        row("measured channel zero", "MEAS:VOLT? 0", "-222");
        row("measured channel past any number", "MEAS:VOLT? 1e30", "-222");
        row("a negative number of points", "REC:DATA? 0,-1", "-222");
        row("the longest line", QByteArray("*CLS").leftJustified(4096, ' '), "0");
        row("a byte longer", QByteArray("*CLS").leftJustified(4097, ' '), "-363");
        row("output off: no recording", "REC:LENG 5;REC:STAR", "-221");
        row("above the limit", "VOLT 32.5", "-222");
        row("channel 3's own limit", "VOLT3 7", "-222");
        row("negative", "CURR -1", "-222");
        row("memory out of range", "*SAV 5", "-222");
    }
    void errors() {
        auto [model, line, error] =
            fetch<QString, QByteArray, QByteArray>("model", "line", "error");
        ServerFixture f;
        QVERIFY(f.onLineSerial(model));
        QVERIFY(f.quiet());
        f.takeReceived();
        f.client.write(line);
        QCOMPARE(f.client.query("*OPC?"), QByteArray("1"));
        QCOMPARE(errorNumber(f.client.error()), error);
        QCOMPARE(f.client.error(), kNoError);
        QCOMPARE(f.takeReceived(), QStringList()); // nothing reached the supply
    }

    // Commands beyond what the link may hold for scripts are refused with a
    // queue overflow; the poll goes on meanwhile.
    void floodIsRefusedAndThePollGoesOn() {
        OnLine f;
        f.session->control().setOutput(true);
        f.link.writerTimer().stop();
        QByteArray flood;
        for (int i = 0; i < ScpiInstrument::kCommandLimit + 10; ++i)
            flood += "VOLT 1;";
        f.client.write(flood);
        QCOMPARE(errorNumber(f.client.error()), QByteArray("-350"));
        QCOMPARE(f.link.pendingCommands(), ScpiInstrument::kCommandLimit);
        f.takeReceived();
        f.link.writerTimer().start();
        f.session->poll().timer().setInterval(5);
        QVERIFY(QTest::qWaitFor([&] { return f.link.pendingCommands() == 0; }));
        // While the script's commands went out, the poll's queries did too.
        const QStringList sent = f.takeReceived();
        const qsizetype lastCommand = sent.lastIndexOf(QStringLiteral(":CHAN1:VOLT 1."));
        QVERIFY2(sent.mid(0, lastCommand).filter(QStringLiteral(":MEAS:")).size() >= 5,
                 qPrintable(sent.join(' ')));
    }

    // A client's lines run a few at a time: another client's command goes
    // out while a flood is still being run, and an error repeated in a
    // flood is traced once, then with its count once its second is over.
    void aFloodHoldsUpNoOne() {
        OnLine f;
        QVERIFY(f.waitReceived());
        f.takeReceived();
        Client other;
        QVERIFY(other.connect(f.server.port()));
        QTRY_COMPARE(f.server.clientCount(), 2);
        TraceCapture traced;
        f.client.write(QByteArray("NOSUCH\n").repeated(1999) + "VOLT1 1.5;*OPC?");
        other.write("VOLT2 2.5;*OPC?");
        QCOMPARE(other.read(), QByteArray("1"));
        QCOMPARE(f.client.read(), QByteArray("1"));
        QCOMPARE(commandsOnly(f.takeReceived()),
                 (QStringList{":CHAN2:VOLT 2.5", ":CHAN1:VOLT 1.5"}));
        const auto undefined = [&] {
            return traced.lines.filter(QStringLiteral("SCPI error -113"));
        };
        QCOMPARE(undefined().size(), 1);
        f.clock.advanceMsec(1000);
        QTRY_COMPARE(undefined().size(), 2);
        QVERIFY2(
            undefined().last().endsWith(QStringLiteral("\"Undefined header\" (1998 more times)")),
            qPrintable(undefined().last()));
    }

    // A measurement is of the output's present state or none (9.91E+37),
    // never half of each, right after OUTP ON too; *OPC? after OUTP ON
    // returns once every channel has one; with the output off each reads 0.
    // The four-channel supply's direct reading never overtakes the output
    // command.
    void measurementsFollowTheOutput_data() {
        columns<QString, bool>("model", "gpib");
        QTest::newRow("PSQ-3323 serial") << "PSQ-3323" << false;
        QTest::newRow("TRQ-7206S serial") << "TRQ-7206S" << false;
        QTest::newRow("TRQ-3302 serial") << "TRQ-3302" << false;
        QTest::newRow("PSQ-3323 gpib") << "PSQ-3323" << true;
    }
    void measurementsFollowTheOutput() {
        auto [model, gpib] = fetch<QString, bool>("model", "gpib");
        ServerFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        const int channels = f.session->supply().channelCount();
        for (int n = 1; n <= channels; ++n) {
            f.instrument().channel(n).vset = n;
            f.instrument().channel(n).iset = 1; // no current limit at n V into 10 ohm
        }
        f.session->poll().timer().setInterval(5);
        // Each channel: its set voltage, or nothing yet; with all, no nothing.
        const auto check = [&](bool complete) {
            const QByteArrayList all = f.client.query("MEAS:ALL?").split(',');
            QCOMPARE(all.size(), 2 * channels);
            for (int n = 1; n <= channels; ++n) {
                const QByteArray v = all.at(2 * n - 2), i = all.at(2 * n - 1);
                const bool none = v == "9.91E+37";
                QVERIFY2(none == (i == "9.91E+37"), qPrintable(all.join(',')));
                QVERIFY2(complete ? !none : none || v.toDouble() == n, qPrintable(all.join(',')));
                if (!none)
                    QCOMPARE(v.toDouble(), double(n));
            }
        };
        for (int round = 0; round < 2; ++round) {
            f.client.write("OUTP ON");
            check(false);
            QCOMPARE(f.client.query("*OPC?"), QByteArray("1"));
            check(true);
            QCOMPARE(f.client.command("OUTP OFF"), QByteArray("1"));
            QCOMPARE(f.client.query("MEAS:ALL?"),
                     QByteArray("0").repeated(1) + QByteArray(",0").repeated(2 * channels - 1));
        }
        QCOMPARE(f.client.error(), kNoError);
        // Each channel's own measurements are what the panel shows.
        QCOMPARE(f.client.command("OUTP ON"), QByteArray("1"));
        for (int n = 1; n <= channels; ++n) {
            const QByteArray c = QByteArray::number(n);
            const double amps = f.session->supply().channel(n - 1).current.value().value_or(-1);
            QCOMPARE(f.client.query("MEAS:VOLT? " + c).toDouble(), double(n));
            QCOMPARE(f.client.query(":CHAN" + c + ":MEAS:CURR?").toDouble(), amps);
            QCOMPARE(f.client.query("MEAS:POW" + c + "?").toDouble(), n * amps);
            const qint64 age = f.client.query("MEAS:AGE? " + c).toLongLong();
            QVERIFY(age >= 0 && age < 60000);
        }
        // The poll's pace, as the status bar shows it: readings per second
        // and the wire's limit for them; a GPIB bus has none.
        QTRY_VERIFY((f.clock.advanceMsec(100), f.session->poll().rate().readingsPerSec > 0));
        const QList<QByteArray> rate = f.client.query("MEAS:RATE?").split(',');
        QCOMPARE(rate.size(), 2);
        QVERIFY(rate[0].toDouble() > 0);
        QCOMPARE(rate[1] == "9.91E+37", gpib);
        QCOMPARE(f.client.query("MEAS:VOLT? " + QByteArray::number(channels + 1)), QByteArray());
        QCOMPARE(errorNumber(f.client.error()), QByteArray("-222"));
    }

    // A recording from a script; an unsaved one is never thrown away by a
    // script, a saved one may be.
    void recordingFromAScript() {
        OnLine f;
        // Until stopped, then a length again.
        QCOMPARE(f.client.command("REC:LENG INF"), QByteArray("1"));
        QCOMPARE(f.client.query("REC:LENG?"), QByteArray("9.9E37"));
        QCOMPARE(f.client.command("OUTP ON;REC:LENG 3"), QByteArray("1"));
        QCOMPARE(f.client.query("REC:LENG?"), QByteArray("3"));
        f.client.write("REC:STAR");
        QTRY_COMPARE(f.client.query("REC:STAT?"), QByteArray("1"));
        QTRY_COMPARE_WITH_TIMEOUT(f.client.query("REC:STAT?"), QByteArray("0"), 10000);
        QCOMPARE(f.client.error(), kNoError);
        const int rows = f.store->workingCount().value_or(-1);
        QVERIFY(rows > 0);
        f.client.command("REC:LENG 5;REC:STAR");
        QCOMPARE(f.client.error(),
                 QByteArray("-221,\"Settings conflict;the working table holds an unsaved "
                            "recording\""));
        QCOMPARE(f.store->workingCount().value_or(-1), rows);
        f.client.write("REC:SAVE \"bench, run 1\"");
        const QByteArray number = f.client.query("REC:NUMB?");
        QVERIFY(number.toInt() > 0);
        QCOMPARE(f.store->record(QString::fromLatin1(number))->comment,
                 QStringLiteral("bench, run 1"));
        f.client.write("REC:DATA?");
        const QByteArray csv = f.client.block();
        QCOMPARE(csv.count("\r\n"), 1 + 4); // the header and a point per second, 0..3
        QCOMPARE(f.client.command("REC:LENG 2;REC:STAR;REC:STOP"), QByteArray("1"));
        QCOMPARE(f.client.error(), kNoError);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // A sequence from a script: a refused one is an error naming the line
    // or step; it runs on the supply's wire, pauses, resumes and stops with
    // the output off.
    void sequencesFromAScript() {
        OnLine f;
        QCOMPARE(f.client.query("SEQ:STAT?"), QByteArray("IDLE,0"));
        f.client.write("SEQ:RUN");
        QCOMPARE(errorNumber(f.client.error()), QByteArray("-221"));
        // Each refusal with its code and its reason.
        const std::pair<QByteArray, QByteArray> refusals[] = {
            {"SEQ:LOAD \"channel,voltage\\n1,2\"",
             "-222,\"Data out of range;Line 1: the column 'current' is missing.\""},
            {"SEQ:LOAD \"channel,voltage,current,output,dwell_s\\n1,99,,on,1\"",
             "-222,\"Data out of range;Step 1: 99 V on channel 1 is beyond 0 to 32 V.\""},
            {"SEQ:LOAD:FILE \"/no/such/file.csv\"",
             "-300,\"Device-specific error;No such file or directory\""},
            {"SEQ:PAUS", "-221,\"Settings conflict;no sequence runs\""},
            {"SEQ:STOP", "-221,\"Settings conflict;no sequence runs\""}};
        for (const auto& [command, error] : refusals) {
            f.client.write(command);
            QCOMPARE(f.client.error(), error);
        }
        const QByteArray load = "SEQ:LOAD \"channel,voltage,current,output,dwell_s\\n"
                                "1,3.3,0.5,on,0.2\\n2,4,,,0.2\\n1,,,off,0\"";
        QCOMPARE(f.client.command(load), QByteArray("1"));
        QCOMPARE(f.client.error(), kNoError);
        f.client.write("SEQ:RUN");
        QTRY_COMPARE(f.client.query("SEQ:STAT?"), QByteArray("DONE,3"));
        QCOMPARE(f.instrument().channel(1).vset, 3.3);
        QCOMPARE(f.instrument().channel(2).vset, 4.0);
        QTRY_VERIFY(!f.instrument().output);

        QCOMPARE(f.client.query("SEQ:RUN;SEQ:PAUS;SEQ:STAT?"), QByteArray("PAUSED,1"));
        f.client.write("SEQ:RUN"); // resumed
        QTRY_COMPARE(f.client.query("SEQ:STAT?"), QByteArray("DONE,3"));
        QCOMPARE(f.client.query("SEQ:RUN;SEQ:STOP;SEQ:STAT?"), QByteArray("STOPPED,1"));
        QTRY_VERIFY(!f.instrument().output);
        QCOMPARE(f.client.error(), kNoError);
    }

    // Nothing a client sends can stop the server or the other clients.
    void robustness() {
        OnLine f;
        // Binary garbage, NULs and a line far over 4 KiB (the longest line
        // taken is errors' row).
        QByteArray garbage(2000, '\0');
        for (char& c : garbage)
            c = char(QRandomGenerator::global()->bounded(256));
        garbage.replace('\n', 'x');
        f.client.write(garbage);
        f.client.write(QByteArray(9000, 'A'));
        QCOMPARE(f.client.query("*IDN?"), QByteArray("POWER_TRQ,PSQ-3323,SN20260001,1.1.0"));
        // *OPC? answers once every command sent before it has left the link.
        // A client that writes without end while it waits is not read into
        // memory: what the server cannot run yet stays in its socket.
        Client flooding;
        QVERIFY(flooding.connect(f.server.port()));
        QTRY_COMPARE(f.server.clientCount(), 2);
        f.link.writerTimer().stop();
        flooding.write("VOLT 2;*OPC?");
        QTRY_COMPARE(f.link.pendingCommands(), 1);
        flooding.socket.write(QByteArray("SYST:VERS?\n").repeated(2'000'000));
        QVERIFY(
            !QTest::qWaitFor([&] { return flooding.socket.bytesToWrite() < 10'000'000; }, 1000));
        QCOMPARE(flooding.socket.bytesAvailable(), 0); // *OPC? waits for the link
        flooding.socket.abort();
        f.link.writerTimer().start();
        QTRY_COMPARE(f.server.clientCount(), 1);
        // A client gone in the middle of its answer is dropped quietly.
        Client gone;
        QVERIFY(gone.connect(f.server.port()));
        QTRY_COMPARE(f.server.clientCount(), 2);
        gone.write("REC:DATA?;MEAS:ALL?");
        gone.socket.abort();
        QTRY_COMPARE(f.server.clientCount(), 1);
        QCOMPARE(f.client.query("OUTP?"), QByteArray("0"));
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // Eight clients at most: a ninth is told why, then closed. A client
    // that has sent nothing for the idle time is closed, and the trace says
    // so: forgotten connections do not lock the others out.
    void idleClientsMakeRoom() {
        ServerFixture f;
        TraceCapture traced;
        std::vector<std::unique_ptr<Client>> idle;
        for (int i = 1; i < ScpiServer::kMaxClients; ++i) {
            idle.push_back(std::make_unique<Client>());
            QVERIFY(idle.back()->connect(f.server.port()));
        }
        QTRY_COMPARE(f.server.clientCount(), ScpiServer::kMaxClients);
        Client ninth;
        QVERIFY(ninth.connect(f.server.port()));
        QCOMPARE(ninth.read(),
                 QByteArray("-300,\"Device-specific error;too many clients, 8 connected\""));
        QTRY_COMPARE(ninth.socket.state(), QAbstractSocket::UnconnectedState);
        // One client goes on asking; the others say nothing for 11 minutes.
        f.clock.advanceMsec(6 * 60 * 1000);
        QCOMPARE(f.client.query("SYST:VERS?"), QByteArray("1999.0"));
        f.clock.advanceMsec(5 * 60 * 1000);
        QTRY_COMPARE(f.server.clientCount(), 1);
        for (const auto& c : idle)
            QTRY_COMPARE(c->socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(traced.lines.filter(QStringLiteral("after 10 minutes without a command")).size(),
                 ScpiServer::kMaxClients - 1);
        Client late;
        QVERIFY(late.connect(f.server.port()));
        QCOMPARE(late.query("*IDN?"), QByteArray("POWER_TRQ,NONE,0,1.1.0"));
        QCOMPARE(f.client.query("SYST:VERS?"), QByteArray("1999.0"));
    }

    // The working table goes out a page at a time, in the bytes of the
    // export file; a range is counted points from a sample number.
    void workingTableInPieces_data() {
        columns<QByteArray, int, int>("parameters", "first", "count");
        row("all", QByteArray(), 0, 3000);
        row("a range", QByteArray(" 1000,5"), 1000, 5);
        row("from a point on", QByteArray(" 2990"), 2990, 10);
        row("past the end", QByteArray(" 5000,3"), 3000, 0);
        row("none", QByteArray(" 7,0"), 7, 0);
    }
    void workingTableInPieces() {
        auto [parameters, first, count] =
            fetch<QByteArray, int, int>("parameters", "first", "count");
        ServerFixture f;
        fillWorkingTable(f.data.database(), 3000);
        const QString file = f.folder + QStringLiteral("/export.csv");
        QVERIFY(writeExport(file, 4, *f.store, RowOrder::BySeqNo));
        QFile exported(file);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArrayList lines = exported.readAll().split('\n');
        const QByteArray expected =
            lines.front() + '\n' + lines.mid(1 + first, count).join('\n') + (count ? "\n" : "");
        f.client.write("REC:DATA?" + parameters);
        QCOMPARE(f.client.block(), expected);
        QCOMPARE(f.client.error(), kNoError);
    }

    // A client that leaves a long answer unread is closed after a while; the
    // others go on meanwhile. A table replaced while it is sent still gives
    // the length promised, and the error queue says so.
    void longAnswerUnread_data() {
        columns<bool>("cleared");
        QTest::newRow("never read") << false;
        QTest::newRow("table cleared meanwhile") << true;
    }
    void longAnswerUnread() {
        auto [cleared] = fetch<bool>("cleared");
        ServerFixture f;
        fillWorkingTable(f.data.database(), 60000);
        TraceCapture traced;
        f.client.socket.setReadBufferSize(4096);
        f.client.write("REC:DATA?");
        QVERIFY(QTest::qWaitFor([&] { return f.client.socket.bytesAvailable() > 0; }, 10000));
        Client other;
        QVERIFY(other.connect(f.server.port()));
        QCOMPARE(other.query("SYST:VERS?"), QByteArray("1999.0"));
        if (cleared) {
            QVERIFY(f.store->clearWorking());
            f.client.socket.setReadBufferSize(0);
            const QByteArray csv = f.client.block();
            QVERIFY(csv.startsWith("No.,Time"));
            QVERIFY(csv.endsWith(' '));
            QCOMPARE(errorNumber(f.client.error()), QByteArray("-300"));
            return;
        }
        // Seconds pass on the link's clock, while the server makes no more.
        QTRY_VERIFY_WITH_TIMEOUT((f.clock.advanceMsec(1000), f.server.clientCount() == 1), 30000);
        f.client.socket.setReadBufferSize(0); // to see the end
        QTRY_COMPARE(f.client.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(traced.lines.filter(QStringLiteral("left its answers unread")).size(), 1);
        QCOMPARE(other.query("SYST:VERS?"), QByteArray("1999.0"));
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
