#include "link/simtransport.h"
#include "link/taskscheduler.h"
#include "protocol/commands.h"
#include "sim/supply.h"
#include "support/testsupport.h"

using namespace trq;
using namespace trq::test;

namespace {

QStringList received(const sim::Supply& s) {
    return QStringList(s.received.begin(), s.received.end());
}

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT

    struct GpibFixture : LinkFixture {
        std::shared_ptr<sim::Supply> supply_ = simulatedSupply(QStringLiteral("PSQ-3323"));
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

    struct SilentFixture : LinkFixture {
        SilentBoard* board = new SilentBoard;
        Target target;
        SilentFixture() {
            link.setGpibBoard(board);
            link.setTransport(Transport::Gpib);
            link.setTimeoutHandler(&target, target.timeoutHandler());
        }
    };

    struct SerialFixture : LinkFixture {
        std::shared_ptr<sim::Supply> supply_;
        SimSerialPort* port;
        explicit SerialFixture(const QString& model = QStringLiteral("PSQ-3323"))
            : supply_(simulatedSupply(model)), port(new SimSerialPort(instrumentOf(supply_))) {
            port->open();
            link.setSerialPort(port);
            link.setTransport(Transport::Serial);
            link.setSerialTerminator(sim::lineEnd(supply_->family()));
        }
        sim::Supply& instrument() { return *supply_; }
    };

private slots:

    // Each queue holds 99: the hundredth never reaches the supply, and the
    // trace says so.
    void queueAccepts99Pending_data() {
        columns<bool>("commands");
        row("queries", false);
        row("commands", true);
    }
    void queueAccepts99Pending() {
        QFETCH(bool, commands);
        GpibFixture f;
        Target target;
        TraceCapture trace;
        for (int i = 1; i <= 100; ++i) {
            if (commands)
                f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT %1").arg(i));
            else
                f.link.enqueueQuery(QStringLiteral("*IDN?"), &target, target.handler());
        }
        f.drain();
        QCOMPARE(int(f.instrument().received.size()), 99);
        QCOMPARE(target.replies.size(), commands ? 0 : 99);
        QCOMPARE(f.instrument().received.back(),
                 commands ? QStringLiteral(":CHAN1:VOLT 99") : QStringLiteral("*IDN?"));
        QVERIFY(trace.lines.contains(
            commands ? QStringLiteral("C overflowed, just dropped it::CHAN1:VOLT 100")
                     : QStringLiteral("Q overflowed, just dropped:*IDN?")));
    }

    // Going round the ring once and a bit, partly full all the while, every
    // command reaches the supply once and in order.
    void commandsGoRoundTheRingInOrder() {
        GpibFixture f;
        QStringList expected;
        while (expected.size() < 203) {
            while (f.link.pendingCommands() < 40 && expected.size() < 203) {
                expected << QStringLiteral(":CHAN1:VOLT %1").arg(expected.size());
                f.link.enqueueCommand(expected.constLast());
            }
            f.tick();
        }
        f.drain();
        QCOMPARE(received(f.instrument()), expected);
    }

    // Nothing else is written while a write is outstanding, and only a
    // query's completed write starts a read.
    void nextWriteWaitsForTheOutstandingOne_data() {
        columns<bool>("query");
        row("query after a command", true);
        row("command after a command", false);
    }
    void nextWriteWaitsForTheOutstandingOne() {
        QFETCH(bool, query);
        SilentFixture f;
        f.link.enqueueCommand(QStringLiteral("OUT1"));
        if (query)
            f.link.enqueueQuery(QStringLiteral("STATUS?"), nullptr, {});
        else
            f.link.enqueueCommand(QStringLiteral("OUT0"));
        f.tick(2);
        QCOMPARE(f.board->written, QList<QByteArray>{"OUT1"});
        emit f.board->writeComplete();
        f.tick();
        QCOMPARE(f.board->written.size(), 2);
        emit f.board->writeComplete();
        QCOMPARE(f.board->reads, query ? 1 : 0);
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
        QVERIFY(target.replies.isEmpty());
        f.tick(5); // the query queued behind is gone with the reset
        QCOMPARE(received(f.instrument()), QStringList{"NOSUCH?"});
        // The registration is gone with the reset.
        f.link.timeOut();
        QCOMPARE(target.timeouts, 1);
    }

