// The serial path over a real pseudo-terminal: QSerialPort on one end, a
// scripted or simulated instrument on the other; and the buffer that makes
// lines of what comes in.
#include "link/qtserialport.h"
#include "link/replybuffer.h"
#include "link/taskscheduler.h"
#include "sim/ptyserver.h"
#include "sim/supply.h"
#include "support/testsupport.h"

using namespace trq;
using namespace trq::test;

namespace {

struct PtyFixture {
    SteadyClock clock;
    ScriptedPrompter prompter;
    std::unique_ptr<sim::Supply> supply = sim::Supply::create(QStringLiteral("PSQ-3323"));
    sim::PtyServer server{[this](const QByteArray& bytes) { return supply->receive(bytes); }};
    TaskScheduler link{{clock, prompter}};
    QtSerialPort* port = new QtSerialPort;
    Target target;

    PtyFixture() {
        link.setSerialPort(port);
        link.setTransport(Transport::Serial);
        link.setSerialTerminator("\r");
        link.setTimeoutHandler(&target, target.timeoutHandler());
    }
    bool open() {
        if (!server.open())
            return false;
        port->setPortName(server.slavePath());
        port->setBaudRate(9600);
        return port->open();
    }
    // Asks, and waits on the running writer timer until the exchange is
    // over (answered, or given up) and whatever it says has been said.
    bool query(const QString& text) {
        link.enqueueQuery(text, &target, target.handler());
        const bool over = QTest::qWaitFor(
            [&] { return link.pendingQueries() == 0 && !link.serialExchangeOpen(); }, 3000);
        QCoreApplication::processEvents();
        return over;
    }
};

} // namespace

class TestSerial : public QObject {
    Q_OBJECT
private slots:
    void identifiesTheSupplyOverAPty() {
        PtyFixture f;
        QVERIFY2(f.open(), qPrintable(f.port->errorString()));
        QVERIFY(f.query(QStringLiteral("*IDN?")));
        QCOMPARE(f.target.replies, QStringList{f.supply->identity()});
        f.link.enqueueCommand(QStringLiteral(":CHAN2:VOLT 7.25"));
        QTRY_COMPARE(f.supply->channel(2).vset, 7.25);
    }

