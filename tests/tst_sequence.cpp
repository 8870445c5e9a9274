// Sequences as their CSV files have them: read, refused with the line and
// the reason, written back, checked against a supply, run in order.
#include "session/limits.h"
#include "session/sequence.h"
#include "session/sessionsequence.h"
#include "support/sessionfixture.h"
#include "support/testsupport.h"

#include <QPointer>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <map>

using namespace trq;
using namespace trq::test;

namespace {

// Waits the test lets pass: the clock moves to each one's time in turn.
struct SteppedWaiter final : Waiter {
    explicit SteppedWaiter(ManualClock& c) : clock(c) {}
    void after(int msec, QObject* context, std::function<void()> work) override {
        due.emplace(qint64(std::llround(clock.nowSec() * 1000)) + msec,
                    std::pair(QPointer<QObject>(context), std::move(work)));
    }
    void passTo(qint64 ms) {
        while (!due.empty() && due.begin()->first <= ms) {
            auto [at, wait] = *due.begin();
            due.erase(due.begin());
            clock.setMsec(at);
            if (wait.first)
                wait.second();
        }
        clock.setMsec(ms);
    }
    ManualClock& clock;
    std::multimap<qint64, std::pair<QPointer<QObject>, std::function<void()>>> due;
};

// A supply as the runner sees it: every setting noted with its time from
// the run's start; readings as the test sets them.
struct Runs {
    ManualClock clock;
    SteppedWaiter waiter{clock};
    QString blocked;
    std::map<std::pair<EndCondition::Quantity, int>, double> readings;
    QStringList log;
    qint64 startMs = 0;
    SequenceRunner runner{
        {[this] { return blocked; },
         [this](const PlannedSet& s) {
             static const char* const kWhat[] = {"V", "I", "out"};
             log << QStringLiteral("%1 ms: %2%3 %4")
                        .arg(now())
                        .arg(QLatin1String(kWhat[int(s.what)]))
                        .arg(s.channel)
                        .arg(s.value);
             return true;
         },
         [this](EndCondition::Quantity q, const QString&, int channel) -> std::optional<double> {
             const auto r = readings.find({q, channel});
             return r == readings.end() ? std::nullopt : std::optional<double>(r->second);
         },
         [this] { log << QStringLiteral("%1 ms: all off").arg(now()); }},
        clock,
        waiter};
    QSignalSpy finished{&runner, &SequenceRunner::finished};

    qint64 now() const { return qint64(std::llround(clock.nowSec() * 1000)) - startMs; }
    void run(Sequence&&, bool = false) = delete; // the runner keeps a reference
    void run(const Sequence& s, bool hold = false) {
        startMs = qint64(std::llround(clock.nowSec() * 1000));
        runner.run(s, 100, {}, hold);
    }
    // The run's time passes to ms from its start.
    void passTo(qint64 ms) { waiter.passTo(startMs + ms); }
    bool done() {
        passTo(qint64(1) << 40);
        return !finished.isEmpty();
    }
};

Sequence read(const QByteArray& text) {
    std::variant<Sequence, QString> s = Sequence::fromCsv(text);
    if (const QString* why = std::get_if<QString>(&s))
        qWarning("%s", qPrintable(*why));
    return std::get<Sequence>(s);
}

} // namespace

