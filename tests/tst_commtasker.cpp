#include "link/commtasker.h"
#include "link/dlgwaitrsp.h"
#include "link/replyfield.h"
#include "link/simlink.h"
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

std::unique_ptr<sim::Supply> supply(const char* model = "PSQ-3323") {
    return sim::Supply::create(QString::fromLatin1(model));
}

} // namespace

class TestCommTasker : public QObject {
    Q_OBJECT

    struct GpibFixture : TaskerFixture {
        SimGpibBoard* board;
        GpibFixture() : board(new SimGpibBoard(supply())) {
            board->setReadTimeoutMsec(0);
            board->configure(0, 1);
            tasker.setGpibBoard(board);
            tasker.setCommType(QStringLiteral("GPIB"));
        }
        sim::Supply& instrument() { return board->supply(); }
        // Ticks until both queues are empty and nothing is outstanding.
        void drain(int maxTicks = 2000) {
            for (int i = 0; i < maxTicks; ++i) {
                if (tasker.QueryTaskCount() == 0 && tasker.CmdTaskCount() == 0 &&
                    !tasker.IsQueryPending() && tasker.OpMode() == 0)
                    return;
                tick();
            }
            QFAIL("link did not drain");
        }
    };

    struct SerialFixture : TaskerFixture {
        SimSerialPort* port;
        explicit SerialFixture(const char* model = "PSQ-3323")
            : port(new SimSerialPort(supply(model))) {
            port->open();
            tasker.setSerialPort(port);
            tasker.setCommType(QStringLiteral("RS232"));
            tasker.setSerialTerminator(sim::lineEnd(port->supply().family()));
        }
    };

private slots:

    void queueAccepts99Pending_data() {
        QTest::addColumn<bool>("commands");
        QTest::newRow("queries") << false;
        QTest::newRow("commands") << true;
    }
    void queueAccepts99Pending() {
        QFETCH(bool, commands);
        TaskerFixture f;
        f.tasker.setCommType(QStringLiteral("GPIB"));
        auto add = [&](const QString& text) {
            if (!commands)
                return f.tasker.ExecQueryTask(text, 5, nullptr, "Text", 4);
            const int before = f.tasker.CmdTaskCount();
            f.tasker.ExecCmdTask(text, 0, nullptr, {}, 1);
            return f.tasker.CmdTaskCount() > before;
        };
        for (int i = 1; i <= 98; ++i)
            QVERIFY(add(QString::number(i)));
        QVERIFY(add(QStringLiteral("99th")));
        TraceCapture trace;
        QVERIFY(!add(QStringLiteral("100th")));
        QCOMPARE(commands ? f.tasker.CmdTaskCount() : f.tasker.QueryTaskCount(), 99);
        QVERIFY(trace.lines.contains(commands
                                         ? QStringLiteral("C overflowed, just dropped it:100th")
                                         : QStringLiteral("Q overflowed, just dropped:100th")));
        if (!commands)
            QCOMPARE(trace.lines.first(), QStringLiteral("ExecQueryTask:99"));
    }

