#include "session/graphseries.h"
#include "session/partsaver.h"
#include "session/recordingengine.h"
#include "storage/database.h"
#include "support/testsupport.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

class ManualRecordingClock final : public RecordingClock {
public:
    QDateTime now() const override { return wall; }
    qint64 monotonicMsec() const override { return mono; }
    void advance(qint64 msec) {
        mono += msec;
        wall = wall.addMSecs(msec);
    }
    QDateTime wall = QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0));
    qint64 mono = 5000;
};

class FakeView final : public RecordingView {
public:
    void recordingStarted(const QDateTime& s, const QDateTime& e) override {
        start = s;
        plannedEnd = e;
    }
    void recordingStopped(const QDateTime& last) override { stoppedAt = last; }
    void pointWritten(const SampleRow&) override { ++points; }
    void cleared() override { ++clears; }
    QDateTime start, plannedEnd, stoppedAt;
    int points = 0, clears = 0;
};

struct EngineFixture : DatabaseFixture {
    ScriptedPrompter prompter;
    ManualRecordingClock clock;
    FakeView view;
    bool onLine = true;
    bool output = true;
    std::vector<std::array<QString, 2>> readings;         // per channel: volt, curr
    bool silent = false;                                  // no reply arrives any more
    std::array<bool, 4> measured{true, true, true, true}; // per channel
    std::unique_ptr<RecordingEngine> engine;

    explicit EngineFixture(int channels, Database::Access access = Database::Access::ReadWrite)
        : DatabaseFixture(access), readings(std::size_t(channels)) {
        for (auto& r : readings)
            r = {QStringLiteral("1.000"), QStringLiteral("0.100")};
        engine = std::make_unique<RecordingEngine>(
            *store, prompter,
            RecordingEngine::Source{[this] { return onLine; },
                                    [this] { return output; },
                                    {},
                                    [this](int c) { return measured[std::size_t(c)]; },
                                    {}},
            channels, &clock);
        engine->addView(&view);
    }
    void start(int length, int scale = 0, PointOperation op = PointOperation::Maximum) {
        engine->arm(length, scale, int(op));
        QVERIFY(engine->start());
    }
    // Point i as the working table holds it.
    SampleRow point(int i) { return store->workingRows().value(i); }
    // Every channel's readings arrive.
    void arrive() {
        for (std::size_t c = 0; c < readings.size(); ++c) {
            engine->take(int(c), true, Reading(readings[c][0]));
            engine->take(int(c), false, Reading(readings[c][1]));
        }
    }
    // One tick a second, with the readings the step gives.
    void run(int ticks, const std::function<void(int)>& step = {}) {
        for (int i = 0; i < ticks && engine->timer().isActive(); ++i) {
            if (step)
                step(i);
            if (!silent)
                arrive();
            engine->tick();
            clock.advance(1000);
        }
    }
};

} // namespace

Q_DECLARE_METATYPE(trq::PointOperation)

class TestRecordingEngine : public QObject {
    Q_OBJECT
private slots:
    // Each scale folds its own number of seconds into a point stamped with
    // the window's start.
    void everyScaleMakesOnePointPerItsLength_data() {
        columns<int, int>("scale", "seconds");
        const int seconds[] = {1, 2, 5, 10, 30, 60, 300, 600, 1800, 3600};
        for (int i = 0; i < 10; ++i)
            QTest::addRow("scale %d", i) << i << seconds[i];
    }
    void everyScaleMakesOnePointPerItsLength() {
        auto [scale, seconds] = fetch<int, int>("scale", "seconds");
        EngineFixture f(1);
        f.start(3 * seconds, scale);
        f.run(seconds - 1);
        QCOMPARE(f.engine->pointCount(), 0);
        f.run(1);
        QCOMPARE(f.engine->pointCount(), 1);
        QCOMPARE(f.point(0).recTime, QStringLiteral("2026/12/06 10:00:00"));
        f.run(seconds);
        QCOMPARE(f.engine->pointCount(), 2);
        QCOMPARE(f.point(1).diffLastTime, seconds);
        QCOMPARE(f.point(1).timeTick, seconds);
    }

