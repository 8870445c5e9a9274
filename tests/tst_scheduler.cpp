#include "link/simtransport.h"
#include "link/taskscheduler.h"
#include "sim/supply.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QPushButton>

using namespace trq;
using namespace trq::test;

namespace {

// A board that starts operations and never completes them.
class SilentBoard final : public GpibBoard {
public:
    bool configure(int, int) override { return true; }
    void writeAsync(const QByteArray& bytes) override { written << bytes; }
    void readAsync() override { ++reads; }
    void reset() override {}
    QString errorString() const override { return {}; }
    QList<QByteArray> written;
    int reads = 0;
};

std::shared_ptr<sim::Supply> supply(const char* model = "PSQ-3323") {
    return simulatedSupply(QString::fromLatin1(model));
}

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT

    struct GpibFixture : LinkFixture {
        std::shared_ptr<sim::Supply> supply_ = supply();
        GpibFixture() {
            link.setGpibBoard(simulatedBoard(supply_));
            link.setTransport(Transport::Gpib);
        }
        sim::Supply& instrument() { return *supply_; }
        // Ticks until both queues are empty and nothing is outstanding.
        void drain(int maxTicks = 2000) {
            for (int i = 0; i < maxTicks; ++i) {
                if (link.pendingQueries() == 0 && link.pendingCommands() == 0 &&
                    !link.queryInFlight() && link.opMode() == OpMode::Idle)
                    return;
                tick();
            }
            QFAIL("link did not drain");
        }
    };

    struct SerialFixture : LinkFixture {
        std::shared_ptr<sim::Supply> supply_;
        SimSerialPort* port;
        explicit SerialFixture(const char* model = "PSQ-3323")
            : supply_(supply(model)), port(new SimSerialPort(instrumentOf(supply_))) {
            port->open();
            link.setSerialPort(port);
            link.setTransport(Transport::Serial);
            link.setSerialTerminator(sim::lineEnd(supply_->family()));
        }
        sim::Supply& instrument() { return *supply_; }
    };

private slots:

    void queueAccepts99Pending_data() {
        QTest::addColumn<bool>("commands");
        QTest::newRow("queries") << false;
        QTest::newRow("commands") << true;
    }
    void queueAccepts99Pending() {
        QFETCH(bool, commands);
        LinkFixture f;
        f.link.setTransport(Transport::Gpib);
        auto add = [&](const QString& text) {
            if (!commands)
                return f.link.enqueueQuery(text, nullptr, {});
            const int before = f.link.pendingCommands();
            f.link.enqueueCommand(text);
            return f.link.pendingCommands() > before;
        };
        for (int i = 1; i <= 98; ++i)
            QVERIFY(add(QString::number(i)));
        QVERIFY(add(QStringLiteral("99th")));
        TraceCapture trace;
        QVERIFY(!add(QStringLiteral("100th")));
        QCOMPARE(commands ? f.link.pendingCommands() : f.link.pendingQueries(), 99);
        QVERIFY(trace.lines.contains(commands
                                         ? QStringLiteral("C overflowed, just dropped it:100th")
                                         : QStringLiteral("Q overflowed, just dropped:100th")));
        if (!commands)
            QCOMPARE(trace.lines.first(), QStringLiteral("ExecQueryTask:99"));
    }