class TestSequence : public QObject {
    Q_OBJECT
private slots:
    // The least a file needs: each row one step; empty is unchanged; the
    // dwell rounded up to a whole millisecond. A file written by the
    // program reads and writes back byte for byte, every column used.
    void filesReadAndWriteBack() {
        const Sequence minimal = read("channel,voltage,current,output,dwell_s\n"
                                      "1,5,1,on,0.5\n"
                                      "2,,0.25,,0.0005\n"
                                      "1,,,off,1\n");
        QCOMPARE(minimal.steps.size(), std::size_t(3));
        QCOMPARE(minimal.steps[0].channels[0], (ChannelSetting{1, 5.0, 1.0, true}));
        QCOMPARE(minimal.steps[1].channels[0], (ChannelSetting{2, {}, 0.25, {}}));
        QCOMPARE(minimal.steps[1].dwellMs, 1);
        // As a spreadsheet saves it: a byte-order mark, rows of commas.
        QCOMPARE(read("\xEF\xBB\xBF" + minimal.toCsv() + ",,,,\r\n,,,,\r\n"), minimal);
        QCOMPARE(minimal.toCsv(), QByteArray("channel,voltage,current,output,dwell_s\r\n"
                                             "1,5,1,on,0.5\r\n"
                                             "2,,0.25,,0.001\r\n"
                                             "1,,,off,1\r\n"));
        const QByteArray rich = "step,supply,channel,voltage,current,output,dwell_s,ramp,block,"
                                "repeat,until,sequence_until\r\n"
                                "1,,1,0,2,on,0,no,,,,fail:V1<3 for 2s\r\n"
                                "1,\"rail, left\",2,12,0.5,on,0,no,,,,t>86400s for 0s\r\n"
                                "2,,1,4.2,,,7200,yes,,,V1>=4.2 for 2s,\r\n"
                                "3,,1,,,,3600,no,,,I1<0.05 for 30s,\r\n"
                                "4,,2,5,,,1,no,cycle,100,,\r\n"
                                "5,,2,0,,,1,no,cycle/pulse,100/3,,\r\n"
                                "6,,2,3.3,,,0.25,no,cycle/pulse,,rail:t>1.5s for 0s,\r\n"
                                "7,,1,,,off,0,no,,,,\r\n";
        const Sequence s = read(rich);
        QCOMPARE(s.steps.size(), std::size_t(7));
        QCOMPARE(s.steps[0].channels.size(), std::size_t(2));
        QCOMPARE(s.steps[0].channels[1].supply, QStringLiteral("rail, left"));
        QCOMPARE(s.supplies(), QStringList({"rail, left", "rail"}));
        QCOMPARE(s.endConditions.size(), std::size_t(2));
        QVERIFY(s.endConditions[0].failure);
        QCOMPARE(s.steps[2].until,
                 (EndCondition{EndCondition::Quantity::Current, 1, false, false, 0.05, 30000}));
        QCOMPARE(s.repeatOf("cycle"), 100);
        QCOMPARE(s.repeatOf("cycle/pulse"), 3);
        QCOMPARE(s.toCsv(), rich);
    }

    void refusedFilesSayWhereAndWhy_data() {
        columns<QByteArray, QString>("file", "reason");
        const QByteArray head = "channel,voltage,current,output,dwell_s\n";
        QTest::newRow("empty") << QByteArray("\n\n") << "The file is empty";
        QTest::newRow("no step") << head << "The file has no step";
        QTest::newRow("typed column") << QByteArray("channel,voltage,current,output,dwel_s\n")
                                      << "Line 1: the column 'dwel_s' is unknown";
        QTest::newRow("column missing") << QByteArray("channel,voltage,output,dwell_s\n1,1,on,1\n")
                                        << "Line 1: the column 'current' is missing";
        QTest::newRow("channel 5") << head + "5,1,1,on,1\n"
                                   << "Line 2: the channel is 1 to 4";
        QTest::newRow("a word for volts") << head + "1,five,1,on,1\n"
                                          << "Line 2: 'five' is not";
        QTest::newRow("output maybe") << head + "1,1,1,maybe,1\n"
                                      << "Line 2: the output is on";
        QTest::newRow("dwell below 0") << head + "1,1,1,on,-1\n"
                                       << "Line 2: dwell_s is";
        QTest::newRow("ramp perhaps")
            << QByteArray("channel,voltage,current,output,dwell_s,ramp\n1,1,1,on,1,perhaps\n")
            << "Line 2: ramp is yes or no";
        QTest::newRow("until unreadable")
            << QByteArray("channel,voltage,current,output,dwell_s,until\n1,1,1,on,1,V9>1\n")
            << "Line 2: 'V9>1' is not an end condition";
        QTest::newRow("no name before the colon")
            << QByteArray("channel,voltage,current,output,dwell_s,until\n1,1,1,on,1,:V1>1\n")
            << "Line 2: ':V1>1': a supply's name goes";
        QTest::newRow("a colon in a supply's name")
            << QByteArray("channel,voltage,current,output,dwell_s,supply\n1,1,1,on,1,a:b\n")
            << "Line 2: a supply's name has no colon";
        QTest::newRow("time with a channel")
            << QByteArray("channel,voltage,current,output,dwell_s,until\n1,1,1,on,1,t1>5s\n")
            << "Line 2: 't1>5s': a channel belongs";
        const QByteArray blocks = "channel,voltage,current,output,dwell_s,block,repeat\n";
        QTest::newRow("block in two pieces") << blocks + "1,1,,,1,a,2\n1,2,,,1,,\n1,3,,,1,a,\n"
                                             << "Line 4: the block 'a' is not";
        QTest::newRow("repeat disagrees") << blocks + "1,1,,,1,a,2\n1,2,,,1,a,3\n"
                                          << "Line 3: the block 'a' repeats 2 times";
        QTest::newRow("repeat without block") << blocks + "1,1,,,1,,2\n"
                                              << "Line 2: repeat gives";
        QTest::newRow("repeat zero") << blocks + "1,1,,,1,a,0\n"
                                     << "Line 2: repeat is a whole";
        const QByteArray steps = "step,channel,voltage,current,output,dwell_s\n";
        QTest::newRow("one step, two dwells") << steps + "1,1,1,,,1\n1,2,1,,,2\n"
                                              << "Line 3: the rows of step 1 differ";
        QTest::newRow("one step, the output on and off")
            << QByteArray("step,channel,voltage,current,output,dwell_s\n1,1,,,on,1\n1,2,,,off,1\n")
            << "Line 3: step 1 switches the output on and off";
        QTest::newRow("one step, a channel twice") << steps + "1,1,1,,,1\n1,1,2,,,1\n"
                                                   << "Line 3: step 1 sets channel 1 twice";
        QByteArray many = head;
        for (int i = 0; i <= Sequence::kMaxSteps; ++i)
            many += "1,1,,,0\n";
        QTest::newRow("too many steps") << many << "Line 100002: a sequence has at most 100000";
    }
    void refusedFilesSayWhereAndWhy() {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        const std::variant<Sequence, QString> s = Sequence::fromCsv(file);
        QVERIFY(std::holds_alternative<QString>(s));
        QVERIFY2(std::get<QString>(s).startsWith(reason), qPrintable(std::get<QString>(s)));
    }