    // A point folds the readings of its window, of all four channels; "-" is
    // a second in which no reading arrived (a silent or lost link), "?" one
    // in which channel 4 has no reading of the present state yet (just after
    // an output change): it counts for nothing and is not filled in. After
    // the first point such a second is a gap on the next point only; before
    // it, the first point waits and is stamped with its own window's start.
    void pointOperationsFoldTheWindow_data() {
        columns<PointOperation, int, QStringList, QStringList, QString, int, QList<int>, int>(
            "op", "scale", "volts", "points", "curr", "lastDiff", "gaps", "firstTick");
        QTest::newRow("average") << PointOperation::Average << 2
                                 << QStringList{"1", "2", "3", "4", "5"} << QStringList{"3.00"}
                                 << "0.50" << 0 << QList<int>{} << 0;
        QTest::newRow("average starts each window afresh")
            << PointOperation::Average << 1 << QStringList{"1", "3", "5", "7"}
            << QStringList{"2.00", "6.00"} << "0.50" << 2 << QList<int>{} << 0;
        QTest::newRow("minimum starts each window afresh")
            << PointOperation::Minimum << 1 << QStringList{"5.1", "4.9", "6.0", "6.5"}
            << QStringList{"4.9", "6.0"} << "0.5" << 2 << QList<int>{} << 0;
        QTest::newRow("minimum of the readings that arrived")
            << PointOperation::Minimum << 2 << QStringList{"-", "-", "7", "6", "5"}
            << QStringList{"5"} << "0.5" << 0 << QList<int>{} << 0;
        QTest::newRow("maximum, non-numeric readings")
            << PointOperation::Maximum << 1 << QStringList{"2.5", "junk", "", "1.0"}
            << QStringList{"2.5", "1.0"} << "0.5" << 2 << QList<int>{} << 0;
        QTest::newRow("one-second points resume after silence")
            << PointOperation::Maximum << 0
            << QStringList{"1", "2", "3", "-", "-", "-", "-", "-", "4", "5"}
            << QStringList{"1", "2", "3", "4", "5"} << "0.5" << 1 << QList<int>{3} << 0;
        QTest::newRow("a channel not measured yet")
            << PointOperation::Maximum << 0 << QStringList{"?", "?", "1", "2", "?", "3", "4"}
            << QStringList{"1", "2", "3", "4"} << "0.5" << 1 << QList<int>{2} << 2;
        QTest::newRow("one-second points as read, zero and below too")
            << PointOperation::Maximum << 0 << QStringList{"0.000", "-1.5", ""}
            << QStringList{"0.000", "-1.5", ""} << "0.5" << 1 << QList<int>{} << 0;
        // Polling fast: "a|b|c" is a second in which several readings came.
        QTest::newRow("every reading of a second averaged")
            << PointOperation::Average << 0 << QStringList{"1|2|6"} << QStringList{"3.00"} << "0.50"
            << 0 << QList<int>{} << 0;
        QTest::newRow("the highest of every reading")
            << PointOperation::Maximum << 1 << QStringList{"1|7|2", "3|4"} << QStringList{"7"}
            << "0.5" << 0 << QList<int>{} << 0;
        QTest::newRow("the lowest of every reading")
            << PointOperation::Minimum << 1 << QStringList{"5|2|4", "3|6"} << QStringList{"2"}
            << "0.5" << 0 << QList<int>{} << 0;
        QTest::newRow("a window with a second missing")
            << PointOperation::Maximum << 1 << QStringList{"1", "2", "3", "-", "5", "6"}
            << QStringList{"2", "3", "6"} << "0.5" << 2 << QList<int>{1} << 0;
    }
    void pointOperationsFoldTheWindow() {
        auto [op, scale, volts, points, curr, lastDiff, gaps, firstTick] =
            fetch<PointOperation, int, QStringList, QStringList, QString, int, QList<int>, int>(
                "op", "scale", "volts", "points", "curr", "lastDiff", "gaps", "firstTick");
        EngineFixture f(4);
        f.start(12, scale, op);
        f.run(int(volts.size()), [&](int i) {
            f.silent = volts.at(i) == QLatin1String("-");
            f.measured[3] = volts.at(i) != QLatin1String("?");
            f.readings[3][1] = QStringLiteral("0.5");
            const QStringList second = volts.at(i).split(QLatin1Char('|'));
            for (const QString& v : second.mid(0, second.size() - 1)) {
                f.readings[0][0] = v;
                f.arrive();
            }
            f.readings[0][0] = second.last();
            f.readings[3][1] = QStringLiteral("0.5");
        });
        QCOMPARE(f.engine->pointCount(), int(points.size()));
        QList<int> gapped;
        for (int i = 0; i < points.size(); ++i) {
            QCOMPARE(f.point(i).volt[0], points.at(i));
            if (f.point(i).gap)
                gapped << i;
        }
        QCOMPARE(gapped, gaps);
        QCOMPARE(f.point(0).timeTick, firstTick);
        QCOMPARE(f.point(0).curr[3], curr);
        QCOMPARE(f.point(int(points.size()) - 1).diffLastTime, lastDiff);
    }

