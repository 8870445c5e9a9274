// A bench of several supplies: its power order, written as a user writes it
// and run step by step on the clock.
#include "session/powersequence.h"
#include "session/recording.h"
#include "session/sessionsequence.h"

#include "support/sessionfixture.h"
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

// Three supplies that note each output command with the clock's time.
struct NotedSupplies {
    ManualClock clock;
    FastWaiter waiter{&clock};
    QStringList log; // "name on @ms"
    QStringList offLine, refusing;
    qint64 stepCostMsec = 0; // how long a command takes to go out
    PowerSequencer sequencer{supplies(), clock, waiter};

    std::vector<PowerSequencer::Supply> supplies() {
        std::vector<PowerSequencer::Supply> all;
        for (const char* name : {"logic", "rail B", "fan"}) {
            const QString n = QLatin1String(name);
            all.push_back({n,
                           [this, n] {
                               return offLine.contains(n) ? QStringLiteral("is off line")
                                                          : QString();
                           },
                           [this, n](bool on) {
                               if (refusing.contains(n) || offLine.contains(n))
                                   return false;
                               log << QStringLiteral("%1 %2 @%3")
                                          .arg(n, on ? "on" : "off")
                                          .arg(qint64(clock.nowSec() * 1000) - 1000);
                               clock.advanceMsec(stepCostMsec);
                               return true;
                           }});
        }
        return all;
    }
    std::vector<PowerStep> order(const QString& text) {
        return std::get<std::vector<PowerStep>>(parsePowerOrder(text, {"logic", "rail B", "fan"}));
    }
    // Runs to the end; what it finished with.
    std::pair<bool, QString> run(const std::vector<PowerStep>& steps) {
        QSignalSpy finished(&sequencer, &PowerSequencer::finished);
        sequencer.run(steps);
        if (finished.isEmpty() && !finished.wait(2000))
            return {false, QStringLiteral("(did not finish)")};
        return {finished.first().at(0).toBool(), finished.first().at(1).toString()};
    }
};

} // namespace