    // Checked against the supply before it runs: its channels, its limits,
    // a ramp with time to ramp.
    void aSupplyRefusesWhatItCannotDo_data() {
        columns<QByteArray, QString>("row", "reason");
        QTest::newRow("fits") << QByteArray("2,30,3,on,1,no,,") << QString();
        QTest::newRow("no channel 3")
            << QByteArray("3,1,1,on,1,no,,") << "Step 2: the supply has no channel 3.";
        QTest::newRow("too many volts")
            << QByteArray("2,30.5,,,1,no,,") << "Step 2: 30.5 V on channel 2 is beyond 0 to 30 V.";
        QTest::newRow("negative amps")
            << QByteArray("1,,-1,,1,no,,") << "Step 2: -1 A on channel 1 is beyond 0 to 3 A.";
        QTest::newRow("ramp in no time")
            << QByteArray("1,5,,,0,yes,,") << "Step 2: a ramp needs a dwell to ramp over.";
        QTest::newRow("watching channel 4")
            << QByteArray("1,5,,,10,no,I4<1,") << "Step 2: the supply has no channel 4 to watch.";
        QTest::newRow("watching with the output off")
            << QByteArray("1,,,off,10,no,I1<1,")
            << "Step 2: the output is off, so 'I1<1 for 1s' is never measured.";
        QTest::newRow("beyond the user's limit")
            << QByteArray("1,,2.5,,1,no,,")
            << "Step 2: 2.5 A on channel 1 is above the limit of 2 A set for it.";
        QTest::newRow("the bench's other supply")
            << QByteArray("1,12,,,1,no,rail:V1>1,rail") << QString();
        QTest::newRow("its channels")
            << QByteArray("2,1,,,1,no,,rail") << "Step 2: the supply has no channel 2.";
        QTest::newRow("no such supply")
            << QByteArray("1,1,,,1,no,,pump") << "Step 2: there is no supply 'pump' on the bench.";
        QTest::newRow("watching no such supply")
            << QByteArray("1,1,,,1,no,pump:I1<1,")
            << "Step 2: there is no supply 'pump' on the bench.";
    }
    void aSupplyRefusesWhatItCannotDo() {
        QFETCH(QByteArray, row);
        QFETCH(QString, reason);
        const Sequence s = read("channel,voltage,current,output,dwell_s,ramp,until,supply\n"
                                "1,1,1,on,1,no,,\n" +
                                row + "\n");
        const std::map<QString, SequenceLimits> bench{{"", {2, {30, 30}, {3, 3}, {}, {2.0}}},
                                                      {"rail", {1, {15}, {1}, {}, {}}}};
        QCOMPARE(s.refusal(bench).value_or(QString()), reason);
    }