    // The watchdog measures from the last tick at which nothing was
    // outstanding: a minute of idle link before a query does not count.
    void watchdog_data() {
        columns<int, int, bool>("idleTicks", "outstandingMsec", "timesOut");
        row("19.9 s", 0, 19900, false);
        row("exactly 20 s", 0, 20000, false);
        row("20.001 s", 0, 20001, true);
        row("25 s", 0, 25000, true);
        row("19.9 s after an idle minute", 600, 19900, false);
    }
    void watchdog() {
        auto [idleTicks, outstandingMsec, timesOut] =
            fetch<int, int, bool>("idleTicks", "outstandingMsec", "timesOut");
        SilentFixture f;
        // Ticks that run while the message box is up must not stack more boxes.
        f.prompter.onAsk = [&] { f.tick(3); };
        f.tick(idleTicks);
        f.link.enqueueQuery(QStringLiteral("*IDN?"), &f.target, f.target.handler());
        f.tick(); // head reached; nothing outstanding yet: the reference time
        QVERIFY(f.board->written.isEmpty()); // a query is written on the next tick
        const qint64 reference = qint64(f.clock.nowSec() * 1000.0 + 0.5);
        f.clock.setMsec(reference + 50);
        f.link.writerTick(100); // written
        QVERIFY(f.link.queryInFlight());
        f.clock.setMsec(reference + outstandingMsec);
        f.link.writerTick(100);
        QCOMPARE(f.target.timeouts, timesOut ? 1 : 0);
        const QString seconds = QString::number(double(outstandingMsec) / 1000.0);
        QCOMPARE(f.prompter.texts, timesOut ? QStringList{seconds} : QStringList());
        QCOMPARE(f.link.queryInFlight(), !timesOut);
        QCOMPARE(f.link.maxResponseTimeSec(), timesOut ? 0.0 : double(outstandingMsec) / 1000.0);
    }

    void pollCycleCheck_data() {
        columns<bool, int, int, int>("pollEnabled", "maxMsec", "ticks", "reports");
        row("check off", true, 0, 100, 0);
        row("within limit", true, 500, 5, 0);
        row("over limit", true, 500, 6, 1);
        row("over limit twice", true, 500, 12, 2);
        row("poll timer stopped", false, 500, 100, 0);
    }
    void pollCycleCheck() {
        auto [pollEnabled, maxMsec, ticks, reports] =
            fetch<bool, int, int, int>("pollEnabled", "maxMsec", "ticks", "reports");
        LinkFixture f;
        f.host.pollEnabled = pollEnabled;
        f.link.setPollCycleLength(7);
        f.link.setPollCycleLimitMsec(maxMsec);
        f.tick(ticks); // no query ever finishes
        QCOMPARE(f.host.reports.size(), reports);
        for (const auto& report : f.host.reports)
            QCOMPARE(report, qMakePair(QStringLiteral("Read Times Failed!"), 2000));
    }

    // A completed cycle starts the count again: cycles that each finish in
    // time never report, however long the poll runs.
    // The four-channel supply's direct exchanges count as the queue's
    // queries do.
    void completedPollCyclesStartAgain_data() {
        columns<QString>("model");
        row("queued queries", QStringLiteral("PSQ-3323"));
        row("direct exchanges", QStringLiteral("TRQ-7206S"));
    }
    void completedPollCyclesStartAgain() {
        QFETCH(QString, model);
        SerialFixture f(model);
        const CommandFamily family = familyOf(model);
        f.host.pollEnabled = true;
        f.link.setPollCycleLength(2);
        f.link.setPollCycleLimitMsec(250);
        for (int cycle = 0; cycle < 10; ++cycle) {
            for (int channel = 1; channel <= 2; ++channel) {
                const QString query = queryText(family, Operation::MeasuredVoltage, channel);
                if (family == CommandFamily::Legacy)
                    f.link.exchangeNow(query, nullptr, {});
                else
                    f.link.enqueueQuery(query, nullptr, {});
            }
            f.tick(2); // a query a tick
        }
        QCOMPARE(f.host.reports.size(), 0);
    }

