// GPIB through the NI-488.2 loading code, against a fake driver library that
// serves a simulated supply.
#include "link/ni488.h"
#include "link/taskscheduler.h"
#include "support/testsupport.h"

#include <QLibrary>

using namespace trq;
using namespace trq::test;

namespace {

struct FakeDriver {
    QLibrary lib{QStringLiteral(FAKEGPIB_PATH)};
    void (*setup)(const char*, int) = nullptr;
    void (*failReads)(int) = nullptr;
    void (*chunked)(int) = nullptr;
    int (*overlaps)() = nullptr;
    int (*clears)() = nullptr;
    int (*writes)() = nullptr;

    template <typename F> bool resolve(F& f, const char* name) {
        return (f = reinterpret_cast<F>(lib.resolve(name)));
    }
    bool load() {
        return lib.load() && resolve(setup, "fakegpib_setup") &&
               resolve(failReads, "fakegpib_fail_reads") && resolve(chunked, "fakegpib_chunked") &&
               resolve(overlaps, "fakegpib_overlaps") && resolve(clears, "fakegpib_clears") &&
               resolve(writes, "fakegpib_writes");
    }
};

struct GpibFixture : LinkFixture {
    FakeDriver driver;
    Ni488GpibBoard* board = new Ni488GpibBoard({QStringLiteral(FAKEGPIB_PATH)});
    Target target;

    GpibFixture() {
        link.setGpibBoard(board);
        link.setTransport(Transport::Gpib);
        link.setTimeoutHandler(&target, target.timeoutHandler());
    }
    // Loads the fake driver with a simulated model at `pad` and opens the
    // board on `address`.
    bool start(const char* model, int pad, int address) {
        if (!driver.load())
            return false;
        driver.setup(model, pad);
        return board->configure(0, address);
    }
    // Ticks, letting the driver's worker thread answer, until done() holds.
    bool tickUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000; ++i) {
            if (done())
                return true;
            tick();
            QTest::qWait(1);
        }
        return done();
    }
};

} // namespace

class TestGpib : public QObject {
    Q_OBJECT
private slots:
    void missingDriverGivesAClearMessage() {
        Ni488GpibBoard board({QStringLiteral("/nonexistent/libgpib.so.0")});
        QVERIFY(!board.configure(0, 1));
        QVERIFY(board.errorString().contains(QStringLiteral("could not be loaded")));
        QVERIFY(board.errorString().contains(QStringLiteral("linux-gpib")));
        // Used anyway, it fails through the error event, not a crash.
        QSignalSpy errors(&board, &GpibBoard::error);
        board.writeAsync("*IDN?");
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), Ni488Library::ENEB);
    }

    void libraryWithoutTheEntryPointsIsRefused() {
        Ni488Library lib;
        QVERIFY(!lib.load({QStringLiteral("libm.so.6")}));
        QVERIFY(lib.errorString().contains(QStringLiteral("lacks the NI-488.2 entry points")));
        QVERIFY(!lib.isLoaded());
    }

    void queriesAndCommandsRoundTrip() {
        GpibFixture f;
        QVERIFY(f.start("PSQ-3323", 5, 5));
        Target identity;
        for (int i = 1; i <= 10; ++i) {
            f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT %1").arg(i));
            f.link.enqueueQuery(QStringLiteral(":CHAN1:VOLT?"), &f.target, f.target.handler());
        }
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &identity, identity.handler());
        QVERIFY(f.tickUntil([&] { return !identity.replies.isEmpty(); }));
        QCOMPARE(identity.replies, QStringList{"ZQ,PSQ-3323,SN20260001,V1.10"});
        QCOMPARE(f.target.replies.size(), 10);
        QCOMPARE(f.target.replies.last(), QStringLiteral("10.000"));
        QCOMPARE(f.driver.overlaps(), 0);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void cancelledQueryStillConsumesItsReply() {
        GpibFixture f;
        QVERIFY(f.start("PSQ-3323", 5, 5));
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &f.target, f.target.handler());
        f.tick(2);
        QTRY_COMPARE(f.driver.writes(), 1);
        f.link.cancelQueuedQueries();
        TraceCapture trace;
        QVERIFY(f.tickUntil([&] { return f.link.pendingQueries() == 0; }));
        QVERIFY(trace.lines.contains(QStringLiteral("query paired but cancelled")));
        QVERIFY(!trace.lines.contains(QStringLiteral("Q x called")));
        QVERIFY(f.target.replies.isEmpty());
        // The next query is paired with its own answer, not the cancelled one.
        f.link.enqueueQuery(QStringLiteral(":OUTP:STAT?"), &f.target, f.target.handler());
        QVERIFY(f.tickUntil([&] { return !f.target.replies.isEmpty(); }));
        QCOMPARE(f.target.replies, QStringList{"0"});
        QCOMPARE(f.driver.overlaps(), 0);
    }

    void replyReadInPiecesIsWhole() {
        GpibFixture f;
        QVERIFY(f.start("TRQ-7206S", 3, 3));
        f.driver.chunked(1);
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &f.target, f.target.handler());
        QVERIFY(f.tickUntil([&] { return !f.target.replies.isEmpty(); }));
        QCOMPARE(f.target.replies, QStringList{"ZQ,TRQ-7206S,SN20260001,V1.10"});
    }

    void driverErrors_data() {
        columns<int, int, QString>("failReadsWith", "address", "message");
        QTest::newRow("read times out") << Ni488Library::EABO << 5 << QStringLiteral("6");
        QTest::newRow("no listener") << -1 << 9 << QStringLiteral("2");
    }
    void driverErrors() {
        auto [failReadsWith, address, message] =
            fetch<int, int, QString>("failReadsWith", "address", "message");
        GpibFixture f;
        QVERIFY(f.start("PSQ-3323", 5, address));
        f.driver.failReads(failReadsWith);
        for (int i = 0; i < 3; ++i)
            f.link.enqueueQuery(QStringLiteral("*IDN?"), &f.target, f.target.handler());
        QVERIFY(f.tickUntil([&] { return f.target.timeouts > 0; }));
        QCOMPARE(f.prompter.texts, QStringList{message});
        QCOMPARE(f.link.pendingQueries(), 0);
        QVERIFY(!f.link.queryInFlight());
        QCOMPARE(f.link.opMode(), OpMode::Idle);
        QVERIFY(f.target.replies.isEmpty());
        QTRY_VERIFY(f.driver.clears() > 0); // the reset cleared the device
    }
};

TRQ_TEST_MAIN(TestGpib)
#include "tst_gpib.moc"