    // Planned from the start, so nothing adds up: ten thousand steps of
    // 100 ms start exactly 100 ms apart. A ramp's increments come one a tick,
    // the last at the step's end with exactly the step's value; a step ended
    // early by its condition leaves its ramp where it stood and the next
    // step starts then.
    void runsArePlannedFromTheStart() {
        QByteArray text = "channel,voltage,current,output,dwell_s\n";
        for (int i = 0; i < 10000; ++i)
            text += "1," + QByteArray::number(i % 30) + ",,,0.1\n";
        const Sequence many = read(text);
        SequencePlan plan(many, 100, {});
        qint64 n = 0;
        while (const std::optional<PlannedMoment> m = plan.next())
            if (m->atMs != n++ * 100)
                QFAIL(qPrintable(QStringLiteral("step %1 at %2 ms").arg(n).arg(m->atMs)));
        QCOMPARE(n, 10000);
        QCOMPARE(plan.endMs(), 1000000);

        using W = PlannedSet::What;
        const Sequence ramp = read("channel,voltage,current,output,dwell_s,ramp\n"
                                   "1,1,0.5,on,0,no\n"
                                   "1,6,,,0.25,yes\n"
                                   "1,,,off,1,no\n"
                                   "1,0,,,10,yes\n"
                                   "1,,,off,0,no\n");
        SequencePlan r(ramp, 100, {});
        const std::vector<PlannedMoment> expected{
            {0, 0, true, {{1, W::Voltage, 1}, {1, W::Current, 0.5}, {1, W::Output, 1}}},
            {0, 1, true, {}},
            {100, 1, false, {{1, W::Voltage, 3}}},
            {200, 1, false, {{1, W::Voltage, 5}}},
            {250, 1, false, {{1, W::Voltage, 6}}},
            {250, 2, true, {{1, W::Output, 0}}},
            {1250, 3, true, {}},
            {1350, 3, false, {{1, W::Voltage, 5.94}}}};
        for (const PlannedMoment& e : expected) {
            const std::optional<PlannedMoment> m = r.next();
            QVERIFY(m);
            QCOMPARE(std::tuple(m->atMs, m->step, m->stepStarts, m->sets.size()),
                     std::tuple(e.atMs, e.step, e.stepStarts, e.sets.size()));
            for (std::size_t i = 0; i < e.sets.size(); ++i) {
                QCOMPARE(std::pair(m->sets[i].channel, m->sets[i].what),
                         std::pair(e.sets[i].channel, e.sets[i].what));
                QCOMPARE(m->sets[i].value, e.sets[i].value);
            }
        }
        r.endStepAt(1400);
        const std::optional<PlannedMoment> after = r.next();
        QVERIFY(after && after->atMs == 1400 && after->step == 4 && after->stepStarts);
        QVERIFY(!r.next());
        QCOMPARE(r.endMs(), 1400);
    }

    // Each setting goes out at its planned time from the start, a ramp's
    // one a tick; a run that completes switches every output off, unless it
    // is to hold its last values.
    void aRunSendsEachSettingOnTime_data() {
        columns<bool, QString>("hold", "last");
        QTest::newRow("output off at the end") << false << "1300 ms: all off";
        QTest::newRow("holding the last values") << true << "1300 ms: out1 0";
    }
    void aRunSendsEachSettingOnTime() {
        QFETCH(bool, hold);
        QFETCH(QString, last);
        Runs b;
        const Sequence s = read("channel,voltage,current,output,dwell_s,ramp\n"
                                "1,5,,on,1,no\n"
                                "1,8,,,0.3,yes\n"
                                "1,,,off,0,no\n");
        b.run(s, hold);
        QVERIFY(b.done());
        QCOMPARE(b.finished.first(), (QVariantList{true, QString()}));
        QCOMPARE(b.log.mid(0, 6),
                 (QStringList{"0 ms: V1 5", "0 ms: out1 1", "1100 ms: V1 6", "1200 ms: V1 7",
                              "1300 ms: V1 8", "1300 ms: out1 0"}));
        QCOMPARE(b.log.last(), last);
        QCOMPARE(b.runner.state(), SequenceRunner::State::Done);
    }

