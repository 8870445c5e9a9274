// A lost link opened again by itself: a pseudo-terminal that goes away in
// the middle of a recording and comes back under the same name (a symbolic
// link re-pointed to a new terminal), a different supply in its place, and
// one that never comes back. Recording time runs ten times faster than the
// wall clock, so thirty recorded seconds pass in three.
#include "sim/ptyserver.h"
#include "support/sessionfixture.h"

#include <QElapsedTimer>
#include <QFile>

using namespace trq;
using namespace trq::test;

namespace {

constexpr int kSpeed = 10;

class FastRecordingClock final : public RecordingClock {
public:
    FastRecordingClock() { timer_.start(); }
    QDateTime now() const override { return start_.addMSecs(monotonicMsec()); }
    qint64 monotonicMsec() const override { return timer_.elapsed() * kSpeed; }

private:
    QElapsedTimer timer_;
    QDateTime start_ = QDateTime(QDate(2026, 12, 6), QTime(10, 0));
};

// A supply served on a pseudo-terminal reached through a symbolic link, as
// a USB adapter keeps its name when it is plugged in again.
struct Bench {
    QString link;
    std::shared_ptr<sim::Supply> supply;
    std::unique_ptr<sim::PtyServer> pty;

    explicit Bench(const QString& name) : link(QDir::current().absoluteFilePath(name)) {}
    bool plugIn(std::shared_ptr<sim::Supply> s) {
        supply = std::move(s);
        pty = std::make_unique<sim::PtyServer>(
            [this](const QByteArray& b) { return supply->receive(b); });
        QFile::remove(link);
        return pty->open() && QFile::link(pty->slavePath(), link);
    }
    void unplug() {
        pty.reset();
        QFile::remove(link);
    }
};

struct RecordingClockOf {
    FastRecordingClock recordingClock;
};

struct ReconnectFixture : RecordingClockOf, SessionFixture {
    Bench bench;

    explicit ReconnectFixture(const char* name)
        : SessionFixture(&recordingClock), bench(QLatin1String(name)) {
        factory.makeSerial = systemPort;
        session->connection().setReconnect(true);
        session->connection().setReconnectDelays(
            {1000 / kSpeed, 2000 / kSpeed, 5000 / kSpeed, 10000 / kSpeed});
    }
    // On line over the link, recording with the output on.
    bool recording() {
        std::shared_ptr<sim::Supply> s = simulatedSupply(QStringLiteral("PSQ-3323"));
        s->channel(1).vset = 5;
        if (!bench.plugIn(s) || !session->connection().openSerial({bench.link, 9600}))
            return false;
        if (!QTest::qWaitFor([&] { return session->isReady() && initialValuesRead; }, 10000))
            return false;
        session->poll().timer().setInterval(10);
        session->control().setOutput(true);
        RecordingEngine& e = session->recording()->engine();
        e.arm(3600, 0, 0);
        e.timer().setInterval(1000 / kSpeed);
        return e.start() && QTest::qWaitFor([&] { return e.pointCount() >= 5; }, 10000);
    }
    // Pulls the adapter; the readings taken before are recorded meanwhile.
    bool lose() {
        bench.unplug();
        const bool lost = QTest::qWaitFor(
            [&] { return session->connection().state() == ConnectionState::Reconnecting; }, 5000);
        QTest::qWait(3000 / kSpeed);
        return lost;
    }
};

} // namespace

