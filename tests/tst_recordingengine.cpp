#include "session/graphseries.h"
#include "session/partsaver.h"
#include "session/recordingengine.h"
#include "storage/database.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
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

struct EngineFixture {
    Database data;
    std::unique_ptr<RecordStore> store;
    ScriptedPrompter prompter;
    ManualRecordingClock clock;
    FakeView view;
    bool onLine = true;
    bool output = true;
    std::vector<std::array<QString, 2>> readings; // per channel: volt, curr
    quint64 replies = 0;                          // measured replies so far
    bool silent = false;                          // no reply arrives any more
    std::unique_ptr<RecordingEngine> engine;

    explicit EngineFixture(int channels) : readings(std::size_t(channels)) {
        static int n = 0;
        const QString folder = QDir::current().absoluteFilePath(QStringLiteral("rec%1").arg(++n));
        QDir().mkpath(folder);
        Database::create(folder + QStringLiteral("/mtype.mdb"));
        data.open(folder);
        store = std::make_unique<RecordStore>(data.database());
        for (auto& r : readings)
            r = {QStringLiteral("1.000"), QStringLiteral("0.100")};
        engine = std::make_unique<RecordingEngine>(
            *store, prompter,
            RecordingEngine::Source{
                [this] { return onLine; },
                [this] { return output; },
                [this](int c, bool volt) { return readings[std::size_t(c)][volt ? 0 : 1]; },
                [this] { return replies; },
                {}},
            channels, &clock);
        engine->addView(&view);
    }
    // Point i as the working table holds it.
    SampleRow point(int i) { return store->workingRows().value(i); }
    // One tick a second, with the readings the step gives.
    void run(int ticks, const std::function<void(int)>& step = {}) {
        for (int i = 0; i < ticks && engine->timer().isActive(); ++i) {
            if (step)
                step(i);
            if (!silent)
                ++replies;
            engine->tick();
            clock.advance(1000);
        }
    }
};

} // namespace