    // A pause keeps what is left of the step; Stop and a supply that cannot
    // take a step end the run with every output off and say why.
    void pausedStoppedAndLostRuns() {
        const Sequence s = read("channel,voltage,current,output,dwell_s\n"
                                "1,5,,on,1\n"
                                "1,6,,,1\n");
        Runs paused;
        paused.run(s);
        paused.passTo(400);
        paused.runner.pause();
        paused.passTo(5400);
        paused.runner.resume();
        QVERIFY(paused.done());
        QVERIFY(paused.log.contains("6000 ms: V1 6"));
        QCOMPARE(paused.log.last(), QStringLiteral("7000 ms: all off")); // after the last dwell

        Runs stopped;
        stopped.run(s);
        stopped.runner.stop(QStringLiteral("by the user"));
        QCOMPARE(stopped.finished.first(), (QVariantList{false, "by the user"}));
        QCOMPARE(stopped.log.last(), QStringLiteral("0 ms: all off"));
        QCOMPARE(stopped.runner.state(), SequenceRunner::State::Stopped);

        Runs lost;
        lost.run(s);
        lost.blocked = QStringLiteral("is off line");
        QVERIFY(lost.done());
        QCOMPARE(lost.finished.first(), (QVariantList{false, "Step 2: the supply is off line."}));
        QCOMPARE(lost.log.last(), QStringLiteral("1000 ms: all off"));
    }

    // A step's condition ends it once it has held for its time, a reading
    // that breaks it starting the count again; charge counts from the
    // step's beginning; the next step starts then.
    void conditionsEndStepsOnceTheyHold() {
        using Q = EndCondition::Quantity;
        const Sequence s = read("channel,voltage,current,output,dwell_s,until\n"
                                "1,4.2,1,on,3600,I1<0.05 for 2s\n"
                                "1,,,,3600,Ah1>0.5 for 0s\n"
                                "1,,,off,0,\n");
        Runs b;
        b.readings[{Q::Current, 1}] = 1.0;
        b.readings[{Q::Charge, 1}] = 7.0;
        b.run(s);
        auto at = [&](qint64 ms, Q q, double value) {
            b.passTo(ms);
            b.readings[{q, 1}] = value;
            b.runner.readingsArrived();
        };
        at(10000, Q::Current, 0.04);
        at(11000, Q::Current, 0.06);
        at(12000, Q::Current, 0.04);
        at(13999, Q::Current, 0.04);
        QCOMPARE(b.runner.step(), 0);
        at(14000, Q::Current, 0.04);
        QCOMPARE(b.runner.step(), 1);
        at(15000, Q::Charge, 7.4); // 0.4 Ah since the step began
        QCOMPARE(b.runner.step(), 1);
        at(16000, Q::Charge, 7.6);
        QCOMPARE(b.log.mid(3), (QStringList{"16000 ms: out1 0", "16000 ms: all off"}));
        QCOMPARE(b.finished.first(), (QVariantList{true, QString()}));

        // A time needs no reading: with the output off nothing is polled.
        const Sequence waits = read("channel,voltage,current,output,dwell_s,until\n"
                                    "1,,,off,3600,t>2s for 0.5s\n"
                                    "1,1,,,0,\n");
        Runs quiet;
        quiet.run(waits);
        QVERIFY(quiet.done());
        QCOMPARE(quiet.log.mid(1, 1), QStringList{"2501 ms: V1 1"});
    }