    void blockedLinkRefusesSilently_data() {
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<bool>("reject");
        QTest::newRow("no transport") << Transport::None << false;
        QTest::newRow("rejecting") << Transport::Serial << true;
    }
    void blockedLinkRefusesSilently() {
        QFETCH(Transport, transport);
        QFETCH(bool, reject);
        LinkFixture f;
        f.link.setTransport(transport);
        f.link.setRejectsTasks(reject);
        TraceCapture trace;
        QVERIFY(!f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {}));
        f.link.enqueueCommand(QStringLiteral("OUT1"));
        QCOMPARE(f.link.pendingQueries() + f.link.pendingCommands(), 0);
        QCOMPARE(trace.lines, QStringList{"ExecQueryTask:0"});
    }

    void indicesWrapAndCountsStayRight() {
        GpibFixture f;
        int enqueued = 0;
        // Keep the ring partly full while going round it once and a bit.
        while (enqueued < 203) {
            while (f.link.pendingCommands() < 40 && enqueued < 203) {
                f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT 1"));
                ++enqueued;
            }
            f.tick();
        }
        while (f.link.commandRemoveIndex() != 198)
            f.tick();
        QCOMPARE(f.link.commandInsertIndex(), 3);
        QCOMPARE(f.link.pendingCommands(), 5);
        f.drain();
        QCOMPARE(f.link.commandRemoveIndex(), 3);
        QCOMPARE(f.link.pendingCommands(), 0);
        QCOMPARE(int(f.instrument().received.size()), 203);
    }

    void gpibQueryIsWrittenOnTheNextTickAndDelivered() {
        GpibFixture f;
        f.instrument().output = true;
        f.instrument().channel(1).vset = 5;
        Target target;
        TraceCapture trace;
        QVERIFY(
            f.link.enqueueQuery(QStringLiteral(":CHAN1:MEAS:VOLT?"), &target, target.handler()));
        f.tick();
        QVERIFY(f.instrument().received.empty()); // reached the head, not written yet
        QCOMPARE(f.link.queuedQuery(0).state, TaskState::WaitWrite);
        f.tick();
        QCOMPARE(f.instrument().received.back(), QStringLiteral(":CHAN1:MEAS:VOLT?"));
        f.drain();
        QCOMPARE(target.replies, QStringList{"5.000"});
        QCOMPARE(trace.lines.mid(0, 8),
                 (QStringList{"ExecQueryTask:0", "ExecQueryTask :CHAN1:MEAS:VOLT?", "C+", "C-",
                              "Q setup", trace.lines.at(5), "C+", "C-"}));
        QVERIFY(trace.lines.at(5).startsWith(QStringLiteral("Q-")));
        const QStringList written = trace.since(QStringLiteral("Q waitwrite"));
        QCOMPARE(written.mid(0, 3), (QStringList{"Q waitwrite", "opmode = 1", "Q waitrsp"}));
        QVERIFY(written.contains(QStringLiteral("GPIB WriteComplete")));
        QVERIFY(written.contains(QStringLiteral("GPIB ReadAsync")));
        QVERIFY(written.contains(QStringLiteral("GPIB DataRead")));
        const QStringList paired = trace.since(QStringLiteral("RspPop '5.000'"));
        QCOMPARE(paired.mid(0, 6),
                 (QStringList{"RspPop '5.000'", "query paired:':CHAN1:MEAS:VOLT?' '5.000'",
                              "Q waitcall", "Q x called", "Q finished", paired.value(5)}));
        QVERIFY(paired.value(5).startsWith(QStringLiteral("Q-")));
    }

    void gpibQueryWaitsWhileACommandWriteIsOutstanding() {
        LinkFixture f;
        auto* board = new SilentBoard;
        f.link.setGpibBoard(board);
        f.link.setTransport(Transport::Gpib);
        f.link.enqueueCommand(QStringLiteral("OUT1"));
        f.link.enqueueQuery(QStringLiteral("STATUS?"), nullptr, {});
        TraceCapture trace;
        f.tick(2);
        QCOMPARE(board->written, QList<QByteArray>{"OUT1"});
        QCOMPARE(f.link.opMode(), OpMode::Writing);
        QCOMPARE(trace.since(QStringLiteral("Q waitwrite")).mid(0, 3),
                 (QStringList{"Q waitwrite", "OpMode 1", "QueryWaitWriteErrorWait"}));
        QCOMPARE(f.link.consumerBusy(), 0);
        emit board->writeComplete(); // a command: no read is started
        QCOMPARE(f.link.opMode(), OpMode::Idle);
        QCOMPARE(board->reads, 0);
        f.tick();
        QCOMPARE(board->written.size(), 2);
        emit board->writeComplete(); // the query: its reply is read
        QCOMPARE(board->reads, 1);
        QCOMPARE(f.link.opMode(), OpMode::Reading);
    }

    void secondCommandWaitsForTheFirstWrite() {
        LinkFixture f;
        auto* board = new SilentBoard;
        f.link.setGpibBoard(board);
        f.link.setTransport(Transport::Gpib);
        f.link.enqueueCommand(QStringLiteral("OUT1"));
        f.link.enqueueCommand(QStringLiteral("OUT0"));
        f.tick();
        TraceCapture trace;
        f.link.consume();
        QCOMPARE(trace.lines.mid(0, 6), (QStringList{"C+", "C Setup", "C setup", "C OpMode 1", "C-",
                                                     "CmdWaitWriteErrorWait"}));
        QCOMPARE(board->written, QList<QByteArray>{"OUT1"});
        QCOMPARE(f.link.consumerBusy(), 0);
    }

    void errorEventRunsTheTimeoutProcedureAndResets() {
        GpibFixture f;
        Target target;
        f.link.setTimeoutHandler(&target, target.timeoutHandler());
        f.link.enqueueQuery(QStringLiteral("NOSUCH?"), &target, target.handler());
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &target, target.handler());
        for (int i = 0; i < 50 && target.timeouts == 0; ++i)
            f.tick();
        QCOMPARE(f.prompter.texts, QStringList{QString::number(SimGpibBoard::kEABO)});
        QCOMPARE(target.timeouts, 1);
        QCOMPARE(f.link.pendingQueries(), 0);
        QVERIFY(!f.link.queryInFlight());
        QCOMPARE(f.link.opMode(), OpMode::Idle);
        QVERIFY(target.replies.isEmpty());
        // The registration is gone with the reset.
        f.link.timeOut();
        QCOMPARE(target.timeouts, 1);
    }

    void watchdog_data() {
        QTest::addColumn<int>("outstandingMsec");
        QTest::addColumn<bool>("timesOut");
        QTest::newRow("19.9 s") << 19900 << false;
        QTest::newRow("exactly 20 s") << 20000 << false;
        QTest::newRow("20.001 s") << 20001 << true;
        QTest::newRow("25 s") << 25000 << true;
    }
    void watchdog() {
        QFETCH(int, outstandingMsec);
        QFETCH(bool, timesOut);
        LinkFixture f;
        f.link.setGpibBoard(new SilentBoard);
        f.link.setTransport(Transport::Gpib);
        Target target;
        f.link.setTimeoutHandler(&target, target.timeoutHandler());
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &target, target.handler());
        f.tick(); // head reached; nothing outstanding yet: the reference time
        const qint64 reference = qint64(f.link.lastQuietSec() * 1000.0 + 0.5);
        f.clock.setMsec(reference + 50);
        f.link.writerTick(100); // written
        QVERIFY(f.link.queryInFlight());
        f.clock.setMsec(reference + outstandingMsec);
        f.link.writerTick(100);
        QCOMPARE(target.timeouts, timesOut ? 1 : 0);
        if (timesOut) {
            QCOMPARE(f.prompter.texts,
                     QStringList{QString::number(double(outstandingMsec) / 1000.0)});
            QVERIFY(!f.link.queryInFlight());
            QCOMPARE(f.link.pendingQueries(), 0);
            QCOMPARE(f.link.maxResponseTimeSec(), 0.0);
        } else {
            QVERIFY(f.prompter.texts.isEmpty());
            QCOMPARE(f.link.maxResponseTimeSec(), double(outstandingMsec) / 1000.0);
        }
    }

    void timeoutMessageIsShownOnceWhileTicksGoOn() {
        LinkFixture f;
        f.link.setGpibBoard(new SilentBoard);
        f.link.setTransport(Transport::Gpib);
        f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
        f.tick(2);
        // Ticks that run while the message box is up must not stack more boxes.
        f.prompter.onAsk = [&] {
            for (int i = 0; i < 3; ++i)
                f.tick();
        };
        f.clock.advanceMsec(30000);
        f.link.writerTick(100);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(!f.link.queryInFlight());
    }

    void pollCycleCheck_data() {
        QTest::addColumn<bool>("pollEnabled");
        QTest::addColumn<int>("maxMsec");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("reports");
        QTest::newRow("check off") << true << 0 << 100 << 0;
        QTest::newRow("within limit") << true << 500 << 5 << 0;
        QTest::newRow("over limit") << true << 500 << 6 << 1;
        QTest::newRow("over limit twice") << true << 500 << 12 << 2;
        QTest::newRow("poll timer stopped") << false << 500 << 100 << 0;
    }
    void pollCycleCheck() {
        QFETCH(bool, pollEnabled);
        QFETCH(int, maxMsec);
        QFETCH(int, ticks);
        QFETCH(int, reports);
        LinkFixture f;
        f.host.pollEnabled = pollEnabled;
        f.link.setPollCycleLength(7);
        f.link.setPollCycleLimitMsec(maxMsec);
        f.tick(ticks); // no query ever finishes
        QCOMPARE(f.host.reports.size(), reports);
        for (const auto& report : f.host.reports)
            QCOMPARE(report, qMakePair(QStringLiteral("Read Times Failed!"), 2000));
        if (!pollEnabled || maxMsec == 0)
            QCOMPARE(f.link.cycleSpentMsec(), 0);
    }

    void completedPollCycleStartsAgain() {
        SerialFixture f;
        f.host.pollEnabled = true;
        f.link.setPollCycleLength(2);
        f.link.setPollCycleLimitMsec(10000);
        f.link.enqueueQuery(QStringLiteral(":CHAN1:VOLT?"), nullptr, {});
        f.link.enqueueQuery(QStringLiteral(":CHAN2:VOLT?"), nullptr, {});
        f.tick();
        QCOMPARE(f.link.cycleQueries(), 1);
        QCOMPARE(f.link.cycleSpentMsec(), 100);
        f.tick(); // the second query completes the cycle on this tick
        QCOMPARE(f.link.cycleQueries(), 0);
        QCOMPARE(f.link.cycleSpentMsec(), 0);
    }

    void clearAllTasksDropsWhatWasNotWritten() {
        GpibFixture f;
        for (int i = 0; i < 10; ++i) {
            f.link.enqueueQuery(QStringLiteral(":CHAN1:VOLT?"), nullptr, {});
            f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT 1"));
        }
        bool refusedMeanwhile = false;
        f.link.setQuietWaiter([&] {
            refusedMeanwhile = !f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
            return true;
        });
        QVERIFY(f.link.drainAndClear());
        QVERIFY(refusedMeanwhile);
        QVERIFY(!f.link.rejectsTasks());
        QCOMPARE(f.link.pendingQueries(), 0);
        QCOMPARE(f.link.pendingCommands(), 0);
        QCOMPARE(f.link.queryInsertIndex(), 0);
        f.tick(5);
        QVERIFY(f.instrument().received.empty());
    }

    void waitDialogClosesWhenTheLinkIsQuiet() {
        GpibFixture f;
        f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT 1"));
        QVERIFY(f.link.drainAndClear()); // nothing outstanding: first check closes it
        QCOMPARE(f.link.pendingCommands(), 0);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // The quiet wait decides: the queues are emptied when it says so.
    void quietWaitDecidesWhetherTheQueuesGo() {
        GpibFixture f;
        f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
        f.link.setQuietWaiter([] { return false; });
        QVERIFY(!f.link.drainAndClear());
        QCOMPARE(f.link.pendingQueries(), 1);
        QVERIFY(!f.link.rejectsTasks());
    }

    void ackWaitHoldsTheQueuesUntilAcknowledged() {
        GpibFixture f;
        Target target;
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &target, target.handler(), true);
        f.link.enqueueQuery(QStringLiteral(":OUTP:STAT?"), &target, target.handler());
        f.tick(20);
        QCOMPARE(target.replies.size(), 1);
        QCOMPARE(int(f.instrument().received.size()), 1);
        f.link.acknowledge();
        f.drain();
        QCOMPARE(target.replies.size(), 2);
    }

    void deliveryToADestroyedTargetIsSkipped() {
        GpibFixture f;
        auto* target = new Target;
        f.link.enqueueQuery(QStringLiteral("*IDN?"), target, target->handler());
        f.tick(2);
        delete target;
        TraceCapture trace;
        f.drain();
        QVERIFY(trace.lines.contains(QStringLiteral("no target for *IDN?")));
    }

    void handlerThatTicksOrResetsDoesNotCorruptTheQueue() {
        GpibFixture f;
        Target target;
        int nested = 0;
        target.onReply = [&](const QString&) {
            ++nested;
            f.link.writerTick(100); // locked out
            if (nested == 2)
                f.link.clearQueues();
        };
        for (int i = 0; i < 4; ++i)
            f.link.enqueueQuery(QStringLiteral(":OUTP:STAT?"), &target, target.handler());
        f.drain();
        QCOMPARE(target.replies.size(), 2);
        QCOMPARE(f.link.pendingQueries(), 0);
        QCOMPARE(f.link.queryRemoveIndex(), f.link.queryInsertIndex());
        QCOMPARE(f.link.consumerBusy(), 0);
    }

    void serialQueryWaits_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<int>>("waits");
        QTest::newRow("identification") << QStringLiteral("*IDN?") << QList<int>{150, 50};
        QTest::newRow("other query") << QStringLiteral(":CHAN1:VOLT?") << QList<int>{50};
        QTest::newRow("no answer") << QStringLiteral("NOSUCH?") << QList<int>{50, 100};
    }
    void serialQueryWaits() {
        QFETCH(QString, query);
        QFETCH(QList<int>, waits);
        SerialFixture f;
        f.link.querySerial(query);
        QCOMPARE(f.waiter.waits, waits);
        QCOMPARE(f.link.opMode(), OpMode::Idle);
    }

    void serialQueryIsPairedInOneStep() {
        SerialFixture f;
        Target target;
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &target, target.handler());
        TraceCapture trace;
        f.tick();
        QCOMPARE(target.replies, QStringList{f.instrument().identity()});
        QCOMPARE(f.link.pendingQueries(), 0);
        QVERIFY(!f.link.queryInFlight());
        QCOMPARE(f.instrument().received.back(), QStringLiteral("*IDN?"));
    }

    void serialTextWithoutQuestionMarkIsSentAsACommand() {
        SerialFixture f;
        Target target;
        f.link.enqueueQuery(QStringLiteral(":OUTP:STAT 1"), &target, target.handler());
        f.tick();
        QVERIFY(f.instrument().output);
        QCOMPARE(f.link.pendingQueries(), 0);
        QVERIFY(target.replies.isEmpty());
        QVERIFY(f.prompter.texts.isEmpty());
        QCOMPARE(f.link.opMode(), OpMode::Idle);
    }

    void serialNoAnswerIsReportedAndNothingDelivered() {
        SerialFixture f;
        Target target;
        f.link.enqueueQuery(QStringLiteral("NOSUCH?"), &target, target.handler());
        f.link.enqueueCommand(QStringLiteral(":OUTP:STAT 1"));
        f.tick();
        QCOMPARE(f.prompter.texts, QStringList{"Cannot get Data from device!"});
        QVERIFY(target.replies.isEmpty());
        QCOMPARE(f.link.opMode(), OpMode::Idle);
        f.tick(); // the command is not held back by the failed exchange
        QVERIFY(f.instrument().output);
    }

    void serialCommandsGoOutWithTheFamilyLineEnd() {
        SerialFixture f("TRQ-7206S");
        f.link.enqueueCommand(QStringLiteral("VSET3:5.5"));
        TraceCapture trace;
        f.tick();
        QCOMPARE(f.instrument().channel(3).vset, 5.5);
        QCOMPARE(trace.lines.mid(0, 6), (QStringList{"C+", "C Setup", "C setup", "C WaitWrite",
                                                     "VSET3:5.5", "C opmode = 1"}));
        QCOMPARE(trace.lines.at(6), QStringLiteral("C-"));
    }

    // The direct exchange hands over the newest reply line whole.
    void directExchangeDeliversTheNewestLine() {
        SerialFixture f("TRQ-7206S");
        f.instrument().output = true;
        f.instrument().channel(1).vset = 12;
        Target target;
        QVERIFY(f.link.exchangeNow(QStringLiteral("VOUT1?"), &target, target.handler()));
        QCOMPARE(target.replies, QStringList{"12.000V"});
    }

    void directExchangeWaitsWhileAConsumerOwnsTheLine() {
        SerialFixture f("TRQ-7206S");
        Target direct;
        Target target;
        target.onReply = [&](const QString&) {
            f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler());
        };
        f.link.enqueueQuery(QStringLiteral("VSET1?"), &target, target.handler());
        const auto before = f.instrument().received.size();
        f.tick();
        QCOMPARE(f.instrument().received.size(), before + 1);
        QCOMPARE(direct.replies, QStringList());
    }
};

TRQ_TEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