class TestBench : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // Each step at its planned time from the start, however long the steps
    // before took to go out; off runs the same order backwards.
    void powerOrderRunsOnItsPlannedTimes_data() {
        columns<qint64>("stepCostMsec");
        row("commands out at once", qint64(0));
        row("each command 150 ms on its way", qint64(150));
    }
    void powerOrderRunsOnItsPlannedTimes() {
        auto [cost] = fetch<qint64>("stepCostMsec");
        NotedSupplies b;
        b.stepCostMsec = cost;
        const std::vector<PowerStep> on = b.order(QStringLiteral("logic on, 200 ms, Rail B on, "
                                                                 "1.5 s, fan on"));
        QCOMPARE(b.run(on), std::pair(true, QString()));
        QCOMPARE(b.log, (QStringList{"logic on @0", "rail B on @200", "fan on @1700"}));
        QCOMPARE(powerOrderText(reversedOff(on)),
                 QStringLiteral("fan off, 1500 ms, rail B off, 200 ms, logic off"));
        b.log.clear();
        b.clock.setMsec(1000);
        QCOMPARE(b.run(reversedOff(on)), std::pair(true, QString()));
        QCOMPARE(b.log, (QStringList{"fan off @0", "rail B off @1500", "logic off @1700"}));
    }

    // A supply off line or refusing stops the order, and every supply it
    // names goes off, whether the order switched on or off; one message
    // says which. On the wire of real supplies: tst_app's
    // headlessBenchRecordsAsOne.
    void aFailedStepLeavesNoOutputOn_data() {
        columns<QString, QString, QString, QString, QStringList>("order", "offLine", "refusing",
                                                                 "message", "log");
        const QString on = QStringLiteral("logic on, 200 ms, rail B on, fan on");
        row("off line", on, "rail B", "",
            "The power order stopped at step 3: rail B is off line. Switched off: fan, logic.",
            QStringList{"logic on @0", "fan off @200", "logic off @200"});
        row("refusing", on, "", "rail B",
            "The power order stopped at step 3: rail B refused to switch its output on. Switched "
            "off: fan, logic.",
            QStringList{"logic on @0", "fan off @200", "logic off @200"});
        row("the first step", on, "logic", "",
            "The power order stopped at step 1: logic is off line. Switched off: fan, rail B.",
            QStringList{"fan off @0", "rail B off @0"});
        row("switching off", "fan off, 200 ms, rail B off, logic off", "rail B", "",
            "The power order stopped at step 3: rail B is off line. Switched off: logic, fan.",
            QStringList{"fan off @0", "logic off @200", "fan off @200"});
    }
    void aFailedStepLeavesNoOutputOn() {
        auto [order, offLine, refusing, message, log] =
            fetch<QString, QString, QString, QString, QStringList>("order", "offLine", "refusing",
                                                                   "message", "log");
        NotedSupplies b;
        b.offLine << offLine;
        b.refusing << refusing;
        QCOMPARE(b.run(b.order(order)), std::pair(false, message));
        QCOMPARE(b.log, log);
    }

    // A supply the order switched on that goes off line during a wait stops
    // it before the next step; a wait at the end is waited too.
    void aSupplyLostDuringAWaitStopsTheOrder() {
        NotedSupplies b;
        QObject::connect(&b.sequencer, &PowerSequencer::stepTaken, &b.sequencer,
                         [&](int step) { b.offLine << (step == 0 ? "logic" : ""); });
        QCOMPARE(b.run(b.order(QStringLiteral("logic on, 100 ms, fan on"))),
                 std::pair(false, QStringLiteral("The power order stopped at step 3: logic is off "
                                                 "line. Switched off: fan. Could not be switched "
                                                 "off: logic.")));
        b.offLine.clear();
        b.clock.setMsec(1000);
        QObject::disconnect(&b.sequencer, &PowerSequencer::stepTaken, nullptr, nullptr);
        QCOMPARE(b.run(b.order(QStringLiteral("logic on, 500 ms"))), std::pair(true, QString()));
        QCOMPARE(b.clock.nowSec(), 1.5);
    }

    // Stopped, no later step is taken, not even by a wait already running.
    void stoppedTheOrderTakesNoFurtherStep() {
        NotedSupplies b;
        QSignalSpy finished(&b.sequencer, &PowerSequencer::finished);
        b.sequencer.run(b.order(QStringLiteral("logic on, 100 ms, fan on")));
        b.sequencer.stop();
        QCOMPARE(finished.size(), 1);
        QTest::qWait(20);
        QCOMPARE(b.log, QStringList{"logic on @0"});
        QVERIFY(!b.sequencer.running());
    }

    // Two supplies of one model, each on its own link: the order switches
    // both, and one recording takes both, each step's points at one time.
    // One unplugged, the other goes on polling and recording, and all-off
    // reaches what is on line. The next start's choice stays the user's own.
    // The run's export is tst_recordstore's and, with a supply unplugged,
    // tst_app's headlessBenchRecordsAsOne.
    void eachSupplyKeepsItsOwnLink() {
        BenchFixture b({"logic=sim:PSQ-3323", "sim:PSQ-3323", "sim:PSQ-3323"});
        QVERIFY(b.allReady());
        QCOMPARE(b.bench.names(), (QStringList{"logic", "PSQ-3323", "PSQ-3323 #2"}));
        QCOMPARE(Settings::instance().lastModel(), QString());
        QCOMPARE(b.runOrder(QStringLiteral("logic on, 50 ms, psq-3323 on")),
                 std::pair(true, QString()));
        QTRY_VERIFY(b.instruments.at(0)->output && b.instruments.at(1)->output);
        QTRY_VERIFY(b.bench.session(0).supply().outputOn() &&
                    b.bench.session(1).supply().outputOn());
        // The third's output is off: only the two are recorded.
        b.bench.remove(2);
        QVERIFY(b.bench.startRecording(RecordingEngine::kContinuous, 0, 0));
        RecordStore& first = *b.bench.records().store(1);
        RecordStore& second = *b.bench.records().store(2);
        QTRY_VERIFY_WITH_TIMEOUT(first.workingCount() >= 2 && second.workingCount() >= 2, 5000);
        b.unplug(0);
        QTRY_VERIFY(!b.bench.session(0).isReady());
        const int lost = *first.workingCount();
        const quint64 before = b.bench.session(1).supply().readingCount();
        QTRY_VERIFY(b.bench.session(1).supply().readingCount() >= before + 6);
        QTRY_VERIFY_WITH_TIMEOUT(second.workingCount() >= lost + 1, 5000);
        b.bench.stopRecording();
        QVERIFY(!b.bench.isRecording());
        b.bench.allOutputsOff();
        QTRY_VERIFY(!b.instruments.at(1)->output);

        QStringList times[2];
        for (int i = 0; i < 2; ++i)
            for (const SampleRow& r : b.bench.records().store(i + 1)->workingRows())
                times[i] << r.recTime;
        QCOMPARE(times[0], times[1].mid(0, times[0].size()));

        // A step whose points cannot be committed stops the recording, said.
        // The bench asks once before the unsaved run goes.
        b.bench.session(1).control().setOutput(true);
        QTRY_VERIFY(b.bench.session(1).supply().allMeasured());
        // A table that cannot be emptied refuses the start: the last run
        // stays whole, also the supply's that is off line now.
        QSqlQuery q(b.data.database());
        QVERIFY(q.exec("CREATE TRIGGER stuck BEFORE DELETE ON datatemp_s2 BEGIN SELECT "
                       "RAISE(ABORT, 'disk I/O error'); END"));
        b.prompter.answers.push_back(Prompter::Answer::Yes);
        QVERIFY(!b.bench.startRecording(RecordingEngine::kContinuous, 0, 0));
        QCOMPARE(first.workingCount(), lost);
        QVERIFY(q.exec("DROP TRIGGER stuck"));
        b.prompter.answers.push_back(Prompter::Answer::Yes);
        const bool started = b.bench.startRecording(RecordingEngine::kContinuous, 0, 0);
        QVERIFY2(started, qPrintable(b.prompter.texts.join('|')));
        QVERIFY(b.prompter.answers.empty());
        QVERIFY(q.exec("PRAGMA foreign_keys = ON"));
        QVERIFY(q.exec("CREATE TABLE owner (Id INTEGER PRIMARY KEY)"));
        QVERIFY(q.exec("CREATE TABLE owed (Id INTEGER REFERENCES owner (Id) DEFERRABLE "
                       "INITIALLY DEFERRED)"));
        QVERIFY(q.exec("CREATE TRIGGER orphan AFTER INSERT ON datatemp_s2 BEGIN INSERT INTO owed "
                       "VALUES (7); END"));
        QSignalSpy stopped(&b.bench, &Bench::recordingStopped);
        QTRY_VERIFY_WITH_TIMEOUT(!b.bench.isRecording(), 5000);
        QCOMPARE(stopped.value(0).value(0).toBool(), true); // not a whole run
        QVERIFY(!b.bench.session(1).recording()->engine().isRecording());
        // The supply off line at the start is no part of the run: nothing of
        // the run before stays in its tables.
        QCOMPARE(b.bench.records().supplies({}).size(), std::size_t(1));
        QCOMPARE(b.bench.records().supplies({}).front().table, 2);
        QCOMPARE(first.workingCount(), 0);
        QVERIFY2(b.prompter.texts.join('|').contains("could not be stored"),
                 qPrintable(b.prompter.texts.join('|')));
    }

    // A bench is kept under its name and opens again as it was; a name not
    // kept, or an entry edited into nonsense, is said, not half opened.
    void aBenchIsKeptAndOpensAgain() {
        {
            BenchFixture b({"logic=sim:PSQ-3323", "serial:/dev/ttyUSB7@115200"});
            b.bench.store(QStringLiteral("rack 2"));
        }
        QCOMPARE(Settings::instance().lastBench(), QStringLiteral("rack 2"));
        const auto opened = storedBench(QStringLiteral("rack 2"));
        const auto* addresses = std::get_if<std::vector<SupplyAddress>>(&opened);
        QVERIFY(addresses && addresses->size() == 2);
        QCOMPARE(addresses->at(0).name, QStringLiteral("logic"));
        QCOMPARE(addresses->at(1).serial, (SerialSettings{"/dev/ttyUSB7", 115200}));
        QCOMPARE(std::get<QString>(storedBench(QStringLiteral("rack 3"))),
                 QStringLiteral("No bench named \"rack 3\" is kept; kept are: rack 2"));
        Settings::instance().setBenchSupplies(QStringLiteral("rack 2"),
                                              QStringList{"logic=sim:PSQ-3323", "usb0"});
        QVERIFY(std::get<QString>(storedBench(QStringLiteral("rack 2")))
                    .startsWith(QStringLiteral("The bench \"rack 2\" cannot be opened: A supply is "
                                               "serial:PORT[@BAUD]")));
    }

    // A limit's "all outputs off on the bench" reaches every supply's wire,
    // not only the one whose reading crossed it.
    void theInterlockSwitchesTheWholeBenchOff() {
        BenchFixture b({"logic=sim:PSQ-3323", "rail=sim:TRQ-3302"});
        QVERIFY(b.allReady());
        b.bench.session(0).storeLimitRules(
            {LimitRule{1, Quantity::Voltage, std::nullopt, 4.0, 0, LimitAction::BenchOutputsOff}});
        QCOMPARE(b.runOrder(QStringLiteral("logic on, rail on")), std::pair(true, QString()));
        QTRY_VERIFY(b.instruments.at(0)->output && b.instruments.at(1)->output);
        const std::vector<PowerSequencer::Supply> madeBefore = b.bench.sequencerSupplies();
        b.instruments.at(0)->channel(1).vset = 6;
        QTRY_VERIFY(!b.instruments.at(0)->output && !b.instruments.at(1)->output);
        QVERIFY(!b.bench.session(1).supply().outputOn());
        // An order made before the trip switches nothing on behind it.
        PowerSequencer late(madeBefore, b.clock, b.waiter);
        QSignalSpy finished(&late, &PowerSequencer::finished);
        late.run(b.order(QStringLiteral("rail on")));
        QCOMPARE(finished.value(0).value(1).toString(),
                 QStringLiteral("The power order stopped at step 1: rail was switched off with the "
                                "whole bench. Switched off: rail."));
    }

    // A supply whose link is being opened again when the bench goes off
    // gets its output-off as soon as it is back.
    void theInterlockReachesASupplyThatComesBack() {
        std::map<QString, std::shared_ptr<sim::Supply>> kept;
        BenchFixture b({"logic=sim:PSQ-3323"});
        b.factory.supplyFor = [&](const QString& model) {
            std::shared_ptr<sim::Supply>& s = kept[model];
            if (!s)
                s = simulatedSupply(model);
            return s;
        };
        InstrumentSession& rail =
            b.bench.add(std::get<SupplyAddress>(parseSupplyAddress("rail=sim:TRQ-3302")));
        rail.link().writerTimer().setInterval(5);
        QVERIFY(b.allReady());
        QCOMPARE(b.runOrder(QStringLiteral("logic on, rail on")), std::pair(true, QString()));
        QTRY_VERIFY(b.instruments.at(0)->output && kept["TRQ-3302"]->output);
        rail.connection().setReconnect(true);
        rail.connection().setReconnectDelays({200});
        b.unplug(1);
        QTRY_COMPARE(rail.connection().state(), ConnectionState::Reconnecting);
        b.bench.allOutputsOff();
        QTRY_VERIFY(!b.instruments.at(0)->output);
        QVERIFY(kept["TRQ-3302"]->output);
        QTRY_VERIFY(rail.isReady());
        QTRY_VERIFY(!kept["TRQ-3302"]->output);
    }

    // A sequence's steps reach the other supply they name, on its own link,
    // each step kept with the bench's recording; a supply the bench does
    // not have is refused; the other's lost link stops the run, every
    // output it set off.
    void aSequenceStepsAcrossTheBench() {
        BenchFixture b({"logic=sim:PSQ-3323", "rail=sim:TRQ-3302"});
        QVERIFY(b.allReady());
        SessionSequence& sequence = b.bench.session(0).sequence();
        auto read = [](const QByteArray& text) {
            return std::get<Sequence>(
                Sequence::fromCsv("step,supply,channel,voltage,current,output,dwell_s\n" + text));
        };
        QCOMPARE(sequence.run(read("1,pump,1,1,,on,1\n")),
                 std::optional<QString>("Step 1: there is no supply 'pump' on the bench."));
        QCOMPARE(b.runOrder(QStringLiteral("logic on, rail on")), std::pair(true, QString()));
        QTRY_VERIFY(b.bench.session(0).supply().allMeasured() &&
                    b.bench.session(1).supply().allMeasured());
        QVERIFY(b.bench.startRecording(RecordingEngine::kContinuous, 0, 0));
        QSignalSpy finished(&sequence.runner(), &SequenceRunner::finished);
        QCOMPARE(sequence.run(read("1,,1,2.5,0.5,on,0.2\n"
                                   "1,rail,1,5,,on,0.2\n"
                                   "2,rail,1,,,off,0\n")),
                 std::nullopt);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first(), (QVariantList{true, QString()}));
        QTRY_VERIFY(!b.instruments.at(0)->output && !b.instruments.at(1)->output);
        QCOMPARE(
            std::pair(b.instruments.at(0)->channel(1).vset, b.instruments.at(1)->channel(1).vset),
            std::pair(2.5, 5.0));
        b.bench.stopRecording();
        QStringList steps;
        for (const RecordEvent& e : b.bench.records().store(1)->events())
            if (e.isStep())
                steps << e.action;
        QCOMPARE(steps, (QStringList{"Step 1 (1 of 2): CH1 2.5 V 0.5 A on, rail CH1 5 V on",
                                     "Step 2 (2 of 2): rail CH1 off"}));

        finished.clear();
        QCOMPARE(sequence.run(read("1,,1,1,,on,3600\n1,rail,1,1,,on,3600\n")), std::nullopt);
        // Paused, it waits no further on this test's fast clock.
        sequence.runner().pause();
        QTRY_VERIFY(b.instruments.at(0)->output && b.instruments.at(1)->output);
        b.unplug(1);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first(), (QVariantList{false, "The link to rail was lost."}));
        QTRY_VERIFY(!b.instruments.at(0)->output);
    }

    // What a user may write, and why anything else is refused.
    void powerOrderAsWritten_data() {
        columns<QString, QString>("text", "reads"); // reads: as kept, or why refused
        row("names any case, waits in s", "LOGIC on,0.25 s,  rail b  OFF",
            "logic on, 250 ms, rail B off");
        row("unknown supply", "logic on, pump on",
            "Step 2 (\"pump on\") names no supply of the bench (logic, rail B, fan)");
        row("no unit", "logic on, 200, fan on",
            "Step 2 (\"200\") is neither \"NAME on\", \"NAME off\" nor a wait in ms or s");
        row("over an hour", "logic on, 2 h, fan on",
            "Step 2 (\"2 h\") is neither \"NAME on\", \"NAME off\" nor a wait in ms or s");
        row("over an hour in s", "logic on, 3601 s",
            "Step 2 (\"3601 s\") waits longer than an hour");
        row("only waits", "200 ms", "A power order switches at least one supply");
        row("empty step", "logic on,, fan on",
            "Step 2 (\"\") is neither \"NAME on\", \"NAME off\" nor a wait in ms or s");
    }
    void powerOrderAsWritten() {
        auto [text, reads] = fetch<QString, QString>("text", "reads");
        const auto parsed = parsePowerOrder(text, {"logic", "rail B", "fan"});
        const auto* steps = std::get_if<std::vector<PowerStep>>(&parsed);
        QCOMPARE(steps ? powerOrderText(*steps) : std::get<QString>(parsed), reads);
    }
};

TRQ_TEST_MAIN(TestBench)
#include "tst_bench.moc"