class TestReconnect : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // The adapter comes back: the same supply goes on with the recording,
    // another in its place is refused and what was recorded stays. One that
    // was power-cycled (its output off now) is told of, and the recording
    // goes on with a gap until the output is on again. A link that never
    // comes back is tried again and again, ever less often, without a box;
    // what was recorded stays when the user gives up.
    void comesBack_data() {
        // downSeconds: in recorded seconds; no model: never back
        columns<int, QString, int, bool, bool, bool>("downSeconds", "model", "serialNumber", "same",
                                                     "outputOn", "fast");
        // 1, 2 and 5 s, then every 10 s: four attempts in 18 to 28 s.
        QTest::newRow("never") << 20 << "" << 0 << false << false << false;
        QTest::newRow("same supply after 3 s")
            << 3 << "PSQ-3323" << 20260001 << true << true << false;
        QTest::newRow("same supply after 3 s, polling fast")
            << 3 << "PSQ-3323" << 20260001 << true << true << true;
        QTest::newRow("never, polling fast") << 20 << "" << 0 << false << false << true;
        QTest::newRow("same supply after 30 s")
            << 30 << "PSQ-3323" << 20260001 << true << true << false;
        QTest::newRow("power-cycled, output off")
            << 3 << "PSQ-3323" << 20260001 << true << false << false;
        QTest::newRow("another model") << 3 << "TRQ-3302" << 20260001 << false << true << false;
        QTest::newRow("another unit of the model")
            << 3 << "PSQ-3323" << 20269999 << false << true << false;
    }
    void comesBack() {
        auto [downSeconds, model, serialNumber, same, outputOn, fast] =
            fetch<int, QString, int, bool, bool, bool>("downSeconds", "model", "serialNumber",
                                                       "same", "outputOn", "fast");
        ReconnectFixture f("adapter");
        f.session->poll().setMode(fast ? PollMode::Fast : PollMode::Specified);
        QSignalSpy told(f.session.get(), &InstrumentSession::cameBackWithOutputOff);
        QVERIFY(f.recording());
        RecordingEngine& engine = f.session->recording()->engine();
        QVERIFY(f.lose());
        const int before = engine.pointCount();
        const int stored = f.store->workingCount().value_or(-1);
        const double cpu = cpuSeconds();
        QTest::qWait(downSeconds * 1000 / kSpeed);
        const double busy = cpuSeconds() - cpu;
        QCOMPARE(engine.pointCount(), before); // nothing invented meanwhile
        QVERIFY2(busy < 0.5 * downSeconds / kSpeed + 0.2, qPrintable(QString::number(busy)));
        if (model.isEmpty()) {
            QCOMPARE(f.session->connection().reconnectAttempts(), 4);
            QCOMPARE(f.prompter.texts, QStringList());
            f.session->reset();
            QCOMPARE(f.store->workingCount().value_or(-1), stored);
            return;
        }
        // As the supply was: output on, its settings kept.
        std::shared_ptr<sim::Supply> back = simulatedSupply(model);
        back->serialNumber = serialNumber;
        back->output = outputOn;
        back->channel(1).vset = 5;
        QVERIFY(f.bench.plugIn(back));
        if (!same) {
            QTRY_COMPARE_WITH_TIMEOUT(f.session->connection().state(), ConnectionState::OffLine,
                                      20000);
            QCOMPARE(f.prompter.texts.size(), 1);
            QVERIFY2(f.prompter.texts.first().contains(QStringLiteral("another supply")),
                     qPrintable(f.prompter.texts.first()));
            QCOMPARE(f.store->workingCount().value_or(-1), stored);
            QCOMPARE(back->received, std::vector<QString>{QStringLiteral("*IDN?")});
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.session->isReady(), 20000);
        if (!outputOn) {
            // Said once; still recording, but nothing is measured, nothing recorded.
            QTRY_COMPARE(told.size(), 1);
            QVERIFY(!f.session->supply().outputOn());
            QVERIFY(engine.isRecording());
            QTest::qWait(3000 / kSpeed);
            QCOMPARE(engine.pointCount(), before);
            f.session->control().setOutput(true); // by hand
        }
        QCOMPARE(told.size(), outputOn ? 0 : 1);
        QTRY_VERIFY(engine.pointCount() >= before + 3);
        QVERIFY(engine.isRecording());
        QCOMPARE(f.prompter.texts.join('|'), QString());
        // Identified and read back; nothing was set on it but by hand.
        const QStringList sent(back->received.begin(), back->received.end());
        QCOMPARE(sent.value(0), QStringLiteral("*IDN?"));
        QCOMPARE(commandsOnly(sent),
                 outputOn ? QStringList() : QStringList{QStringLiteral(":OUTP:STAT 1")});
        QVERIFY(f.session->supply().outputOn());
        // The points after the gap say so, and the missing seconds are not filled.
        const QList<SampleRow> rows = f.store->workingRows();
        const auto gap =
            std::find_if(rows.begin(), rows.end(), [](const SampleRow& r) { return r.gap; });
        QVERIFY(gap != rows.end());
        QVERIFY2(gap->diffLastTime >= downSeconds, qPrintable(QString::number(gap->diffLastTime)));
        // A gap is always time missing: never on a point a second after the
        // one before (a loaded machine may starve the timer into more gaps).
        QVERIFY(std::none_of(rows.begin(), rows.end(),
                             [](const SampleRow& r) { return r.gap && r.diffLastTime <= 1; }));
        // No point holds a value that was not measured.
        for (const SampleRow& r : rows)
            for (std::size_t c = 0; c < 3; ++c)
                QVERIFY(!r.volt[c].isEmpty() && !r.curr[c].isEmpty());
    }

    // A supply that stays silent while its port stays open is lost after
    // exactly the set number of unanswered queries, without a box.
    void aSilentSupplyIsLostAfterItsQueries() {
        SessionFixture f;
        f.session->connection().setReconnect(true);
        f.session->connection().setReconnectDelays({600000});
        bool silent = false;
        int unanswered = 0;
        f.factory.rewrite = [&](const QByteArray&, const QByteArray& reply) {
            if (!silent)
                return reply;
            if (f.session->isReady())
                ++unanswered;
            return QByteArray();
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->poll().timer().setInterval(5);
        f.session->control().setOutput(true);
        QTRY_VERIFY(f.session->supply().allMeasured());
        silent = true;
        QTRY_COMPARE(f.session->connection().state(), ConnectionState::Reconnecting);
        QCOMPARE(unanswered, TaskScheduler::kSilentQueriesLost);
        QCOMPARE(f.prompter.texts, QStringList());
    }

    // Without "Reconnect automatically" a lost link ends the session as an
    // operation timeout does: with its message, off line, nothing recorded.
    void offByDefault() {
        SessionFixture f;
        QVERIFY(!f.session->connection().reconnects());
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QSignalSpy states(f.session.get(), &InstrumentSession::stateChanged);
        f.factory.lastSerial->unplug();
        QTRY_COMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QCOMPARE(f.prompter.texts, QStringList{"Operation Timeout, Causes Reset Now."});
        QCOMPARE(states.size(), 1);
        QVERIFY(!f.session->recording());
        QCOMPARE(f.session->supply().channelCount(), 0);
    }
};

TRQ_TEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