    // Conditions of the whole run count from its start, through a counter
    // reset on the way; it ends done, every output off. One marked as a
    // failure stops the run instead.
    void runConditionsAndFailures() {
        using Q = EndCondition::Quantity;
        const Sequence s = read("channel,voltage,current,output,dwell_s,until,sequence_until\n"
                                "1,4,1,on,3600,fail:V1<3 for 1s,Ah1>1 for 0s\n"
                                "1,,,off,3600,,\n");
        Runs charged;
        charged.readings[{Q::Charge, 1}] = 10.0;
        charged.run(s);
        auto at = [](Runs& b, qint64 ms, Q q, double value) {
            b.passTo(ms);
            b.readings[{q, 1}] = value;
            b.runner.readingsArrived();
        };
        at(charged, 1000, Q::Charge, 10.6);
        at(charged, 2000, Q::Charge, 0.3); // reset: 0.9 Ah so far
        QVERIFY(charged.finished.isEmpty());
        at(charged, 3000, Q::Charge, 0.5);
        QCOMPARE(charged.finished.value(0),
                 (QVariantList{true, "The sequence: Ah1>1 for 0s held."}));
        QCOMPARE(charged.log.last(), QStringLiteral("3000 ms: all off"));

        Runs failed;
        failed.readings[{Q::Voltage, 1}] = 4.0;
        failed.run(s);
        at(failed, 1000, Q::Voltage, 2.9);
        at(failed, 1500, Q::Voltage, 2.9);
        QVERIFY(failed.finished.isEmpty());
        at(failed, 2000, Q::Voltage, 2.9);
        QCOMPARE(failed.finished.value(0),
                 (QVariantList{false, "Step 1: fail:V1<3 for 1s held, a failure."}));
        QCOMPARE(failed.runner.state(), SequenceRunner::State::Stopped);
        QCOMPARE(failed.log.last(), QStringLiteral("2000 ms: all off"));
    }

    // How far a run is: steps begun of all it takes, each block's pass, the
    // time left where no condition can end it sooner.
    void progressCountsBlocksAndTime() {
        const Sequence s = read("channel,voltage,current,output,dwell_s,block,repeat\n"
                                "1,1,,,1,,\n"
                                "1,2,,,1,a,2\n"
                                "1,3,,,1,a/b,2/3\n"
                                "1,4,,,1,a/b,\n"
                                "1,5,,,1,,\n");
        Runs b;
        b.run(s);
        b.passTo(4500);
        const SequenceRunner::Progress p = b.runner.progress();
        QCOMPARE(std::tuple(p.stepsRun, p.stepsTotal, p.elapsedMs, p.leftMs),
                 std::tuple(qint64(5), qint64(16), qint64(4500), std::optional<qint64>(11500)));
        QCOMPARE(p.passes, (std::vector<SequenceCursor::BlockPass>{{"a", 1, 2}, {"a/b", 2, 3}}));
        const Sequence until = read("channel,voltage,current,output,dwell_s,until\n"
                                    "1,1,,,10,I1<1\n");
        Runs open;
        open.run(until);
        QCOMPARE(open.runner.progress().leftMs, std::nullopt);
    }

