// The instrument session without any window: going on line, detection and
// its failures, the initial query, polling, replies and actions, as the
// simulated supply sees them on the wire.
#include "core/debugtrace.h"
#include "link/ni488.h"
#include "link/qtserialport.h"
#include "sim/ptyserver.h"
#include "support/sessionfixture.h"

#include <QLibrary>

using namespace trq;
using namespace trq::test;

namespace {

class SilentBoard final : public GpibBoard {
public:
    bool configure(int, int) override { return true; }
    void writeAsync(const QByteArray&) override {}
    void readAsync() override {}
    void reset() override {}
    QString errorString() const override { return {}; }
};

QStringList queriesOnly(const QStringList& received) {
    QStringList out;
    for (const QString& s : received)
        if (s.endsWith(QLatin1Char('?')))
            out << s;
    return out;
}

const QString kDetectionFailed = QStringLiteral("Querying the machine type is timeout!");

// Polls one step of the cycle at once, as the poll timer would.
void pollStep(SessionFixture& f, int step) {
    f.session->setPollCounter(step);
    f.session->pollTick();
    QVERIFY(f.waitReceived());
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
    static void models() {
        QTest::addColumn<QString>("model");
        for (const QString& m : sim::simulatedModelNames())
            QTest::newRow(qPrintable(m)) << m;
    }

private slots:
    // ---- Going on line --------------------------------------------------------

    void goesOnLineWithEachModel_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("gpib");
        QTest::addColumn<int>("layout");
        for (bool gpib : {false, true}) {
            const char* via = gpib ? "GPIB" : "serial";
            QTest::addRow("PSQ-3323 %s", via) << "PSQ-3323" << gpib << 1;
            QTest::addRow("SPQ-3610DNB %s", via) << "SPQ-3610DNB" << gpib << 2;
            QTest::addRow("TRQ-3302 %s", via) << "TRQ-3302" << gpib << 3;
            QTest::addRow("TRQ-7206S %s", via) << "TRQ-7206S" << gpib << 4;
        }
    }
    void goesOnLineWithEachModel() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        QFETCH(int, layout);
        SessionFixture f;
        QSignalSpy states(f.session.get(), &InstrumentSession::stateChanged);
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        QCOMPARE(f.session->model(), model);
        QCOMPARE(f.session->profile()->layout, layout);
        QCOMPARE(f.session->channelCount(), f.session->profile()->channels);
        QVERIFY(f.session->recording());
        QVERIFY(f.prompter.texts.isEmpty());
        QCOMPARE(states.size(), 2); // detecting, ready
        QCOMPARE(Settings::value(QStringLiteral("Common"), QStringLiteral("MType")), model);
        QCOMPARE(Settings::value(QStringLiteral("Common"), QStringLiteral("CommType")),
                 gpib ? QStringLiteral("GPIB") : QStringLiteral("RS232"));
        QCOMPARE(f.session->interfaceDescription(),
                 gpib ? QStringLiteral("Interface: GPIB;Address: 1")
                      : QStringLiteral("RS-232 9600BPS / 8bits/None/1bits"));
        // The family's line end is in use from now on.
        QCOMPARE(f.link.serialTerminator(), QByteArray(sim::lineEnd(f.instrument().family())));
        QVERIFY(!f.session->pollTimer().isActive()); // the supply's output is off
    }

    void initialQueriesInOrder_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("queries");
        QStringList three{"*IDN?",           ":SYST:AUTO:STAR?",
                          ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?",
                          ":SYST:AUTO:DEL?", ":SYST:MEM?"};
        for (int n = 1; n <= 3; ++n)
            three << QStringLiteral(":CHAN%1:PROT:VOLT?").arg(n);
        three << ":OUTP:STAT?"
              << ":OUTP:COUP:TRAC?"
              << ":SYST:AUTO:STAT?";
        for (const char* q : {":PROT:CURR?", ":VOLT?", ":CURR?"})
            for (int n = 1; n <= 3; ++n)
                three << QStringLiteral(":CHAN%1%2").arg(n).arg(QLatin1String(q));
        for (int n = 1; n <= 3; ++n)
            three << QStringLiteral(":CHAN%1:MEAS:VOLT?").arg(n)
                  << QStringLiteral(":CHAN%1:MEAS:CURR?").arg(n);
        QTest::newRow("three-channel") << "PSQ-3323" << three;
        QTest::newRow("single-channel")
            << "SPQ-3610DNB" << QStringList{"*IDN?",  ":VOLT:PROT?", ":OUTP:STAT?", ":CURR:PROT?",
                                            ":VOLT?", ":CURR?",      ":MEAS:VOLT?", ":MEAS:CURR?"};
        QTest::newRow("two-channel legacy")
            << "TRQ-3302" << QStringList{"*IDN?",  "VSET1?", "VSET2?", "ISET1?", "ISET2?",
                                         "VOUT1?", "IOUT1?", "VOUT2?", "IOUT2?"};
        QStringList four{"*IDN?",  "VSET1?", "VSET2?", "VSET3?", "VSET4?",
                         "ISET1?", "ISET2?", "ISET3?", "ISET4?"};
        for (int n = 1; n <= 4; ++n)
            four << QStringLiteral("VOUT%1?").arg(n) << QStringLiteral("IOUT%1?").arg(n);
        four << "STATUS?";
        QTest::newRow("four-channel legacy") << "TRQ-7206S" << four;
    }
    void initialQueriesInOrder() {
        QFETCH(QString, model);
        QFETCH(QStringList, queries);
        SessionFixture f;
        QVERIFY(f.onLineSerial(model));
        QCOMPARE(queriesOnly(f.takeReceived()), queries);
    }

    void cancelledInitialQueryGoesOffLine() {
        SessionFixture f;
        f.prompter.cancelWait = [](const WaitProgress&) { return true; };
        TraceCapture trace;
        f.session->openSerial({QStringLiteral("SIM:PSQ-3323"), 9600});
        QTRY_COMPARE(f.prompter.waitTitles, QStringList{"Querying..."});
        QTRY_COMPARE(f.session->state(), ConnectionState::OffLine);
        QVERIFY(trace.lines.contains(QStringLiteral("QueryInitialValues cancelled")));
        QVERIFY(!trace.lines.contains(QStringLiteral("Q Ini OK")));
        QVERIFY(!f.session->recording());
    }

    // While a supply is on line another connection asks first; No keeps it.
    void secondConnectionAsksFirst() {
        SessionFixture f;
        QVERIFY(f.session->mayOpenAnother()); // off line: nothing to ask
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.prompter.answers = {Prompter::Answer::No};
        QVERIFY(!f.session->mayOpenAnother());
        QCOMPARE(f.prompter.texts, QStringList{"Reset and open it?"});
        QVERIFY(f.session->isReady());
        f.prompter.answers = {Prompter::Answer::Yes};
        QVERIFY(f.session->mayOpenAnother());
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        f.session->openTestingMode(QStringLiteral("TRQ-3302"));
        QVERIFY(f.session->isReady());
        QCOMPARE(f.session->interfaceKind(), InterfaceKind::TestingMode);
        QVERIFY(f.link.rejectsTasks()); // testing mode sends nothing
    }

    // ---- Detection failures ------------------------------------------------------

    void detectionFailures_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("unlisted model")
            << QByteArray("ZQ,NOSUCH-1,SN1,V1\n") << QStringList{kDetectionFailed};
        QTest::newRow("empty model") << QByteArray("ZQ\n") << QStringList{kDetectionFailed};
        QTest::newRow("binary") << QByteArray("\x00\xff,\x80,\n", 6)
                                << QStringList{kDetectionFailed};
        QTest::newRow("huge") << QByteArray(60000, 'x') + "\n" << QStringList{kDetectionFailed};
        QTest::newRow("no answer")
            << QByteArray() << QStringList{"Cannot get Data from device!", kDetectionFailed};
    }
    void detectionFailures() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, messages);
        SessionFixture f;
        f.session->detectionTimer().setInterval(400); // the "no answer" case ends here
        f.factory.makeSerial = [answer](const QString& name) {
            return new ScriptedSerialPort(
                name, [answer](const QString&, int, const QByteArray&) { return answer; });
        };
        QVERIFY(f.session->openSerial({QStringLiteral("COM1"), 9600}));
        QTRY_COMPARE(f.prompter.texts, messages);
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QVERIFY(!f.session->recording());
        QTest::qWait(500); // nothing further happens: the detection timer is stopped
        QCOMPARE(f.prompter.texts, messages);
    }

    void watchdogEndsADetectionThatNeverCompletes() {
        SessionFixture f;
        f.session->detectionTimer().setInterval(600000);
        f.factory.makeGpib = [](const QString&) { return new SilentBoard; };
        QVERIFY(f.session->openGpib({0, 1, {}}));
        QTRY_VERIFY(f.link.queryInFlight());
        f.clock.advanceMsec(20100);
        QTRY_COMPARE(f.prompter.texts.size(), 2);
        QVERIFY(f.prompter.texts.at(0).startsWith(QStringLiteral("20.")));
        QCOMPARE(f.prompter.texts.at(1), kDetectionFailed);
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
    }

    // A second detection identifies with LF whatever the previous supply's
    // family used, and a detection timer that fires late does nothing.
    void secondDetectionStartsAfresh() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323"))); // its family ends lines in CR
        f.session->reset();
        QByteArrayList written;
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(name, [&](const QString&, int, const QByteArray& b) {
                written << b;
                return QByteArray("ZQ,NOSUCH-1,SN1,V1\n");
            });
        };
        f.session->openSerial({QStringLiteral("COM1"), 9600});
        QTRY_COMPARE(f.prompter.texts, QStringList{kDetectionFailed});
        QCOMPARE(written.value(0), QByteArray("*IDN?\n"));
        f.session->handOverTimer().start();
        f.session->detectionTimer().start(1);
        QTest::qWait(150);
        QCOMPARE(f.prompter.texts.size(), 1);
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
    }

    void operationTimeoutResets() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QSignalSpy states(f.session.get(), &InstrumentSession::stateChanged);
        f.link.timeOut();
        QCOMPARE(f.prompter.texts, QStringList{"Operation Timeout, Causes Reset Now."});
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QCOMPARE(states.size(), 1);
        QVERIFY(!f.session->recording());
        QCOMPARE(f.session->channelCount(), 0);
    }

    void detectsOverARealPseudoTerminal_data() { models(); }
    void detectsOverARealPseudoTerminal() {
        QFETCH(QString, model);
        SessionFixture f;
        auto supply = sim::Supply::create(model);
        sim::PtyServer server([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(server.open());
        f.factory.makeSerial = [](const QString& name) {
            auto* port = new QtSerialPort;
            port->setPortName(name);
            return port;
        };
        QVERIFY(f.session->openSerial({server.slavePath(), 9600}));
        QTRY_VERIFY_WITH_TIMEOUT(f.session->isReady() && f.initialValuesRead, 10000);
        QCOMPARE(f.session->model(), model);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void detectsThroughTheGpibDriver_data() { models(); }
    void detectsThroughTheGpibDriver() {
        QFETCH(QString, model);
        SessionFixture f;
        QLibrary fake(QStringLiteral(FAKEGPIB_PATH));
        QVERIFY(fake.load());
        auto setup = reinterpret_cast<void (*)(const char*, int)>(fake.resolve("fakegpib_setup"));
        setup(model.toLatin1().constData(), 7);
        f.factory.makeGpib = [](const QString&) {
            return new Ni488GpibBoard({QStringLiteral(FAKEGPIB_PATH)});
        };
        QVERIFY(f.session->openGpib({0, 7, {}}));
        QTRY_VERIFY_WITH_TIMEOUT(f.session->isReady() && f.initialValuesRead, 10000);
        QCOMPARE(f.session->model(), model);
        QCOMPARE(f.session->interfaceDescription(), QStringLiteral("Interface: GPIB;Address: 7"));
    }

    void missingGpibDriverIsReportedAndNothingStarts() {
        SessionFixture f;
        f.factory.makeGpib = [](const QString&) {
            return new Ni488GpibBoard({QStringLiteral("/nonexistent/libgpib.so.0")});
        };
        QVERIFY(!f.session->openGpib({0, 1, {}}));
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().contains(QStringLiteral("could not be loaded")));
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
    }

    // ---- Polling -------------------------------------------------------------------

    void pollCyclesFollowTheOutput_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("cycle");
        QTest::newRow("three-channel")
            << "PSQ-3323"
            << QStringList{":CHAN1:MEAS:VOLT?", ":CHAN1:MEAS:CURR?", ":CHAN2:MEAS:VOLT?",
                           ":CHAN2:MEAS:CURR?", ":CHAN3:MEAS:VOLT?", ":CHAN3:MEAS:CURR?",
                           ":SYST:ERR?"};
        QTest::newRow("single-channel")
            << "SPQ-3610DNB" << QStringList{":MEAS:VOLT?", ":MEAS:CURR?", ":SYST:ERR?"};
        QTest::newRow("two-channel legacy")
            << "TRQ-3302" << QStringList{"VOUT1?", "IOUT1?", "VOUT2?", "IOUT2?"};
        QTest::newRow("four-channel legacy")
            << "TRQ-7206S"
            << QStringList{"VOUT1?", "IOUT1?", "VOUT2?",  "IOUT2?", "VSET1?", "VSET2?",
                           "ISET1?", "ISET2?", "STATUS?", "VOUT3?", "IOUT3?", "VOUT4?",
                           "IOUT4?", "VSET3?", "VSET4?",  "ISET3?", "ISET4?"};
    }
    void pollCyclesFollowTheOutput() {
        QFETCH(QString, model);
        QFETCH(QStringList, cycle);
        SessionFixture f;
        QVERIFY(f.onLineSerial(model));
        f.instrument().channel(1).vset = 5;
        f.session->pollTimer().setInterval(5);
        f.takeReceived();
        f.session->setOutput(true);
        QVERIFY(f.session->pollTimer().isActive());
        QVERIFY(f.waitReceived(int(cycle.size()) + 4));
        QTRY_COMPARE(f.session->channel(0).voltage, QStringLiteral("5.000"));
        f.session->setOutput(false);
        QVERIFY(!f.session->pollTimer().isActive());
        QCOMPARE(f.session->channel(0).voltage, QString()); // no reading with the output off
        QCOMPARE(queriesOnly(f.takeReceived()).mid(0, cycle.size()), cycle);
        QVERIFY(f.waitReceived());
        QVERIFY(!f.instrument().output);
    }

    void pollCounterWrapsAndRetriesRefusedQueries() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.link.writerTimer().stop();
        for (int i = 0; i < f.session->profile()->pollCounterWrap; ++i) {
            f.session->pollTick();
            f.link.clearQueues();
        }
        QCOMPARE(f.session->pollCounter(), 0);
        while (f.link.pendingQueries() < TaskScheduler::kMaxPending)
            f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
        f.session->pollTick();
        QCOMPARE(f.session->pollCounter(), 0);
        f.link.clearQueues();
        f.session->pollTick();
        QCOMPARE(f.session->pollCounter(), 1);
    }

    // 7000 is no multiple of 17: at the wrap the cycle jumps from 12 to 0.
    void fourChannelPollWrapsMidCycle() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        f.takeReceived();
        f.session->setPollCounter(6999);
        f.session->pollTick();
        f.session->pollTick();
        QCOMPARE(f.takeReceived(), (QStringList{"IOUT4?", "VOUT1?"}));
        QCOMPARE(f.session->pollCounter(), 1);
    }

    // Legacy replies carry their unit; the readings and settings do not.
    void legacyValuesComeWithoutTheirUnit() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        f.instrument().channel(1).vset = 12;
        f.instrument().channel(1).iset = 2;
        f.session->pollTimer().setInterval(5);
        f.session->setOutput(true);
        QTRY_COMPARE(f.session->channel(0).voltage, QStringLiteral("12.000"));
        QTRY_COMPARE(f.session->channel(0).current, QStringLiteral("1.200"));
        QCOMPARE(f.session->channel(0).voltageReply, QStringLiteral("12.000V"));
        QCOMPARE(f.session->channel(0).settings[std::size_t(Setting::Current)], 1.5);
        f.session->setOutput(false);
        QVERIFY(f.waitReceived());
        QVERIFY(!f.takeReceived().contains(QStringLiteral("ISET1:1.5"))); // never sent back
    }

    // A four-channel supply that ends its lines with LF alone is read whole.
    void fourChannelsTakeAnyLineEnd() {
        SessionFixture f;
        f.factory.rewrite = [](const QByteArray&, QByteArray reply) {
            return reply.replace("\r\n", "\n");
        };
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        f.instrument().channel(1).vset = 1.5;
        f.session->pollTimer().setInterval(5);
        f.session->setOutput(true);
        QTRY_COMPARE(f.session->channel(0).voltage, QStringLiteral("1.500"));
    }

    // ---- Replies -------------------------------------------------------------------

    // A setting reply that is no number leaves the setting as it was.
    void unreadableSettingRepliesAreIgnored_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("letters") << QByteArray("abc");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("number and junk") << QByteArray("1.5x");
        QTest::newRow("binary") << QByteArray("\xff\x00", 2);
    }
    void unreadableSettingRepliesAreIgnored() {
        QFETCH(QByteArray, reply);
        SessionFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:CURR?", reply}, {":CHAN1:PROT:VOLT?", reply}};
        f.factory.prepare = [](sim::Supply& s) { s.channel(1).vset = 7.5; };
        QSignalSpy replied(f.session.get(), &InstrumentSession::settingChanged);
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        const ChannelState& c = f.session->channel(0);
        QCOMPARE(c.settings[std::size_t(Setting::Current)], 0.0);
        QCOMPARE(c.settings[std::size_t(Setting::OverVoltage)], 0.0);
        QCOMPARE(c.settings[std::size_t(Setting::Voltage)], 7.5); // a readable one is taken
        for (const QList<QVariant>& r : replied)
            QVERIFY(r.at(0).toInt() != 0 || r.at(1).value<Setting>() == Setting::Voltage);
    }

    // An instrument error switches the output off at once: the off command is
    // on the wire while the message is still up, and polling has stopped.
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("gpib");
        QTest::addColumn<QString>("refused");
        for (bool gpib : {false, true}) {
            QTest::addRow("three-channel %s", gpib ? "GPIB" : "serial")
                << "PSQ-3323" << gpib << ":CHAN1:VOLT 99";
            QTest::addRow("single-channel %s", gpib ? "GPIB" : "serial")
                << "SPQ-3610DNB" << gpib << ":VOLT 99";
        }
    }
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        QFETCH(QString, refused);
        SessionFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        f.session->setOutput(true);
        QTRY_VERIFY(f.instrument().output);
        bool offWhileShown = false;
        bool pollingWhileShown = true;
        f.prompter.onAsk = [&] {
            offWhileShown = QTest::qWaitFor([&] { return !f.instrument().output; }, 3000);
            pollingWhileShown = f.session->pollTimer().isActive();
        };
        f.link.enqueueCommand(refused);
        QTRY_VERIFY(!f.prompter.texts.isEmpty());
        QCOMPARE(f.prompter.texts, QStringList{"Error detected: '-222,\"Data out of range\"'"});
        QVERIFY(offWhileShown);
        QVERIFY(!pollingWhileShown);
        QVERIFY(!f.session->outputOn());
    }

    // A junk line after the error query's clean answer is line noise, not an
    // instrument error: the output stays on and nothing is shown.
    void lineNoiseIsNoInstrumentError() {
        SessionFixture f;
        f.factory.rewrite = [](const QByteArray& written, const QByteArray& reply) {
            return written.startsWith(":SYST:ERR?") ? reply + "\x13\xfe#\x7f\r" : reply;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->setOutput(true);
        f.session->pollTimer().setInterval(5);
        qsizetype errorQueries = 0;
        QVERIFY(QTest::qWaitFor([&] {
            errorQueries += f.takeReceived().count(QStringLiteral(":SYST:ERR?"));
            return errorQueries >= 3;
        }));
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(f.instrument().output);
        QVERIFY(f.session->outputOn());
    }

    // The status reply of the four-channel supply drives output and
    // coupling; a coupling change asks for the settings again.
    void fourChannelsFollowTheStatusReply() {
        SessionFixture f;
        f.overrideReplies();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        QVERIFY(!f.session->outputOn());
        f.takeReceived();
        // Output 1 while off: switched on, and the supply told.
        f.overrides = {{"STATUS?", "11011010"}};
        pollStep(f, 8);
        QVERIFY(f.session->outputOn());
        QVERIFY(f.session->pollTimer().isActive());
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), QStringList{"OUT1"});

        // The supply switched to tracking on its own front panel.
        f.overrides = {{"STATUS?", "11111010"}};
        pollStep(f, 8);
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.session->coupling(), Coupling::Tracking);
        const QStringList sent = f.takeReceived();
        QCOMPARE(commandsOnly(sent), (QStringList{"TRACK1", "OUT0", "OUT1"}));
        QCOMPARE(queriesOnly(sent), (QStringList{"STATUS?", "VSET1?", "VSET2?", "ISET1?", "ISET2?",
                                                 "VSET3?", "VSET4?", "ISET3?", "ISET4?"}));
    }

    // A status reply of the wrong length or with other characters than the
    // flag digits changes nothing on a live supply.
    void garbledStatusChangesNothing_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("short, tracking bits") << QByteArray("1110");
        QTest::newRow("one byte dropped, output 0") << QByteArray("0010010");
        QTest::newRow("a NUL inside") << QByteArray("0001\x00"
                                                    "0010",
                                                    9);
        QTest::newRow("one flag too many") << QByteArray("110100000");
        QTest::newRow("letters") << QByteArray("1101x000");
    }
    void garbledStatusChangesNothing() {
        QFETCH(QByteArray, reply);
        SessionFixture f;
        f.overrideReplies();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        f.session->setOutput(true);
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        f.overrides = {{"STATUS?", reply}};
        pollStep(f, 8);
        QCOMPARE(f.takeReceived(), QStringList{"STATUS?"});
        QVERIFY(f.session->outputOn());
        QCOMPARE(f.session->coupling(), Coupling::Independent);
    }

    // ---- Coupling ------------------------------------------------------------------

    // Polls queued before a coupling change must not overwrite the readings
    // after it; the coupled channel's edits are locked.
    void couplingChangeDropsQueuedPollsAndLocks() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.link.writerTimer().stop();
        f.link.clearQueues();
        f.link.enqueueQuery(QStringLiteral(":CHAN1:MEAS:VOLT?"), nullptr, {});
        f.session->applyCoupling(Coupling::Parallel);
        QVERIFY(f.link.queuedQuery(0).cancelled);
        ControlLocks locks = f.session->locks();
        QCOMPARE(locks.channel, 0);
        QVERIFY(locks.voltage && locks.current && locks.overVoltage && locks.overCurrent);
        f.session->applyCoupling(Coupling::Tracking);
        locks = f.session->locks();
        QVERIFY(locks.voltage && !locks.current && locks.overVoltage && !locks.overCurrent);
        f.session->applyCoupling(Coupling::Independent);
        locks = f.session->locks();
        QVERIFY(!locks.voltage && !locks.current && !locks.overVoltage && !locks.overCurrent);
    }

    void couplingCommandsPerLayout_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("three-channel")
            << "PSQ-3323"
            << QStringList{":OUTP:COUP:TRAC 0", ":OUTP:COUP:TRAC 1", ":OUTP:COUP:TRAC 1",
                           ":OUTP:COUP:TRAC 2", ":OUTP:COUP:TRAC 0"};
        QTest::newRow("two-channel")
            << "TRQ-3302" << QStringList{"TRACK0", "TRACK1", "TRACK1", "TRACK2", "TRACK0"};
        // Sent only when it changes, and a change ends with the output off.
        QTest::newRow("four-channel")
            << "TRQ-7206S" << QStringList{"TRACK1", "OUT0", "TRACK2", "TRACK0"};
    }
    void couplingCommandsPerLayout() {
        QFETCH(QString, model);
        QFETCH(QStringList, sent);
        SessionFixture f;
        QVERIFY(f.onLineSerial(model));
        f.session->setOutput(true);
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        for (Coupling mode : {Coupling::Independent, Coupling::Tracking, Coupling::Tracking,
                              Coupling::Parallel, Coupling::Independent})
            f.session->chooseCoupling(mode);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
    }

    // In parallel the second channel follows the first and shows nothing.
    void parallelBlanksTheFollowingChannel() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        f.instrument().channel(1).vset = 5;
        f.instrument().channel(2).vset = 5;
        f.session->chooseCoupling(Coupling::Parallel);
        f.session->pollTimer().setInterval(5);
        f.session->setOutput(true);
        QVERIFY(f.waitReceived(12));
        QTRY_COMPARE(f.session->channel(0).voltage, QStringLiteral("5.000"));
        QCOMPARE(f.session->channel(1).voltage, QString());
        QCOMPARE(f.session->channel(1).current, QString());
    }

    void singleChannelWarningNoSendsNothing() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        f.takeReceived();
        f.prompter.answers = {Prompter::Answer::No};
        f.session->chooseCoupling(Coupling::Parallel);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(
            f.prompter.texts.first().startsWith(QStringLiteral("If you want to use the Parallel")));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        QCOMPARE(f.session->coupling(), Coupling::Independent);
        QVERIFY(!f.session->locks().sets);

        // Yes: the coupling command with the sets known now, then the sets
        // query; its reply "0" selects independent the way a choice does.
        f.prompter.answers = {Prompter::Answer::Yes};
        f.session->chooseCoupling(Coupling::Parallel);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(),
                 (QStringList{"SYST:CONF:MSL 0", "SYST:CONF:MSL?", "SYST:CONF:MSL 0"}));
        QCOMPARE(f.session->coupling(), Coupling::Independent);
        QVERIFY(!f.session->locks().voltage);
        // Asked once per connection.
        f.session->chooseCoupling(Coupling::Tracking);
        QCOMPARE(f.prompter.texts.size(), 2);
    }

    void singleChannelSetsReply_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("choice");
        QTest::addColumn<Coupling>("coupling");
        QTest::addColumn<int>("sets");
        QTest::newRow("independent") << QByteArray("0") << true << Coupling::Independent << 0;
        QTest::newRow("two sets in parallel") << QByteArray("2") << true << Coupling::Parallel << 2;
        QTest::newRow("one set") << QByteArray("1") << true << Coupling::Parallel << 1;
        QTest::newRow("fixed configuration") << QByteArray("3") << false << Coupling::Parallel << 0;
        QTest::newRow("fixed, four") << QByteArray("4") << false << Coupling::Parallel << 0;
        QTest::newRow("garbage") << QByteArray("x7") << true << Coupling::Parallel << 0;
    }
    void singleChannelSetsReply() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, choice);
        QFETCH(Coupling, coupling);
        QFETCH(int, sets);
        SessionFixture f;
        f.overrideReplies();
        f.overrides = {{"SYST:CONF:MSL?", reply}};
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        f.session->chooseCoupling(Coupling::Parallel);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.session->locks().couplingChoice, choice);
        QCOMPARE(f.session->coupling(), coupling);
        QCOMPARE(f.session->sets(), sets);
    }

    // The single-channel supply takes current and over-voltage edits only
    // once a measured reply has come in.
    void singleChannelWaitsForItsFirstReadings() {
        SessionFixture f;
        bool silent = true;
        f.factory.rewrite = [&](const QByteArray& written, const QByteArray& reply) {
            return silent && written.startsWith(":MEAS:") ? QByteArray() : reply;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        f.takeReceived();
        QVERIFY(!f.session->setSetting(0, Setting::Current, 2));
        QVERIFY(!f.session->setSetting(0, Setting::OverVoltage, 20));
        QVERIFY(f.session->setSetting(0, Setting::Voltage, 5));
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), QStringList{":VOLT 5"});
        silent = false;
        f.session->pollTimer().setInterval(5);
        f.session->setOutput(true);
        QTRY_VERIFY(!f.session->channel(0).current.isEmpty());
        QVERIFY(f.session->setSetting(0, Setting::Current, 2));
        QVERIFY(f.session->setSetting(0, Setting::OverVoltage, 21));
        f.session->setOutput(false);
        QVERIFY(f.waitReceived());
        const QStringList sent = commandsOnly(f.takeReceived());
        QVERIFY(sent.contains(QStringLiteral(":CURR 2")));
        QVERIFY(sent.contains(QStringLiteral(":VOLT:PROT 21")));
    }

    // ---- Memories, delay, automatic run, read time ---------------------------------

    void recallSwitchesTheOutputOffAndQueriesEverythingAgain() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().saveMemory(2);
        f.session->setOutput(true);
        QVERIFY(f.waitReceived(3));
        f.takeReceived();
        f.session->recallMemory(2);
        QCOMPARE(f.prompter.waitTitles.mid(1), (QStringList{"Dialog Caption", "Querying..."}));
        QVERIFY(f.waitReceived());
        const QStringList sent = f.takeReceived();
        const qsizetype off = sent.indexOf(QStringLiteral(":OUTP:STAT 0"));
        const qsizetype recall = sent.indexOf(QStringLiteral("*RCL 2"));
        QVERIFY(off >= 0);
        QVERIFY(recall > off);
        // Nothing queued before the recall reaches the supply after it.
        QCOMPARE(sent.mid(recall + 1, 3),
                 (QStringList{":SYST:AUTO:STAR?", ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?"}));
        QVERIFY(sent.indexOf(QStringLiteral(":SYST:MEM?"), recall) > recall);
        QVERIFY(!f.session->outputOn());
        QVERIFY(!f.session->pollTimer().isActive());
    }

    void autoRangeAndDelay() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        f.session->setAutoRange(1, 4, 12);
        QVERIFY(f.waitReceived());
        // Commands and queries each keep their order; the link interleaves them.
        const QStringList sent = f.takeReceived();
        QCOMPARE(commandsOnly(sent),
                 (QStringList{":SYST:AUTO:STAR 1", ":SYST:AUTO:END 4", ":SYST:AUTO:CYCL 12"}));
        QCOMPARE(queriesOnly(sent),
                 (QStringList{":SYST:AUTO:STAR?", ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?"}));
        QCOMPARE(f.session->autoRunValues().cycle, QStringLiteral("12"));
        f.session->setDelay(15);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), (QStringList{":SYST:AUTO:DEL 15", ":SYST:AUTO:DEL?"}));
        QCOMPARE(f.session->autoRunValues().delay, QStringLiteral("15"));
        QCOMPARE(f.instrument().autoDelay, 15);
    }

    void autoRunLocksAndOffResendsTheCoupling() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->applyCoupling(Coupling::Parallel);
        QVERIFY(f.waitReceived());
        f.takeReceived();
        f.session->setAutoRun(true);
        QVERIFY(f.session->locks().autoRun);
        f.session->toggleAutoRun();
        QVERIFY(!f.session->locks().autoRun);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(),
                 (QStringList{":SYST:AUTO:STAT 1", ":SYST:AUTO:STAT 0", ":OUTP:COUP:TRAC 2"}));
    }

    void readTimeSetsThePollCycleLimit() {
        SessionFixture f;
        f.session->setReadTime(60); // off line too, and beyond 32 s
        QCOMPARE(f.link.pollCycleLimitMsec(), 60000);
        f.session->setReadTime(0);
        QCOMPARE(f.link.pollCycleLimitMsec(), 0);
    }

    void actionsAreSilentOffLine() {
        SessionFixture f;
        QSignalSpy output(f.session.get(), &InstrumentSession::outputChanged);
        f.session->saveMemory(1);
        f.session->recallMemory(1);
        f.session->setAutoRange(1, 2, 3);
        f.session->setDelay(4);
        f.session->setAutoRun(true);
        f.session->setOutput(true);
        f.session->applyCoupling(Coupling::Parallel);
        f.session->clearProtection();
        QVERIFY(f.session->setSetting(0, Setting::Voltage, 1));
        QCOMPARE(f.link.pendingCommands() + f.link.pendingQueries(), 0);
        QVERIFY(f.prompter.texts.isEmpty() && f.prompter.waitTitles.isEmpty());
        QVERIFY(output.isEmpty());
    }
};

TRQ_TEST_MAIN(TestSession)
#include "tst_session.moc"