    void blockedLinkRefusesSilently_data() {
        QTest::addColumn<QString>("commType");
        QTest::addColumn<bool>("reject");
        QTest::newRow("no interface") << QString() << false;
        QTest::newRow("model chosen by hand") << QStringLiteral("Menu") << false;
        QTest::newRow("rejecting") << QStringLiteral("RS232") << true;
    }
    void blockedLinkRefusesSilently() {
        QFETCH(QString, commType);
        QFETCH(bool, reject);
        TaskerFixture f;
        f.tasker.setCommType(commType);
        f.tasker.setIsRejectAnyTask(reject);
        TraceCapture trace;
        QVERIFY(!f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, "Text", 4));
        f.tasker.ExecCmdTask(QStringLiteral("OUT1"), 0, nullptr, {}, 1);
        QCOMPARE(f.tasker.QueryTaskCount() + f.tasker.CmdTaskCount(), 0);
        QCOMPARE(trace.lines, QStringList{"ExecQueryTask:0"});
    }

    void indicesWrapAndCountsStayRight() {
        GpibFixture f;
        int enqueued = 0;
        // Keep the ring partly full while going round it once and a bit.
        while (enqueued < 203) {
            while (f.tasker.CmdTaskCount() < 40 && enqueued < 203) {
                f.tasker.ExecCmdTask(QStringLiteral(":CHAN1:VOLT 1"), 0, nullptr, {}, 1);
                ++enqueued;
            }
            f.tick();
        }
        while (f.tasker.cmdRemoveIndex() != 198)
            f.tick();
        QCOMPARE(f.tasker.cmdInsertIndex(), 3);
        QCOMPARE(f.tasker.CmdTaskCount(), 5);
        f.drain();
        QCOMPARE(f.tasker.cmdRemoveIndex(), 3);
        QCOMPARE(f.tasker.CmdTaskCount(), 0);
        QCOMPARE(int(f.instrument().received.size()), 203);
    }

    void gpibQueryIsWrittenOnTheNextTickAndDelivered() {
        GpibFixture f;
        f.instrument().output = true;
        f.instrument().channel(1).vset = 5;
        ReplyField field;
        QSignalSpy changed(&field, &ReplyField::Change);
        TraceCapture trace;
        QVERIFY(f.tasker.ExecQueryTask(QStringLiteral(":CHAN1:MEAS:VOLT?"), 5, &field,
                                       QStringLiteral("Text"), CommTasker::AssignProperty));
        f.tick();
        QVERIFY(f.instrument().received.empty()); // reached the head, not written yet
        QCOMPARE(f.tasker.queryTask(0).State, 1);
        f.tick();
        QCOMPARE(f.instrument().received.back(), QStringLiteral(":CHAN1:MEAS:VOLT?"));
        f.drain();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(field.Text(), QStringLiteral("5.000"));
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
        TaskerFixture f;
        auto* board = new SilentBoard;
        f.tasker.setGpibBoard(board);
        f.tasker.setCommType(QStringLiteral("GPIB"));
        f.tasker.ExecCmdTask(QStringLiteral("OUT1"), 0, nullptr, {}, 1);
        f.tasker.ExecQueryTask(QStringLiteral("STATUS?"), 5, nullptr, "Text", 4);
        TraceCapture trace;
        f.tick(2);
        QCOMPARE(board->written, QList<QByteArray>{"OUT1"});
        QCOMPARE(f.tasker.OpMode(), 1);
        QCOMPARE(trace.since(QStringLiteral("Q waitwrite")).mid(0, 3),
                 (QStringList{"Q waitwrite", "OpMode 1", "QueryWaitWriteErrorWait"}));
        QCOMPARE(f.tasker.IsQueueLocked(), 0);
        emit board->writeComplete(); // a command: no read is started
        QCOMPARE(f.tasker.OpMode(), 0);
        QCOMPARE(board->reads, 0);
        f.tick();
        QCOMPARE(board->written.size(), 2);
        emit board->writeComplete(); // the query: its reply is read
        QCOMPARE(board->reads, 1);
        QCOMPARE(f.tasker.OpMode(), 2);
    }

    void secondCommandWaitsForTheFirstWrite() {
        TaskerFixture f;
        auto* board = new SilentBoard;
        f.tasker.setGpibBoard(board);
        f.tasker.setCommType(QStringLiteral("GPIB"));
        f.tasker.ExecCmdTask(QStringLiteral("OUT1"), 0, nullptr, {}, 1);
        f.tasker.ExecCmdTask(QStringLiteral("OUT0"), 0, nullptr, {}, 1);
        f.tick();
        TraceCapture trace;
        f.tasker.ConsumeTask();
        QCOMPARE(trace.lines.mid(0, 6), (QStringList{"C+", "C Setup", "C setup", "C OpMode 1", "C-",
                                                     "CmdWaitWriteErrorWait"}));
        QCOMPARE(board->written, QList<QByteArray>{"OUT1"});
        QCOMPARE(f.tasker.IsQueueLocked(), 0);
    }

    void errorEventRunsTheTimeoutProcedureAndResets() {
        GpibFixture f;
        Target target;
        f.tasker.SetupTimeoutTask(&target, QStringLiteral("OperationTimeout"));
        f.tasker.ExecQueryTask(QStringLiteral("NOSUCH?"), 5, &target, "Take", 1);
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, &target, "Take", 1);
        for (int i = 0; i < 50 && target.timeouts == 0; ++i)
            f.tick();
        QCOMPARE(f.prompter.texts, QStringList{QString::number(SimGpibBoard::kEABO)});
        QCOMPARE(target.timeouts, 1);
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
        QVERIFY(!f.tasker.IsQueryPending());
        QCOMPARE(f.tasker.OpMode(), 0);
        QVERIFY(target.replies.isEmpty());
        // The registration is gone with the reset.
        f.tasker.TimeoutTask();
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
        TaskerFixture f;
        f.tasker.setGpibBoard(new SilentBoard);
        f.tasker.setCommType(QStringLiteral("GPIB"));
        Target target;
        f.tasker.SetupTimeoutTask(&target, QStringLiteral("OperationTimeout"));
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, &target, "Take", 1);
        f.tick(); // head reached; nothing outstanding yet: the reference time
        const qint64 reference = qint64(f.tasker.LastRspTimeSec() * 1000.0 + 0.5);
        f.clock.setMsec(reference + 50);
        f.tasker.DoWriterTimer(100); // written
        QVERIFY(f.tasker.IsQueryPending());
        f.clock.setMsec(reference + outstandingMsec);
        f.tasker.DoWriterTimer(100);
        QCOMPARE(target.timeouts, timesOut ? 1 : 0);
        if (timesOut) {
            QCOMPARE(f.prompter.texts,
                     QStringList{QString::number(double(outstandingMsec) / 1000.0)});
            QVERIFY(!f.tasker.IsQueryPending());
            QCOMPARE(f.tasker.QueryTaskCount(), 0);
            QCOMPARE(f.tasker.MaxRspTimeSec(), 0.0);
        } else {
            QVERIFY(f.prompter.texts.isEmpty());
            QCOMPARE(f.tasker.MaxRspTimeSec(), double(outstandingMsec) / 1000.0);
        }
    }

    void timeoutMessageIsShownOnceWhileTicksGoOn() {
        TaskerFixture f;
        f.tasker.setGpibBoard(new SilentBoard);
        f.tasker.setCommType(QStringLiteral("GPIB"));
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, "Text", 4);
        f.tick(2);
        // Ticks that run while the message box is up must not stack more boxes.
        f.prompter.onAsk = [&] {
            for (int i = 0; i < 3; ++i)
                f.tick();
        };
        f.clock.advanceMsec(30000);
        f.tasker.DoWriterTimer(100);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(!f.tasker.IsQueryPending());
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
        TaskerFixture f;
        f.host.pollEnabled = pollEnabled;
        f.tasker.setQueryCmdCnt(7);
        f.tasker.setQueryCmdMaxMsec(maxMsec);
        f.tick(ticks); // no query ever finishes
        QCOMPARE(f.host.reports.size(), reports);
        for (const auto& report : f.host.reports)
            QCOMPARE(report, qMakePair(QStringLiteral("Read Times Failed!"), 2000));
        if (!pollEnabled || maxMsec == 0)
            QCOMPARE(f.tasker.CurQuerySpentMsec(), 0);
    }

    void completedPollCycleStartsAgain() {
        SerialFixture f;
        f.host.pollEnabled = true;
        f.tasker.setQueryCmdCnt(2);
        f.tasker.setQueryCmdMaxMsec(10000);
        f.tasker.ExecQueryTask(QStringLiteral(":CHAN1:VOLT?"), 5, nullptr, "Text", 4);
        f.tasker.ExecQueryTask(QStringLiteral(":CHAN2:VOLT?"), 5, nullptr, "Text", 4);
        f.tick();
        QCOMPARE(f.tasker.CurQueryCmdCnt(), 1);
        QCOMPARE(f.tasker.CurQuerySpentMsec(), 100);
        f.tick(); // the second query completes the cycle on this tick
        QCOMPARE(f.tasker.CurQueryCmdCnt(), 0);
        QCOMPARE(f.tasker.CurQuerySpentMsec(), 0);
    }

    void clearAllTasksDropsWhatWasNotWritten() {
        GpibFixture f;
        for (int i = 0; i < 10; ++i) {
            f.tasker.ExecQueryTask(QStringLiteral(":CHAN1:VOLT?"), 5, nullptr, "Text", 4);
            f.tasker.ExecCmdTask(QStringLiteral(":CHAN1:VOLT 1"), 0, nullptr, {}, 1);
        }
        bool refusedMeanwhile = false;
        f.tasker.setQuietWaiter([&] {
            refusedMeanwhile = !f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, {}, 4);
            return true;
        });
        QVERIFY(f.tasker.ClearAllTasks());
        QVERIFY(refusedMeanwhile);
        QVERIFY(!f.tasker.IsRejectAnyTask());
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
        QCOMPARE(f.tasker.CmdTaskCount(), 0);
        QCOMPARE(f.tasker.queryInsertIndex(), 0);
        f.tick(5);
        QVERIFY(f.instrument().received.empty());
    }

    void waitDialogClosesWhenTheLinkIsQuiet() {
        GpibFixture f;
        f.tasker.ExecCmdTask(QStringLiteral(":CHAN1:VOLT 1"), 0, nullptr, {}, 1);
        QVERIFY(f.tasker.ClearAllTasks()); // nothing outstanding: first check closes it
        QCOMPARE(f.tasker.CmdTaskCount(), 0);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void waitDialogCanBeCancelled() {
        TaskerFixture f;
        f.tasker.setGpibBoard(new SilentBoard);
        f.tasker.setCommType(QStringLiteral("GPIB"));
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, "Text", 4);
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, "Text", 4);
        f.tick(2);
        QVERIFY(f.tasker.IsQueryPending()); // never answered
        bool sawDialog = false;
        QTimer::singleShot(350, [&] {
            if (auto* dlg = qobject_cast<dlgWaitRsp*>(QApplication::activeModalWidget())) {
                sawDialog = dlg->windowTitle() == QLatin1String("Dialog Caption");
                dlg->CancelButton()->click();
            }
        });
        QVERIFY(f.tasker.ClearAllTasks());
        QVERIFY(sawDialog);
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
    }

    void ackWaitHoldsTheQueuesUntilTaskAck() {
        GpibFixture f;
        Target target;
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, &target, "Take", 1, true);
        f.tasker.ExecQueryTask(QStringLiteral(":OUTP:STAT?"), 5, &target, "Take", 1);
        f.tick(20);
        QCOMPARE(target.replies.size(), 1);
        QCOMPARE(int(f.instrument().received.size()), 1);
        f.tasker.TaskAck();
        f.drain();
        QCOMPARE(target.replies.size(), 2);
    }

    void deliveryToADestroyedTargetIsSkipped() {
        GpibFixture f;
        auto* field = new ReplyField;
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, field, "Text", 4);
        f.tick(2);
        delete field;
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
            f.tasker.DoWriterTimer(100); // locked out
            if (nested == 2)
                f.tasker.ResetTasks();
        };
        for (int i = 0; i < 4; ++i)
            f.tasker.ExecQueryTask(QStringLiteral(":OUTP:STAT?"), 5, &target, "Take", 1);
        f.drain();
        QCOMPARE(target.replies.size(), 2);
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
        QCOMPARE(f.tasker.queryRemoveIndex(), f.tasker.queryInsertIndex());
        QCOMPARE(f.tasker.IsQueueLocked(), 0);
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
        f.tasker.QuerySerial(query);
        QCOMPARE(f.waiter.waits, waits);
        QCOMPARE(f.tasker.OpMode(), 0);
    }

    void serialQueryIsPairedInOneStep() {
        SerialFixture f;
        Target target;
        f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, &target, "Take", 1);
        TraceCapture trace;
        f.tick();
        QCOMPARE(target.replies, QStringList{f.port->supply().identity()});
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
        QVERIFY(!f.tasker.IsQueryPending());
        QCOMPARE(f.port->supply().received.back(), QStringLiteral("*IDN?"));
    }

    void serialTextWithoutQuestionMarkIsSentAsACommand() {
        SerialFixture f;
        Target target;
        f.tasker.ExecQueryTask(QStringLiteral(":OUTP:STAT 1"), 5, &target, "Take", 1);
        f.tick();
        QVERIFY(f.port->supply().output);
        QCOMPARE(f.tasker.QueryTaskCount(), 0);
        QVERIFY(target.replies.isEmpty());
        QVERIFY(f.prompter.texts.isEmpty());
        QCOMPARE(f.tasker.OpMode(), 0);
    }

    void serialNoAnswerIsReportedAndNothingDelivered() {
        SerialFixture f;
        Target target;
        f.tasker.ExecQueryTask(QStringLiteral("NOSUCH?"), 5, &target, "Take", 1);
        f.tasker.ExecCmdTask(QStringLiteral(":OUTP:STAT 1"), 0, nullptr, {}, 1);
        f.tick();
        QCOMPARE(f.prompter.texts, QStringList{"Cannot get Data from device!"});
        QVERIFY(target.replies.isEmpty());
        QCOMPARE(f.tasker.OpMode(), 0);
        f.tick(); // the command is not held back by the failed exchange
        QVERIFY(f.port->supply().output);
    }

    void serialCommandsGoOutWithTheFamilyLineEnd() {
        SerialFixture f("TRQ-7206S");
        f.tasker.ExecCmdTask(QStringLiteral("VSET3:5.5"), 0, nullptr, {}, 1);
        TraceCapture trace;
        f.tick();
        QCOMPARE(f.port->supply().channel(3).vset, 5.5);
        QCOMPARE(trace.lines.mid(0, 6), (QStringList{"C+", "C Setup", "C setup", "C WaitWrite",
                                                     "VSET3:5.5", "C opmode = 1"}));
        QCOMPARE(trace.lines.at(6), QStringLiteral("C-"));
    }

    void query7206TakesOnlyPlausibleReplies_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        QTest::newRow("measured voltage") << QStringLiteral("VOUT1?") << QStringLiteral("12.000");
        QTest::newRow("set current") << QStringLiteral("ISET2?") << QStringLiteral("1.500");
        // Whole, without its line end: the value filter would never pass it.
        QTest::newRow("status") << QStringLiteral("STATUS?") << QStringLiteral("11011010");
        QTest::newRow("reply without the unit") << QStringLiteral("*IDN?") << QString();
    }
    void query7206TakesOnlyPlausibleReplies() {
        QFETCH(QString, query);
        QFETCH(QString, expected);
        SerialFixture f("TRQ-7206S");
        auto& s = f.port->supply();
        s.output = true;
        s.channel(1).vset = 12;
        s.channel(1).iset = 6;
        s.channel(2).iset = 1.5;
        ReplyField field;
        QVERIFY(f.tasker.ExecQueryTask7206(query, 5, &field, "Text", 4));
        QCOMPARE(field.Text(), expected);
    }

    void query7206WaitsWhileAConsumerOwnsTheLine() {
        SerialFixture f("TRQ-7206S");
        ReplyField field;
        Target target;
        target.onReply = [&](const QString&) {
            f.tasker.ExecQueryTask7206(QStringLiteral("VOUT1?"), 5, &field, "Text", 4);
        };
        f.tasker.ExecQueryTask(QStringLiteral("VSET1?"), 5, &target, "Take", 1);
        const auto before = f.port->supply().received.size();
        f.tick();
        QCOMPARE(f.port->supply().received.size(), before + 1);
        QCOMPARE(field.Text(), QString());
    }
};

TRQ_TEST_MAIN(TestCommTasker)
#include "tst_commtasker.moc"