    // Each kind of step in each command family's words on the wire: values
    // and the output on, a ramp's increments to exactly its value, the
    // output off, and off again at the end.
    void eachStepKindOnEachFamilysWire_data() {
        columns<QString, QStringList>("model", "sent");
        row("three-channel SCPI", QStringLiteral("PSQ-3323"),
            QStringList{":CHAN1:VOLT 1.5", ":CHAN1:CURR 0.5", ":OUTP:STAT 1", ":CHAN1:VOLT 1.625",
                        ":CHAN1:VOLT 1.75", ":CHAN1:VOLT 1.875", ":CHAN1:VOLT 2.", ":OUTP:STAT 0",
                        ":OUTP:STAT 0"});
        row("single-channel SCPI", QStringLiteral("SPQ-3610DNB"),
            QStringList{":VOLT 1.5", ":CURR 0.5", ":OUTP:STAT 1", ":VOLT 1.625", ":VOLT 1.75",
                        ":VOLT 1.875", ":VOLT 2", ":OUTP:STAT 0", ":OUTP:STAT 0"});
        row("legacy", QStringLiteral("TRQ-3302"),
            QStringList{"VSET1:1.5", "ISET1:0.5", "OUT1", "VSET1:1.625", "VSET1:1.75",
                        "VSET1:1.875", "VSET1:2.", "OUT0", "OUT0"});
    }
    void eachStepKindOnEachFamilysWire() {
        auto [model, expected] = fetch<QString, QStringList>("model", "sent");
        SessionFixture f;
        QVERIFY(f.onLineSerial(model));
        QVERIFY(f.quiet());
        f.takeReceived();
        SessionSequence sequence(*f.session, f.clock, f.waiter);
        QSignalSpy finished(&sequence.runner(), &SequenceRunner::finished);
        QVERIFY(sequence.run(read("channel,voltage,current,output,dwell_s,ramp\n"
                                  "1,1.5,0.5,on,0.2,no\n"
                                  "1,2,,,0.02,yes\n"
                                  "1,,,off,0,no\n")) == std::nullopt);
        QCOMPARE(sequence.notice(), QString());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first(), (QVariantList{true, QString()}));
        QVERIFY(f.waitReceived());
        QStringList sent = f.takeReceived().filter(QRegularExpression("^[^?]*$"));
        QCOMPARE(sent, expected);
    }

    // On a supply: the settings on its wire in the planned order, the
    // output off at the end; one it cannot take is refused before anything
    // is sent; a lost link stops the run.
    void aSequenceRunsOnASupplysWire() {
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(f.quiet());
        f.takeReceived();
        SessionSequence sequence(*f.session, f.clock, f.waiter);
        QSignalSpy finished(&sequence.runner(), &SequenceRunner::finished);
        QCOMPARE(sequence.run(read("channel,voltage,current,output,dwell_s\n"
                                   "1,31,,,1\n")),
                 std::optional<QString>("Step 1: 31 V on channel 1 is beyond 0 to 30 V."));
        f.session->storeLimitRules(
            {LimitRule{1, Quantity::Voltage, std::nullopt, 10.0, 0, LimitAction::OutputOff}});
        QCOMPARE(sequence.run(read("channel,voltage,current,output,dwell_s\n"
                                   "1,12,,,1\n")),
                 std::optional<QString>("Step 1: 12 V on channel 1 is above the limit of 10 V set "
                                        "for it."));
        f.session->storeLimitRules({});
        // A step shorter than its settings take to go out is held longer, said.
        QVERIFY(sequence.run(read("channel,voltage,current,output,dwell_s\n"
                                  "1,1,0.5,on,0.001\n"
                                  "1,,,off,0\n")) == std::nullopt);
        QCOMPARE(sequence.notice(), QStringLiteral("Held longer than written, as the link changes "
                                                   "one setting every 5 ms: step 1."));
        QCOMPARE(sequence.runner().progress().leftMs, std::optional<qint64>(15));
        QVERIFY(finished.wait(5000));

        // An hour's step, waited on a real timer: the link goes first.
        TimerWaiter hour;
        SessionSequence held(*f.session, f.clock, hour);
        QSignalSpy lost(&held.runner(), &SequenceRunner::finished);
        QVERIFY(held.run(read("channel,voltage,current,output,dwell_s\n"
                              "1,1,,on,3600\n")) == std::nullopt);
        f.session->connection().setReconnect(true);
        f.session->poll().setLinkActivity({}); // polled again, the loss shows
        f.factory.lastSerial->unplug();
        QVERIFY(lost.wait(5000));
        QCOMPARE(lost.first(), (QVariantList{false, "The link to the supply was lost."}));
        // Back on line, the output it could not switch off goes off.
        QTRY_VERIFY_WITH_TIMEOUT(f.session->isReady(), 10000);
        QTRY_VERIFY(std::ranges::count(f.instrument().received, QStringLiteral("OUT0")) > 0);
    }

    // Blocks run as often as they repeat, nested ones inside each pass of
    // their outer block.
    void blocksRepeatInOrder() {
        const Sequence s = read("channel,voltage,current,output,dwell_s,block,repeat\n"
                                "1,1,,,1,,\n"
                                "1,2,,,1,a,2\n"
                                "1,3,,,1,a/b,2/3\n"
                                "1,4,,,1,a/b,\n"
                                "1,5,,,1,,\n");
        QCOMPARE(s.runOrder(), (std::vector<int>{0, 1, 2, 3, 2, 3, 2, 3, 1, 2, 3, 2, 3, 2, 3, 4}));
        QCOMPARE(s.runOrder(4), (std::vector<int>{0, 1, 2, 3}));
    }
};

TRQ_TEST_MAIN(TestSequence)
#include "tst_sequence.moc"