    void replySplitAcrossReadsIsJoined() {
        PtyFixture f;
        QVERIFY(f.open());
        f.server.setResponder([&](const QByteArray&) {
            // The rest of the line comes a while later, as from a slow supply.
            QTimer::singleShot(60, [&] { f.server.writeRaw("345\r\n"); });
            return QByteArray("12.");
        });
        QVERIFY(f.query(QStringLiteral(":CHAN1:MEAS:VOLT?")));
        QCOMPARE(f.target.replies, QStringList{"12.345"});
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void scriptedReplies_data() {
        columns<QByteArray, QStringList, QStringList>("answer", "delivered", "messages");
        const QStringList none, noData{QStringLiteral("Cannot get Data from device!")};
        row("CR LF", QByteArray("3.300\r\n"), QStringList{"3.300"}, none);
        row("bit line before the value", QByteArray("8 bits\r\n3.300\r\n"), QStringList{"3.300"},
            none);
        row("newest line wins", QByteArray("1.0\r2.0\r"), QStringList{"2.0"}, none);
        row("no reply", QByteArray(), none, noData);
        row("missing terminator", QByteArray("1.000"), none, noData);
        row("NUL and 0xFF", QByteArray("\x00\xff\x01z\r\n", 6),
            QStringList{QString::fromLatin1(QByteArray("\x00\xff\x01z", 4))}, none);
        row("kilobytes without terminator", QByteArray(16 * 1024, '7'), none, noData);
        row("only a bit line", QByteArray("no bits\r\n"), none, none);
        row("'bit' inside a word", QByteArray("orbital\r\n"), none, none);
    }
    void scriptedReplies() {
        auto [answer, delivered, messages] =
            fetch<QByteArray, QStringList, QStringList>("answer", "delivered", "messages");
        PtyFixture f;
        QVERIFY(f.open());
        f.server.setResponder([answer](const QByteArray&) { return answer; });
        QVERIFY(f.query(QStringLiteral(":CHAN1:MEAS:VOLT?")));
        QCOMPARE(f.target.replies, delivered);
        QCOMPARE(f.prompter.texts, messages);
        // The link goes on working with a sound instrument afterwards.
        f.server.setResponder([](const QByteArray&) { return QByteArray("4.000\r"); });
        QVERIFY(f.query(QStringLiteral(":CHAN1:MEAS:VOLT?")));
        QCOMPARE(f.target.replies.value(delivered.size()), QStringLiteral("4.000"));
    }

    void unpluggedDeviceEndsInTimeoutQuietly() {
        PtyFixture f;
        QVERIFY(f.open());
        f.supply->output = true;
        QVERIFY(f.query(QStringLiteral(":CHAN1:MEAS:VOLT?")));
        QCOMPARE(f.target.replies.size(), 1);

        f.link.writerTimer().stop();
        f.link.enqueueQuery(QStringLiteral(":CHAN1:MEAS:VOLT?"), &f.target, f.target.handler());
        f.server.close(); // the adapter is pulled mid-poll
        QTRY_VERIFY(!f.port->isOpen());
        f.link.writerTick(100);
        QCOMPARE(f.target.timeouts, 1);
        QCOMPARE(f.link.pendingQueries(), 0);

        // Quiet afterwards: no busy loop on a dead descriptor.
        const double cpuBefore = cpuSeconds();
        QTest::qWait(500);
        QVERIFY2(cpuSeconds() - cpuBefore < 0.25,
                 "the event loop keeps spinning after the device is gone");
        QCOMPARE(f.target.timeouts, 1);
    }

    // ---- The reply buffer alone: its bounds. How it splits and keeps lines
    // is scriptedReplies', through the link that feeds it.
    void popReturnsNewestAndEmpties() {
        TraceCapture trace;
        ReplyBuffer buffer;
        buffer.feed("old\nnew\n");
        QCOMPARE(buffer.pop(), QStringLiteral("new"));
        QCOMPARE(buffer.count(), 0);
        QCOMPARE(buffer.pop(), QString());
        QCOMPARE(trace.lines, (QStringList{"RspPush 'old'", "RspPush 'new'", "RspPop 'new'"}));
    }

    void line201IsDroppedWithOverflow() {
        ReplyBuffer buffer;
        for (int i = 0; i < ReplyBuffer::kSize; ++i)
            buffer.push(QString::number(i));
        TraceCapture trace;
        buffer.push(QStringLiteral("one too many"));
        QCOMPARE(buffer.count(), 200);
        QCOMPARE(trace.lines, QStringList{"Rsp overflow"});
        QCOMPARE(buffer.pop(), QStringLiteral("199"));
    }

    // The longest line is kept whole, a line without its end waits, and a
    // longer one is dropped up to its end: its tail is no value.
    void linesUpToTheLongest() {
        ReplyBuffer buffer;
        const QByteArray longest(ReplyBuffer::kMaxLineLength, '7');
        buffer.feed(longest + "\n7.5");
        QCOMPARE(buffer.partialLine(), QStringLiteral("7.5"));
        QCOMPARE(buffer.count(), 1);
        QCOMPARE(buffer.pop(), QString::fromLatin1(longest));
        buffer.feed(QByteArray(3 * ReplyBuffer::kMaxLineLength, 'x'));
        QVERIFY(buffer.partialLine().size() <= ReplyBuffer::kMaxLineLength);
        buffer.feed("tail\r\n1.25\r\n");
        QCOMPARE(buffer.count(), 1);
        QCOMPARE(buffer.pop(), QStringLiteral("1.25"));
    }
};

TRQ_TEST_MAIN(TestSerial)
#include "tst_serial.moc"