    // Before a recall nothing new is taken; what was asked for goes out
    // until the line is quiet, and the queries still queued then are dropped.
    void aDrainSendsTheCommandsAndDropsTheRest() {
        GpibFixture f;
        for (int i = 0; i < 10; ++i) {
            f.link.enqueueQuery(QStringLiteral(":CHAN1:VOLT?"), nullptr, {});
            f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT 1"));
        }
        f.link.beginDrain();
        f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {}); // refused
        f.link.enqueueCommand(QStringLiteral(":CHAN1:VOLT 2"));    // refused
        for (int i = 0; i < 200 && !f.link.drained(); ++i)
            f.tick();
        QVERIFY(f.link.drained());
        f.link.endDrain();
        f.link.enqueueQuery(QStringLiteral("*IDN?"), nullptr, {});
        f.drain();
        // The dropped queries never go out, not even after the drain.
        const QStringList got = received(f.instrument());
        QCOMPARE(got.count(QStringLiteral(":CHAN1:VOLT 1")), 10);
        QCOMPARE(got.count(QStringLiteral(":CHAN1:VOLT 2")), 0);
        QVERIFY(got.count(QStringLiteral(":CHAN1:VOLT?")) < 10);
        QCOMPARE(got.count(QStringLiteral("*IDN?")), 1);
        QCOMPARE(got.last(), QStringLiteral("*IDN?"));
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
            f.link.writerTick(100); // locked out
            if (++nested == 2)
                f.link.clearQueues();
        };
        for (int i = 0; i < 4; ++i)
            f.link.enqueueQuery(QStringLiteral(":OUTP:STAT?"), &target, target.handler());
        f.drain();
        QCOMPARE(target.replies.size(), 2);
        // The queue goes on sound.
        f.link.enqueueQuery(QStringLiteral(":OUTP:STAT?"), &target, target.handler());
        f.drain();
        QCOMPARE(target.replies.size(), 3);
    }

    // A tick writes a query with the family's line end and its answer is
    // delivered as soon as it has come, without the tick waiting for it; a
    // query without an answer gives up after its time (two ticks) with one
    // box that holds nothing up; text without "?" is
    // sent as a command; a failed exchange holds back no command after it.
    void serialExchange_data() {
        columns<QString, QString, QString, QStringList, int, QStringList>(
            "model", "query", "command", "replies", "ticks", "messages");
        row("identification", "PSQ-3323", "*IDN?", ":OUTP:STAT 1",
            QStringList{"ZQ,PSQ-3323,SN20260001,V1.10"}, 1, QStringList());
        row("other query", "TRQ-7206S", "VSET1?", "VSET3:5.5", QStringList{"0.000V"}, 1,
            QStringList());
        row("no answer", "PSQ-3323", "NOSUCH?", ":OUTP:STAT 1", QStringList(), 3,
            QStringList{"Cannot get Data from device!"});
        row("text without question mark", "PSQ-3323", ":CHAN1:VOLT 2", ":OUTP:STAT 1",
            QStringList(), 1, QStringList());
    }
    void serialExchange() {
        auto [model, query, command, replies, ticks, messages] =
            fetch<QString, QString, QString, QStringList, int, QStringList>(
                "model", "query", "command", "replies", "ticks", "messages");
        SerialFixture f(model);
        Target target;
        f.link.enqueueQuery(query, &target, target.handler());
        if (ticks > 1) {
            f.tick(ticks - 1);
            QCOMPARE(f.link.pendingQueries(), 1);
        }
        f.tick();
        QCOMPARE(target.replies, replies);
        QCOMPARE(f.prompter.texts, messages);
        f.link.enqueueCommand(command);
        f.tick();
        QCOMPARE(received(f.instrument()), (QStringList{query, command}));
    }

    // The direct exchange hands over the newest reply line whole (a stale
    // line before it is no answer), but not while a consumer owns the line
    // and never ahead of a command asked for before it.
    void directExchange() {
        SerialFixture f(QStringLiteral("TRQ-7206S"));
        f.instrument().output = true;
        f.instrument().channel(1).vset = 12;
        Target direct;
        Target target;
        target.onReply = [&](const QString&) {
            f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler());
        };
        f.link.enqueueQuery(QStringLiteral("VSET1?"), &target, target.handler());
        f.tick();
        QCOMPARE(received(f.instrument()), QStringList{"VSET1?"});
        QCOMPARE(direct.replies, QStringList());
        QVERIFY(f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler()));
        QCOMPARE(direct.replies, QStringList{"12.000V"});

        f.link.enqueueCommand(QStringLiteral("VSET1:5"));
        QVERIFY(f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler()));
        QCOMPARE(received(f.instrument()).size(), 2); // waits for the command
        f.tick();
        QVERIFY(f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler()));
        QCOMPARE(received(f.instrument()).mid(2), (QStringList{"VSET1:5", "VOUT1?"}));
        QCOMPARE(direct.replies.last(), QStringLiteral("5.000V"));
    }

    void directExchangeTakesTheNewestLine() {
        LinkFixture f;
        auto* port = new SimSerialPort(
            {nullptr, [](const QByteArray&) { return QByteArray("1.000V\r\n12.000V\r\n"); }, {}});
        port->open();
        f.link.setSerialPort(port);
        f.link.setTransport(Transport::Serial);
        Target direct;
        f.link.exchangeNow(QStringLiteral("VOUT1?"), &direct, direct.handler());
        QCOMPARE(direct.replies, QStringList{"12.000V"});
    }
};

TRQ_TEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