class TestRecordingEngine : public QObject {
    Q_OBJECT
private slots:
    // Each scale folds its own number of seconds into a point, and the graph
    // spaces its points by the same number.
    void everyScaleMakesOnePointPerItsLength_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("seconds");
        const int seconds[] = {1, 2, 5, 10, 30, 60, 300, 600, 1800, 3600};
        for (int i = 0; i < 10; ++i)
            QTest::addRow("scale %d", i) << i << seconds[i];
    }
    void everyScaleMakesOnePointPerItsLength() {
        QFETCH(int, scale);
        QFETCH(int, seconds);
        EngineFixture f(1);
        f.engine->arm(3 * seconds, scale, int(PointOperation::Maximum));
        QVERIFY(f.engine->start());
        f.run(2 * seconds);
        QCOMPARE(f.engine->pointCount(), 2);
        QCOMPARE(f.point(1).diffLastTime, seconds);
        QCOMPARE(GraphSeries::secondsPerPoint(scale), seconds);
    }

    // A second in which no reading arrived (a silent or lost link) records
    // nothing; points resume with the readings.
    void silentSecondsRecordNothing() {
        EngineFixture f(1);
        f.engine->arm(60, 0, 0);
        QVERIFY(f.engine->start());
        f.run(3);
        f.silent = true;
        f.run(5);
        QCOMPARE(f.engine->pointCount(), 3);
        f.silent = false;
        f.run(1);
        QCOMPARE(f.engine->pointCount(), 4);
        QCOMPARE(f.point(3).diffLastTime, 6); // the silence, not filled in
        // A five-second point is made of the readings that did arrive.
        EngineFixture g(1);
        g.engine->arm(60, 2, int(PointOperation::Minimum));
        QVERIFY(g.engine->start());
        g.run(5, [&](int i) {
            g.silent = i < 2;
            g.readings[0][0] = QString::number(9 - i);
        });
        QCOMPARE(g.engine->pointCount(), 1);
        QCOMPARE(g.point(0).volt[0], QStringLiteral("5")); // of 7, 6, 5 only
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
        f.engine->arm(10, 0, 0);
        QVERIFY(f.engine->start());
        f.run(10);
        QVERIFY(!f.engine->timer().isActive());
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().contains(QLatin1String("mtype.mdb")));
        QVERIFY(f.prompter.texts.first().contains(QLatin1String("database or disk is full")));
        QCOMPARE(f.engine->pointCount(), 2);
        QCOMPARE(f.view.points, 2);
        QCOMPARE(f.store->workingCount().value_or(-1), 2);
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(1));
    }

    // Read-only, nothing is recorded, and the start says why.
    void readOnlyDatabaseRefusesToRecord() {
        EngineFixture f(1);
        QVERIFY(f.data.open(QFileInfo(f.store->fileName()).absolutePath(),
                            Database::Access::ReadOnly) == Database::OpenResult::Ok);
        RecordStore store(f.data.database());
        RecordingEngine engine(
            store, f.prompter,
            {[] { return 3; }, [] { return true; }, [](int, bool) { return QString(); }, {}, {}}, 1,
            &f.clock);
        engine.arm(5, 0, 0);
        QVERIFY(!engine.start());
        QVERIFY(f.prompter.texts.last().contains(QLatin1String("read-only")));
    }

    void oneSecondScaleWritesEveryTick() {
        EngineFixture f(1);
        f.engine->arm(10, 0, 0);
        QVERIFY(f.engine->start());
        f.run(100);
        QCOMPARE(f.engine->pointCount(), 11);
        QCOMPARE(f.engine->remainingTicks(), -1);
        QVERIFY(!f.engine->timer().isActive());
        const QList<SampleRow> rows = f.store->workingRows();
        QCOMPARE(rows.size(), 11);
        QCOMPARE(rows.first().timeTick, 0);
        QCOMPARE(rows.first().diffLastTime, 0);
        QCOMPARE(rows.first().recTime, QStringLiteral("2026/12/06 10:00:00"));
        QCOMPARE(rows.last().timeTick, 10);
        QCOMPARE(rows.last().volt[1], QStringLiteral("0")); // one channel: the others "0"
        QCOMPARE(f.view.points, 11);
        // The end box: planned at start, then the last point's time.
        QCOMPARE(f.view.plannedEnd, f.view.start.addSecs(10));
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(10));
        QCOMPARE(f.point(10).recTime, QStringLiteral("2026/12/06 10:00:10"));
        QCOMPARE(f.engine->pointCount(), 11);
        QCOMPARE(f.engine->valueBox(0, true), QStringLiteral("1.000"));
    }

    void averageOfAFiveSecondWindow() {
        EngineFixture f(3);
        f.engine->arm(9, 2, int(PointOperation::Average));
        QVERIFY(f.engine->start());
        QList<int> windowTicks;
        f.run(5, [&](int i) {
            f.readings[0][0] = QString::number(i + 1); // 1..5
            f.readings[2][1] = QStringLiteral("0.5");
            windowTicks << f.engine->windowTick();
        });
        QCOMPARE(windowTicks, (QList<int>{0, 1, 2, 3, 4}));
        QCOMPARE(f.engine->pointCount(), 1);
        QCOMPARE(f.point(0).volt[0], QStringLiteral("3.00"));
        QCOMPARE(f.point(0).curr[2], QStringLiteral("0.50"));
        QCOMPARE(f.engine->valueBox(0, true), QStringLiteral("0")); // reset for the next window
    }

    void minimumStartsEachWindowAfresh() {
        EngineFixture f(1);
        f.engine->arm(9, 1, int(PointOperation::Minimum));
        QVERIFY(f.engine->start());
        const QStringList volts{"5.1", "4.9", "6.0", "6.5"};
        f.run(4, [&](int i) { f.readings[0][0] = volts.at(i); });
        QCOMPARE(f.point(0).volt[0], QStringLiteral("4.9"));
        QCOMPARE(f.point(1).volt[0], QStringLiteral("6.0"));
    }

    void maximumAndNonNumericReadings() {
        EngineFixture f(1);
        f.engine->arm(9, 1, int(PointOperation::Maximum));
        QVERIFY(f.engine->start());
        const QStringList volts{"2.5", "junk", "", "1.0"};
        f.run(4, [&](int i) { f.readings[0][0] = volts.at(i); });
        QCOMPARE(f.point(0).volt[0], QStringLiteral("2.5"));
        QCOMPARE(f.point(1).volt[0], QStringLiteral("1.0"));
    }

    void longScalesFoldTheirFullLength() {
        EngineFixture f(1);
        f.engine->arm(1200, 7, 0); // "10 mins"
        QVERIFY(f.engine->start());
        f.run(599);
        QCOMPARE(f.engine->pointCount(), 0);
        f.run(1);
        QCOMPARE(f.engine->pointCount(), 1);
        QCOMPARE(f.point(0).recTime, QStringLiteral("2026/12/06 10:00:00"));
        f.run(600);
        QCOMPARE(f.point(1).timeTick, 600);
    }

    void stopAndStartRecordsTheRemainingTicks() {
        EngineFixture f(1);
        f.engine->arm(9, 0, 0); // ten ticks
        QVERIFY(f.engine->start());
        f.run(3);
        f.engine->stop();
        QCOMPARE(f.engine->remainingTicks(), 6);             // seven ticks to go
        QCOMPARE(f.view.stoppedAt, f.view.start.addSecs(2)); // the last point written
        QVERIFY(f.engine->start());
        QCOMPARE(f.store->workingCount(), 0); // the earlier rows were cleared
        f.run(100);
        QCOMPARE(f.engine->pointCount(), 7);
    }

    // Continuous: no planned end, never runs out, ends only when stopped.
    void continuousRunsUntilStopped() {
        EngineFixture f(1);
        f.engine->arm(RecordingEngine::kContinuous, 0, 0);
        QVERIFY(f.engine->start());
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
        PartSaver parts(*f.store, *f.engine);
        parts.setHours(1);
        parts.setDescription(QStringLiteral("soak"));
        f.engine->addView(&parts);
        QStringList saved;
        connect(&parts, &PartSaver::partSaved, this,
                [&](const QString& n, const QString& d) { saved << n + QLatin1Char(' ') + d; });
        f.engine->arm(RecordingEngine::kContinuous, 0, 0);
        QVERIFY(f.engine->start());
        f.run(2 * 3600 + 10);
        QCOMPARE(saved, (QStringList{"1 soak (part 1)", "2 soak (part 2)"}));
        f.engine->stop();
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved.last(), QStringLiteral("3 soak (part 3)"));
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
        f.engine->arm(RecordingEngine::kContinuous, 0, 0);
        QVERIFY(f.engine->start());
        f.run(3700);
        f.engine->stop();
        QCOMPARE(saved.size(), 3);
    }

    void startIsRefusedOffLineOrWithTheOutputOff() {
        EngineFixture f(1);
        f.engine->arm(5, 0, 0);
        f.store->appendSample({});
        f.onLine = false;
        QVERIFY(!f.engine->start());
        QCOMPARE(f.store->workingCount().value_or(-1), 1); // a refused start clears nothing
        f.onLine = true;
        f.output = false;
        QVERIFY(!f.engine->start());
        QCOMPARE(f.prompter.texts,
                 (QStringList{"Please check connection with device and then try again!",
                              "Please setup Device into Auto Run mode and then try again!"}));
        QVERIFY(!f.engine->timer().isActive());
    }

    void crossingMidnightKeepsTimeMovingForward() {
        EngineFixture f(1);
        f.clock.wall = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58));
        f.engine->arm(4, 0, 0);
        QVERIFY(f.engine->start());
        f.run(5);
        const QList<SampleRow> rows = f.store->workingRows();
        QCOMPARE(rows.size(), 5);
        for (int i = 1; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).diffLastTime, 1);
            QVERIFY(rows.at(i).recTime > rows.at(i - 1).recTime);
        }
        QCOMPARE(rows.last().recTime, QStringLiteral("2026/12/07 00:00:02"));
    }

    void fourChannelsAreAllRecorded() {
        EngineFixture f(4);
        f.readings[3] = {QStringLiteral("4.444"), QStringLiteral("0.444")};
        for (int scale : {0, 1}) {
            f.engine->arm(3, scale, 0);
            QVERIFY(f.engine->start());
            f.run(10);
            const QList<SampleRow> rows = f.store->workingRows();
            QVERIFY(!rows.isEmpty());
            QCOMPARE(rows.first().volt[3], QStringLiteral("4.444"));
            QCOMPARE(rows.first().curr[3], QStringLiteral("0.444"));
            QCOMPARE(f.store->extremes(4).maxVolt, std::optional<double>(4.444));
        }
        // Three channels leave channel 4 empty.
        EngineFixture three(3);
        three.engine->arm(1, 0, 0);
        QVERIFY(three.engine->start());
        three.run(5);
        QVERIFY(!three.store->extremes(4).maxVolt);
    }
};

TRQ_TEST_MAIN(TestRecordingEngine)
#include "tst_recordingengine.moc"
