// The instrument session without any window: going on line, detection and
// its failures, the initial query, polling, replies and actions, as the
// simulated supply sees them on the wire.
#include "core/debugtrace.h"
#include "support/sessionfixture.h"

using namespace trq;
using namespace trq::test;

namespace {

const QString kDetectionFailed = QStringLiteral("Querying the machine type is timeout!");

// What the supply took since the last take, once the link is idle.
QStringList sentWhenIdle(SessionFixture& f) {
    if (!f.waitReceived())
        return {QStringLiteral("(the link is still busy)")};
    return f.takeReceived();
}

void pollFast(SessionFixture& f) {
    f.session->poll().timer().setInterval(5);
    f.session->control().setOutput(true);
}

// Polls step by step, as the poll timer would, up to the step of the cycle,
// then that step with what the supply has been told to answer.
void pollStep(SessionFixture& f, int step) {
    while (f.session->poll().position() != step) {
        f.session->poll().tick();
        f.waitReceived();
    }
    f.takeReceived();
    f.session->poll().tick();
    QVERIFY(f.waitReceived());
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    // ---- Going on line --------------------------------------------------------

    // Detected over either interface, the choice stored, the family's line
    // end in use; the output then drives the poll. The initial query and the
    // poll cycle on the wire are tst_golden's.
    void goesOnLineAndPollsWithEachModel_data() {
        columns<QString, bool>("model", "gpib");
        for (bool gpib : {false, true})
            for (const char* model : {"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"})
                QTest::addRow("%s %s", model, gpib ? "GPIB" : "serial") << model << gpib;
    }
    void goesOnLineAndPollsWithEachModel() {
        auto [model, gpib] = fetch<QString, bool>("model", "gpib");
        SessionFixture f;
        QSignalSpy states(f.session.get(), &InstrumentSession::stateChanged);
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model, 19200));
        QCOMPARE(f.session->connection().model(), model);
        QVERIFY(f.session->recording());
        QVERIFY(f.prompter.texts.isEmpty());
        QCOMPARE(states.size(), 2); // detecting, ready
        QCOMPARE(Settings::instance().lastModel(), model);
        QCOMPARE(Settings::instance().lastInterface(),
                 gpib ? QStringLiteral("GPIB") : QStringLiteral("RS232"));
        QCOMPARE(f.session->connection().interfaceDescription(),
                 gpib ? QStringLiteral("Interface: GPIB;Address: 1")
                      : QStringLiteral("RS-232 19200BPS / 8bits/None/1bits"));
        QVERIFY(!f.session->pollActive()); // the supply's output is off
        f.instrument().channel(1).vset = 5;
        pollFast(f);
        QVERIFY(f.session->pollActive());
        QTRY_COMPARE(f.session->supply().channel(0).voltage.text(), QStringLiteral("5.000"));
        f.session->control().setOutput(false);
        QVERIFY(!f.session->pollActive());
        QCOMPARE(f.session->supply().channel(0).voltage.text(),
                 QString()); // no reading with the output off
        QVERIFY(f.waitReceived());
        QVERIFY(!f.instrument().output);
    }

    // ---- Detection failures ------------------------------------------------------

    // Whatever the previous supply's family used, detection asks with LF;
    // a failure ends it for good, timers that fire late do nothing.
    void detectionFailures_data() {
        columns<QByteArray, bool, QStringList>("answer", "afterAnother", "messages");
        const QStringList failed{kDetectionFailed};
        row("unlisted model", QByteArray("ZQ,NOSUCH-1,SN1,V1\n"), false, failed);
        row("unlisted model after a CR supply", QByteArray("ZQ,NOSUCH-1,SN1,V1\n"), true, failed);
        row("empty model", QByteArray("ZQ\n"), false, failed);
        row("binary", QByteArray("\x00\xff,\x80,\n", 6), false, failed);
        row("huge", QByteArray(60000, 'x') + "\n", false, failed);
        row("no answer", QByteArray(), false,
            QStringList{"Cannot get Data from device!", kDetectionFailed});
    }
    void detectionFailures() {
        auto [answer, afterAnother, messages] =
            fetch<QByteArray, bool, QStringList>("answer", "afterAnother", "messages");
        SessionFixture f;
        if (afterAnother) {
            QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
            f.session->reset();
        }
        // The "no answer" case ends here, after the exchange has given up.
        f.session->connection().setDetectionTimeout(1500);
        QByteArrayList written;
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(name, [&](const QString&, int, const QByteArray& b) {
                written << b;
                return answer;
            });
        };
        QVERIFY(f.session->connection().openSerial({QStringLiteral("COM1"), 9600}));
        QTRY_COMPARE(f.prompter.texts, messages);
        QCOMPARE(written.value(0), QByteArray("*IDN?\n"));
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QVERIFY(!f.session->recording());
        QTest::qWait(1600); // nothing further happens, the detection's time included
        QCOMPARE(f.prompter.texts, messages);
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
    }

    void watchdogEndsADetectionThatNeverCompletes() {
        SessionFixture f;
        f.session->connection().setDetectionTimeout(600000);
        f.factory.makeGpib = [](const QString&) { return new SilentBoard; };
        QVERIFY(f.session->connection().openGpib({0, 1, {}}));
        QTRY_VERIFY(f.link.queryInFlight());
        f.clock.advanceMsec(20100);
        QTRY_COMPARE(f.prompter.texts.size(), 2);
        QVERIFY(f.prompter.texts.at(0).startsWith(QStringLiteral("20.")));
        QCOMPARE(f.prompter.texts.at(1), kDetectionFailed);
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
    }

    // ---- Polling -------------------------------------------------------------------

    // A poll step the full queue refuses is polled again on the next tick.
    void aRefusedPollStepIsPolledAgain() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.link.writerTimer().stop();
        while (f.link.pendingQueries() < TaskScheduler::kMaxPending)
            f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
        const int position = f.session->poll().position();
        f.session->poll().tick();
        QCOMPARE(f.session->poll().position(), position);
        f.link.clearQueues();
        f.session->poll().tick();
        QCOMPARE(f.session->poll().position(), position + 1);
    }

    // Legacy replies carry their unit, the readings and settings do not, and
    // replied settings are never sent back; the four channels' replies are
    // read whole whatever line end they use. In parallel (the two-channel
    // row) the second channel shows nothing.
    void legacyValuesComeWithoutTheirUnit_data() {
        columns<QString, bool>("model", "lf");
        row("two-channel", "TRQ-3302", false);
        row("four-channel, LF alone", "TRQ-7206S", true);
    }
    void legacyValuesComeWithoutTheirUnit() {
        auto [model, lf] = fetch<QString, bool>("model", "lf");
        SessionFixture f;
        if (lf)
            f.factory.rewrite = [](const QByteArray&, QByteArray reply) {
                return reply.replace("\r\n", "\n");
            };
        QVERIFY(f.onLineSerial(model));
        f.instrument().channel(1).vset = 12;
        f.instrument().channel(2).vset = 5;
        if (!lf) // in parallel the second channel follows the first and shows nothing
            f.session->control().chooseCoupling(Coupling::Parallel);
        pollFast(f);
        QTRY_COMPARE(f.session->supply().channel(0).voltage.text(), QStringLiteral("12.000"));
        // In parallel the load's current is shared.
        QTRY_COMPARE(f.session->supply().channel(0).current.text(),
                     lf ? QStringLiteral("1.200") : QStringLiteral("0.600"));
        // Channel 2's readings come later in the cycle.
        QTRY_COMPARE(f.session->supply().channel(1).voltage.isEmpty(), !lf);
        QTRY_COMPARE(f.session->supply().channel(1).current.isEmpty(), !lf);
        QCOMPARE(f.session->supply().channel(0).settings[std::size_t(Setting::Current)],
                 f.instrument().channel(1).iset);
        f.session->control().setOutput(false);
        QCOMPARE(commandsOnly(sentWhenIdle(f)).filter(QStringLiteral("SET")), QStringList());
    }

    // ---- Replies -------------------------------------------------------------------

    // A setting reply that is no number (which texts are numbers is the
    // parser's rows in tst_commands) leaves the setting as it was.
    void unreadableSettingRepliesAreIgnored() {
        SessionFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:CURR?", "1.5x"}, {":CHAN1:PROT:VOLT?", "abc"}};
        f.factory.prepare = [](sim::Supply& s) { s.channel(1).vset = 7.5; };
        QSignalSpy replied(f.session.get(), &InstrumentSession::settingChanged);
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        const ChannelState& c = f.session->supply().channel(0);
        QCOMPARE(c.settings[std::size_t(Setting::Current)], 0.0);
        QCOMPARE(c.settings[std::size_t(Setting::OverVoltage)], 0.0);
        QCOMPARE(c.settings[std::size_t(Setting::Voltage)], 7.5); // a readable one is taken
        for (const QList<QVariant>& r : replied)
            QVERIFY(r.at(0).toInt() != 0 || r.at(1).value<Setting>() == Setting::Voltage);
    }

    // An instrument error switches the output off at once: the off command is
    // on the wire while the message is still up, and polling has stopped.
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox_data() {
        columns<QString, bool, QString>("model", "gpib", "refused");
        for (bool gpib : {false, true}) {
            QTest::addRow("three-channel %s", gpib ? "GPIB" : "serial")
                << "PSQ-3323" << gpib << ":CHAN1:VOLT 99";
            QTest::addRow("single-channel %s", gpib ? "GPIB" : "serial")
                << "SPQ-3610DNB" << gpib << ":VOLT 99";
        }
    }
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox() {
        auto [model, gpib, refused] = fetch<QString, bool, QString>("model", "gpib", "refused");
        SessionFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        f.session->control().setOutput(true);
        QTRY_VERIFY(f.instrument().output);
        bool offWhileShown = false;
        bool pollingWhileShown = true;
        f.prompter.onAsk = [&] {
            offWhileShown = QTest::qWaitFor([&] { return !f.instrument().output; }, 3000);
            pollingWhileShown = f.session->pollActive();
        };
        f.link.enqueueCommand(refused);
        QTRY_VERIFY(!f.prompter.texts.isEmpty());
        QCOMPARE(f.prompter.texts, QStringList{"Error detected: '-222,\"Data out of range\"'"});
        QVERIFY(offWhileShown);
        QVERIFY(!pollingWhileShown);
        QVERIFY(!f.session->supply().outputOn());
    }

    // A junk line after the error query's clean answer is line noise, not an
    // instrument error: the output stays on and nothing is shown.
    void lineNoiseIsNoInstrumentError() {
        SessionFixture f;
        f.factory.rewrite = [](const QByteArray& written, const QByteArray& reply) {
            return written.startsWith(":SYST:ERR?") ? reply + "\x13\xfe#\x7f\r" : reply;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        pollFast(f);
        qsizetype errorQueries = 0;
        QVERIFY(QTest::qWaitFor([&] {
            errorQueries += f.takeReceived().count(QStringLiteral(":SYST:ERR?"));
            return errorQueries >= 3;
        }));
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(f.instrument().output);
        QVERIFY(f.session->supply().outputOn());
    }

    // The four-channel supply's status reply drives output and coupling,
    // and a coupling change asks for the settings again; a reply of the
    // wrong length or with other characters than flag digits changes nothing.
    void fourChannelsFollowTheStatusReply_data() {
        columns<bool, QByteArray, QStringList, QStringList, Coupling>(
            "startOn", "reply", "commands", "queries", "coupling");
        const QStringList status{"STATUS?"};
        const auto independent = Coupling::Independent;
        row("output 1 while off", false, QByteArray("11011010"), QStringList{"OUT1"}, status,
            independent);
        row("tracking from its own panel", true, QByteArray("11111010"),
            QStringList{"TRACK1", "OUT0", "OUT1"},
            status + QStringList{"VSET1?", "VSET2?", "ISET1?", "ISET2?", "VSET3?", "VSET4?",
                                 "ISET3?", "ISET4?"},
            Coupling::Tracking);
        const QList<QPair<const char*, QByteArray>> garbled{
            {"short, tracking bits", "1110"},
            {"one byte dropped, output 0", "0010010"},
            {"a NUL inside", QByteArray("0001\0000010", 9)},
            {"one flag too many", "110100000"},
            {"letters", "1101x000"}};
        for (const auto& [name, reply] : garbled)
            QTest::newRow(name) << true << reply << QStringList() << status << independent;
    }
    void fourChannelsFollowTheStatusReply() {
        auto [startOn, reply, commands, queries, coupling] =
            fetch<bool, QByteArray, QStringList, QStringList, Coupling>(
                "startOn", "reply", "commands", "queries", "coupling");
        SessionFixture f;
        f.overrideReplies();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        if (startOn)
            f.session->control().setOutput(true);
        QVERIFY(startOn ? f.quiet() : f.waitReceived());
        f.takeReceived();
        f.overrides = {{"STATUS?", reply}};
        pollStep(f, 8);
        // What switches the output on, the supply told, starts polling again.
        QCOMPARE(f.session->pollActive(), !commands.isEmpty());
        f.session->poll().setLinkActivity({.polling = false});
        const QStringList sent = sentWhenIdle(f);
        QCOMPARE(commandsOnly(sent), commands);
        QCOMPARE(sent.filter(QRegularExpression(QStringLiteral("\\?$"))), queries);
        QVERIFY(f.session->supply().outputOn());
        QCOMPARE(f.session->supply().coupling(), coupling);
    }

    // ---- Coupling ------------------------------------------------------------------

    // Polls queued before a coupling change must not overwrite the readings
    // after it. Automatic run locks the controls and, switched off, sends the
    // coupling again. The locks per coupling are tst_commands'.
    void couplingAndAutomaticRunLock() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.link.writerTimer().stop();
        f.link.clearQueues();
        bool delivered = false;
        f.link.enqueueQuery(QStringLiteral(":CHAN1:MEAS:VOLT?"), f.session.get(),
                            [&](const QString&) { delivered = true; });
        f.session->control().applyCoupling(Coupling::Parallel);
        QVERIFY(f.session->control().locks().voltage && f.session->control().locks().overCurrent);
        f.link.writerTimer().start();
        QVERIFY(f.waitReceived());
        QVERIFY(!delivered);
        f.takeReceived();
        f.session->control().setAutoRun(true);
        QVERIFY(f.session->control().locks().autoRun);
        f.session->control().toggleAutoRun();
        QVERIFY(!f.session->control().locks().autoRun);
        QCOMPARE(sentWhenIdle(f),
                 (QStringList{":SYST:AUTO:STAT 1", ":SYST:AUTO:STAT 0", ":OUTP:COUP:TRAC 2"}));
    }

    // A coupling change blanks the channels it affects (all three on the
    // three-channel supply) until fresh readings come. The four-channel
    // supply is sent a coupling only when it changes; the commands of each
    // change are the golden traces'.
    void aCouplingChangeBlanksItsChannels_data() {
        columns<QString, int, bool>("model", "blanked", "onlyChanges");
        row("three-channel", "PSQ-3323", 3, false);
        row("two-channel", "TRQ-3302", 2, false);
        row("four-channel", "TRQ-7206S", 4, true);
    }
    void aCouplingChangeBlanksItsChannels() {
        auto [model, blanked, onlyChanges] =
            fetch<QString, int, bool>("model", "blanked", "onlyChanges");
        SessionFixture f;
        QVERIFY(f.onLineSerial(model));
        pollFast(f);
        QTRY_VERIFY(f.session->supply().allMeasured());
        QVERIFY(f.quiet());
        f.takeReceived();
        f.session->control().chooseCoupling(Coupling::Independent); // the one in force
        f.session->control().chooseCoupling(Coupling::Tracking);
        for (int c = 0; c < f.session->supply().channelCount(); ++c) {
            QCOMPARE(f.session->supply().channel(c).voltage.isEmpty(), c < blanked);
            QCOMPARE(f.session->supply().channel(c).measured(), c >= blanked);
        }
        f.session->control().chooseCoupling(Coupling::Tracking);
        if (onlyChanges)
            QCOMPARE(commandsOnly(sentWhenIdle(f)), (QStringList{"TRACK1", "OUT0"}));
    }

    // The parallel choice is warned of once per connection: No sends
    // nothing; Yes sends the coupling with one set at least and asks for the
    // sets, whose reply decides the coupling and whether it can be chosen.
    void singleChannelParallel_data() {
        columns<QByteArray, QStringList, bool, Coupling, int>("reply", "sent", "choice", "coupling",
                                                              "sets");
        const QStringList asked{"SYST:CONF:MSL 1", "SYST:CONF:MSL?"};
        // "0" selects independent the way a choice does.
        row("independent", QByteArray("0"), asked + QStringList{"SYST:CONF:MSL 0"}, true,
            Coupling::Independent, 0);
        row("two sets in parallel", QByteArray("2"), asked, true, Coupling::Parallel, 2);
        row("one set", QByteArray("1"), asked, true, Coupling::Parallel, 1);
        row("fixed configuration", QByteArray("3"), asked, false, Coupling::Parallel, 1);
        row("fixed, four", QByteArray("4"), asked, false, Coupling::Parallel, 1);
        row("garbage", QByteArray("x7"), asked, true, Coupling::Parallel, 1);
    }
    void singleChannelParallel() {
        auto [reply, sent, choice, coupling, sets] =
            fetch<QByteArray, QStringList, bool, Coupling, int>("reply", "sent", "choice",
                                                                "coupling", "sets");
        SessionFixture f;
        f.overrideReplies();
        f.overrides = {{"SYST:CONF:MSL?", reply}};
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        f.takeReceived();
        f.prompter.answers = {Prompter::Answer::No, Prompter::Answer::Yes};
        f.session->control().chooseCoupling(Coupling::Parallel);
        QVERIFY(f.prompter.texts.value(0).startsWith(
            QStringLiteral("If you want to use the Parallel")));
        QCOMPARE(sentWhenIdle(f), QStringList());
        f.session->control().chooseCoupling(Coupling::Parallel);
        QCOMPARE(sentWhenIdle(f), sent);
        QCOMPARE(f.session->control().locks().couplingChoice, choice);
        QCOMPARE(f.session->control().locks().voltage, coupling != Coupling::Independent);
        QCOMPARE(f.session->supply().coupling(), coupling);
        QCOMPARE(f.session->supply().sets(), sets);
        f.session->control().chooseCoupling(Coupling::Tracking);
        QCOMPARE(f.prompter.texts.size(), 2);
    }

    // A reading asked for before the output went off, answered after it,
    // is of the state before: it is not shown, recorded or integrated.
    void aReadingFromBeforeTheOutputChangeIsDropped() {
        SessionFixture f;
        f.factory.rewrite = [](const QByteArray&, const QByteArray& reply) { return reply; };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().channel(1).vset = 5;
        f.session->poll().timer().setInterval(5);
        f.session->control().setOutput(true);
        QTRY_VERIFY(f.session->supply().allMeasured());
        f.factory.hold = [](const QByteArray& written) {
            return written.startsWith(":CHAN1:MEAS:VOLT?");
        };
        QTRY_VERIFY(!f.factory.held.second.isEmpty()); // on the line, unanswered
        f.factory.hold = {};
        f.session->control().setOutput(false);
        f.factory.release();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.session->supply().channel(0).voltage.text(), QString());
        QVERIFY(!f.session->supply().channel(0).measured());
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
        QVERIFY(!f.session->control().setSetting(0, Setting::Current, 2));
        QVERIFY(!f.session->control().setSetting(0, Setting::OverVoltage, 20));
        QVERIFY(f.session->control().setSetting(0, Setting::Voltage, 5));
        QCOMPARE(commandsOnly(sentWhenIdle(f)), QStringList{":VOLT 5"});
        silent = false;
        pollFast(f);
        QTRY_VERIFY(!f.session->supply().channel(0).current.isEmpty());
        QVERIFY(f.session->control().setSetting(0, Setting::Current, 2));
        QVERIFY(f.session->control().setSetting(0, Setting::OverVoltage, 21));
        f.session->control().setOutput(false);
        const QStringList sent = commandsOnly(sentWhenIdle(f));
        QVERIFY(sent.contains(QStringLiteral(":CURR 2")));
        QVERIFY(sent.contains(QStringLiteral(":VOLT:PROT 21")));
    }

    // ---- Memories, off line -------------------------------------------------------

    void recallSwitchesTheOutputOffAndQueriesEverythingAgain() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().saveMemory(2);
        f.session->control().setOutput(true);
        QVERIFY(f.waitReceived(3));
        f.takeReceived();
        f.session->memories().recallMemory(2);
        QTRY_COMPARE(f.waitTitles.mid(1), (QStringList{"Recall", "Querying..."}));
        const QStringList sent = sentWhenIdle(f);
        const qsizetype recall = sent.indexOf(QStringLiteral("*RCL 2"));
        QVERIFY(recall > 0);
        // Nothing queued before the recall reaches the supply after it.
        QCOMPARE(sent.mid(recall + 1, 3),
                 (QStringList{":SYST:AUTO:STAR?", ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?"}));
        QVERIFY(sent.indexOf(QStringLiteral(":SYST:MEM?"), recall) > recall);
        QVERIFY(!f.session->supply().outputOn());
        QVERIFY(!f.session->pollActive());
    }

    // The record setup's timer switches: with the writer stopped nothing
    // reaches the supply; started again, the link goes on.
    void aStoppedWriterSendsNothing() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->control().setOutput(true);
        QVERIFY(f.waitReceived(3));
        f.session->poll().setLinkActivity({true, true, false});
        f.takeReceived();
        QTest::qWait(600); // six writer ticks
        QCOMPARE(f.takeReceived(), QStringList());
        f.session->poll().setLinkActivity({});
        QVERIFY(f.waitReceived(3));
    }

    // Off line, and with a model chosen by hand after a supply was on line,
    // actions send nothing and ask nothing.
    void actionsAreSilentOffLine() {
        SessionFixture f;
        QSignalSpy output(f.session.get(), &InstrumentSession::outputChanged);
        f.session->memories().saveMemory(1);
        f.session->memories().recallMemory(1);
        f.session->memories().setAutoRange(1, 2, 3);
        f.session->memories().setDelay(4);
        f.session->control().setAutoRun(true);
        f.session->control().setOutput(true);
        f.session->control().applyCoupling(Coupling::Parallel);
        f.session->control().clearProtection();
        QVERIFY(f.session->control().setSetting(0, Setting::Voltage, 1));
        QCOMPARE(f.link.pendingCommands() + f.link.pendingQueries(), 0);
        QVERIFY(f.prompter.texts.isEmpty() && f.waitTitles.isEmpty());
        QVERIFY(output.isEmpty());
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->reset();
        f.session->connection().openTestingMode(QStringLiteral("TRQ-3302"));
        QVERIFY(f.session->isReady());
        f.session->control().setOutput(true);
        QVERIFY(f.session->control().setSetting(0, Setting::Voltage, 1));
        QCOMPARE(f.link.pendingCommands() + f.link.pendingQueries(), 0);
    }
};

TRQ_TEST_MAIN(TestSession)
#include "tst_session.moc"