    // A point that cannot be stored stops the recording at once with one
    // message naming the file and the cause; the points stored before stay,
    // and only those are shown.
    void aPointThatCannotBeStoredStopsTheRecording() {
        EngineFixture f(1);
        QVERIFY(QSqlQuery(f.data.database())
                    .exec(QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON datatemp WHEN "
                                         "NEW.SeqNo >= 2 BEGIN SELECT RAISE(ABORT, 'database or "
                                         "disk is full'); END")));
        f.start(10);
        f.run(10);
        QVERIFY(!f.engine->timer().isActive());
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().contains(QLatin1String("mtype.mdb")));
        QVERIFY(f.prompter.texts.first().contains(QLatin1String("database or disk is full")));
        QCOMPARE(f.view.points, 2);
        QCOMPARE(f.store->workingCount().value_or(-1), 2);
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(1));
    }

    // A refused start says why and clears nothing.
    void startIsRefused_data() {
        columns<bool, bool, bool, bool, QString>("onLine", "output", "readOnly", "stuck",
                                                 "message");
        row("off line", false, true, false, false,
            QStringLiteral("Please check connection with device and then try again!"));
        row("output off", true, false, false, false,
            QStringLiteral("Please setup Device into Auto Run mode and then try again!"));
        row("read-only database", true, true, true, false, QStringLiteral("read-only"));
        row("working table stuck", true, true, false, true,
            QStringLiteral("The recording cannot start: "));
    }
    void startIsRefused() {
        auto [onLine, output, readOnly, stuck, message] = fetch<bool, bool, bool, bool, QString>(
            "onLine", "output", "readOnly", "stuck", "message");
        EngineFixture f(1, readOnly ? Database::Access::ReadOnly : Database::Access::ReadWrite);
        f.onLine = onLine;
        f.output = output;
        // A lab run's points are stashed as the table is emptied: both or
        // neither, or they would go again under the next run.
        if (stuck)
            QVERIFY(f.store->setWorkingRun(WorkingRun{"bench-1", "rail", "", "", 1, 7, {}, -1}) &&
                    QSqlQuery(f.data.database())
                        .exec(QStringLiteral("CREATE TRIGGER stuck BEFORE DELETE ON datatemp "
                                             "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")));
        QCOMPARE(f.store->appendSample({}), !readOnly);
        f.engine->arm(5, 0, 0);
        QVERIFY(!f.engine->start());
        QCOMPARE(f.store->workingCount().value_or(-1), readOnly ? 0 : 1);
        if (stuck)
            QVERIFY(f.store->workingRun() && f.store->outboxCount() == 0);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY2(f.prompter.texts.first().contains(message), qPrintable(f.prompter.texts.first()));
        QVERIFY(!f.engine->timer().isActive());
    }

    // A point a tick, a second apart, up to the planned end; midnight is no
    // step back, and elapsed seconds are rounded, not cut: ticks 1.4 s and
    // 0.6 s apart are still consecutive seconds, and no gap.
    void oneSecondScaleWritesEveryTick_data() {
        columns<QTime, QList<qint64>, QString>("from", "ticks", "last");
        row("morning", QTime(10, 0, 0), QList<qint64>{1000}, QStringLiteral("2026/12/06 10:00:10"));
        row("across midnight", QTime(23, 59, 58), QList<qint64>{1000},
            QStringLiteral("2026/12/07 00:00:08"));
        row("jittered ticks", QTime(10, 0, 0), QList<qint64>{1000, 1400, 600, 1000},
            QStringLiteral("2026/12/06 10:00:10"));
    }
    void oneSecondScaleWritesEveryTick() {
        auto [from, ticks, last] = fetch<QTime, QList<qint64>, QString>("from", "ticks", "last");
        EngineFixture f(1);
        const QDateTime start(QDate(2026, 12, 6), from);
        f.clock.wall = start;
        f.start(10);
        for (int i = 0; i < 100 && f.engine->timer().isActive(); ++i) {
            f.arrive();
            f.engine->tick();
            f.clock.advance(ticks.at(i % ticks.size()));
        }
        const QList<SampleRow> rows = f.store->workingRows();
        QCOMPARE(rows.size(), 11);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).timeTick, i);
            QCOMPARE(rows.at(i).diffLastTime, i == 0 ? 0 : 1);
            QCOMPARE(rows.at(i).recTime, start.addSecs(i).toString("yyyy/MM/dd HH:mm:ss"));
            QVERIFY(!rows.at(i).gap);
        }
        QCOMPARE(rows.last().recTime, last);
        QCOMPARE(rows.last().volt[1], QStringLiteral("0")); // one channel: the others "0"
        QCOMPARE(rows.last().volt[3], QString());           // and no channel 4
        QCOMPARE(f.view.points, 11);
        // The end box: planned at start, then the last point's time.
        QCOMPARE(f.view.plannedEnd, f.view.start.addSecs(10));
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(10));
    }

    // Another program holds the file: the points wait in order and are all
    // stored once it lets go; held for over a minute, the recording stops and
    // says why.
    void aBusyDatabaseIsWaitedFor_data() {
        columns<int, bool>("heldSeconds", "goesOn");
        QTest::newRow("8 s") << 8 << true;
        QTest::newRow("61 s") << 61 << false;
    }
    void aBusyDatabaseIsWaitedFor() {
        auto [heldSeconds, goesOn] = fetch<int, bool>("heldSeconds", "goesOn");
        // Each try waits for the file a moment: a minute goes in steps of ten.
        const int step = goesOn ? 1 : 10;
        EngineFixture f(1);
        QSignalSpy said(f.engine.get(), &RecordingEngine::storeStatus);
        f.start(RecordingEngine::kContinuous);
        f.run(3);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(f.store->fileName());
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
            for (int held = 0; held < heldSeconds && f.engine->isRecording(); held += step) {
                f.arrive();
                f.engine->tick();
                f.clock.advance(step * 1000);
            }
            QCOMPARE(f.engine->isRecording(), goesOn);
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        f.run(3);
        if (!goesOn) {
            QCOMPARE(f.prompter.texts.size(), 1);
            QVERIFY2(f.prompter.texts.first().contains(QLatin1String("another program")),
                     qPrintable(f.prompter.texts.first()));
            QCOMPARE(f.store->workingCount().value_or(-1), 3);
            return;
        }
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(!said.isEmpty());
        QCOMPARE(said.last().first().toString(), QString()); // told when it is over
        const QList<SampleRow> rows = f.store->workingRows();
        QCOMPARE(rows.size(), 3 + heldSeconds + 3);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).seqNo, i);
            QCOMPARE(rows.at(i).timeTick, i);
        }
    }

    void stopAndStartRecordsTheRemainingTicksOrUntilStopped() {
        EngineFixture f(1);
        f.start(9); // ten ticks
        f.run(3);
        f.engine->stop();
        QCOMPARE(f.engine->remainingTicks(), 6);             // seven ticks to go
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(2)); // the last point written
        QVERIFY(f.engine->start());
        QCOMPARE(f.store->workingCount(), 0); // the earlier rows were cleared
        f.run(100);
        QCOMPARE(f.engine->pointCount(), 7);

        // Continuous: no planned end, never runs out, ends only when stopped.
        f.start(RecordingEngine::kContinuous);
        QVERIFY(!f.view.plannedEnd.isValid());
        QCOMPARE(f.engine->remainingTicks(), 0); // a length would end at the first tick
        f.run(100);
        QVERIFY(f.engine->isRecording());
        QCOMPARE(f.engine->pointCount(), 100);
        f.engine->stop();
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(99));
        // A length armed later is a length again.
        f.engine->arm(2, 0, 0);
        QVERIFY(!f.engine->isContinuous());
    }

    // Every hour on the recording's clock the points since the last part
    // become a record; the rest when it stops. Together they hold every
    // point once.
    void partsAreSavedWhileRecording() {
        EngineFixture f(1);
        LocalArchive archive(*f.store);
        PartSaver parts(archive, *f.engine);
        parts.setHours(1);
        parts.setDescription(QStringLiteral("soak"));
        f.engine->addView(&parts);
        QStringList saved;
        connect(&parts, &PartSaver::partSaved, this,
                [&](const QString& n, const QString& d) { saved << n + QLatin1Char(' ') + d; });
        f.start(RecordingEngine::kContinuous);
        f.run(2 * 3600 + 10);
        QCOMPARE(saved, (QStringList{"1 soak (part 1)", "2 soak (part 2)"}));
        f.engine->stop();
        QCOMPARE(saved.value(2), QStringLiteral("3 soak (part 3)"));
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("select RecNo, count(*), min(SeqNo), max(SeqNo) from "
                                      "datadetail group by RecNo order by RecNo")));
        qint64 next = 0;
        int rows = 0;
        while (q.next()) {
            QCOMPARE(q.value(2).toLongLong(), next);
            next = q.value(3).toLongLong() + 1;
            rows += q.value(1).toInt();
        }
        QCOMPARE(rows, 2 * 3600 + 10);
        QCOMPARE(f.store->records().at(2).comment, QStringLiteral("soak (part 1)"));
        // No hours, no parts.
        parts.setHours(0);
        f.start(RecordingEngine::kContinuous);
        f.run(3700);
        f.engine->stop();
        QCOMPARE(saved.size(), 3);
    }
};

TRQ_TEST_MAIN(TestRecordingEngine)
#include "tst_recordingengine.moc"
