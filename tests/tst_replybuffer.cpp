#include "link/replybuffer.h"
#include "support/testsupport.h"

using trq::ReplyBuffer;
using namespace trq::test;

class TestReplyBuffer : public QObject {
    Q_OBJECT
private slots:
    void assemblesLines_data() {
        columns<QList<QByteArray>, QStringList, QString>("chunks", "lines", "partial");
        QTest::newRow("split over two events")
            << QList<QByteArray>{"12.3", "45\r\n"} << QStringList{"12.345"} << QString();
        QTest::newRow("CR LF is one line")
            << QList<QByteArray>{"1.0\r\n2.0\r\n"} << QStringList{"1.0", "2.0"} << QString();
        QTest::newRow("empty lines dropped")
            << QList<QByteArray>{"\r\n\n\r5\n"} << QStringList{"5"} << QString();
        QTest::newRow("bit anywhere drops the line")
            << QList<QByteArray>{"8 bits\r\norbital\n3.3\n"} << QStringList{"3.3"} << QString();
        QTest::newRow("the longest line kept")
            << QList<QByteArray>{QByteArray(ReplyBuffer::kMaxLineLength, '7') + "\n"}
            << QStringList{QString(ReplyBuffer::kMaxLineLength, QLatin1Char('7'))} << QString();
        QTest::newRow("no terminator stays partial")
            << QList<QByteArray>{"7.5"} << QStringList{} << QString("7.5");
        QTest::newRow("NUL and 0xFF kept as text")
            << QList<QByteArray>{QByteArray("a\0b\xff", 4) + "\n"}
            << QStringList{QString::fromLatin1(QByteArray("a\0b\xff", 4))} << QString();
    }
    void assemblesLines() {
        auto [chunks, lines, partial] =
            fetch<QList<QByteArray>, QStringList, QString>("chunks", "lines", "partial");
        ReplyBuffer buffer;
        for (const QByteArray& chunk : chunks)
            buffer.feed(chunk);
        QCOMPARE(buffer.count(), lines.size());
        QCOMPARE(buffer.partialLine(), partial);
        if (!lines.isEmpty())
            QCOMPARE(buffer.pop(), lines.last());
        QCOMPARE(buffer.count(), 0);
    }

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

    void overlongLineIsDroppedUpToItsEnd() {
        ReplyBuffer buffer;
        const QByteArray flood(3 * ReplyBuffer::kMaxLineLength, 'x');
        buffer.feed(flood);
        QVERIFY(buffer.partialLine().size() <= ReplyBuffer::kMaxLineLength);
        buffer.feed("tail\r\n1.25\r\n");
        // The tail of the flood is not mistaken for a value; the next line is.
        QCOMPARE(buffer.count(), 1);
        QCOMPARE(buffer.pop(), QStringLiteral("1.25"));
    }
};

TRQ_TEST_MAIN(TestReplyBuffer)
#include "tst_replybuffer.moc"
