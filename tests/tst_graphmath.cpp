#include "storage/pointsummary.h"
#include "support/testsupport.h"
#include "ui/graphmath.h"

#include <QApplication>

using namespace trq;
using namespace trq::test;

class TestGraphMath : public QObject {
    Q_OBJECT
private slots:
    void formatElapsed_data() {
        columns<qint64, QString>("seconds", "text");
        QTest::newRow("zero") << qint64(0) << "0:0:0";
        QTest::newRow("an hour") << qint64(3600) << "1:0:0";
        QTest::newRow("no leading zeros") << qint64(3725) << "1:2:5";
        QTest::newRow("a day") << qint64(86400) << "1D 0:0:0";
        QTest::newRow("a day and a bit") << qint64(86400 + 3661) << "1D 1:1:1";
    }
    void formatElapsed() {
        auto [seconds, text] = fetch<qint64, QString>("seconds", "text");
        QCOMPARE(trq::formatElapsed(seconds), text);
    }

    void timeLengthAxes_data() {
        columns<QString, QString, QString, int, int, QString>(
            "choice", "caption", "format", "rangeSeconds", "divisions", "endLabel");
        row("5m", "5m", "Elapsed Time [Sec]", "h:n:ss", 300, 5, "0:5:00");
        row("60m", "60m", "Elapsed Time [Sec]", "h:n:ss", 3600, 6, "1:0:00");
        row("3 Hr", "3 Hr", "Elapsed Time [min]", "h:nn", 10800, 6, "3:00");
        row("12Hr", "12Hr", "Elapsed Time [Min]", "h:nn", 43200, 6, "12:00");
        row("1Day", "1Day", "Elapsed Time [Min]", "hh:nn", 86340, 6, "23:59");
    }
    void timeLengthAxes() {
        auto [choice, caption, format, rangeSeconds, divisions, endLabel] =
            fetch<QString, QString, QString, int, int, QString>(
                "choice", "caption", "format", "rangeSeconds", "divisions", "endLabel");
        const auto x = xLength(choice);
        QVERIFY(x);
        QCOMPARE(QLatin1String(x->caption), caption);
        QCOMPARE(QLatin1String(x->labelFormat), format);
        QCOMPARE(x->majorDivisions, divisions);
        const double end = secondsOf(QLatin1String(x->rangeEnd));
        QCOMPARE(qRound(end), rangeSeconds);
        QCOMPARE(formatAxisTime(end, format), endLabel);
        QVERIFY(!xLength(QStringLiteral("2 Hr")));
    }

    // The lengths' end labels above never show an hour below ten as "hh",
    // nor a time with seconds.
    void hoursKeepTheirLeadingZero() {
        QCOMPARE(formatAxisTime(secondsOf(QStringLiteral("3:07:05")), QStringLiteral("hh:nn:ss")),
                 QStringLiteral("03:07:05"));
    }

    void ticksStayReadableWhenZoomed_data() {
        // stepSeconds: the chosen length's division
        columns<double, int, int, int>("rangeSeconds", "stepSeconds", "divisions", "tickSeconds");
        QTest::newRow("5m as chosen") << 300.0 << 60 << 5 << 60;
        QTest::newRow("60m as chosen") << 3600.0 << 600 << 6 << 600;
        QTest::newRow("1Day as chosen") << 86340.0 << 14390 << 6 << 14390;
        QTest::newRow("slightly zoomed keeps it") << 420.0 << 60 << 5 << 60;
        QTest::newRow("zoomed in to 30 s") << 30.0 << 60 << 5 << 10;
        QTest::newRow("zoomed out tenfold") << 3000.0 << 60 << 5 << 600;
        QTest::newRow("11.6 days of points") << 1e6 << 60 << 6 << 2 * 86400;
    }
    void ticksStayReadableWhenZoomed() {
        auto [rangeSeconds, stepSeconds, divisions, tickSeconds] =
            fetch<double, int, int, int>("rangeSeconds", "stepSeconds", "divisions", "tickSeconds");
        const double step = timeTickStep(rangeSeconds, stepSeconds, divisions);
        QCOMPARE(std::lround(step), long(tickSeconds));
    }

    void tickLabelsGainSecondsBelowAMinute() {
        QCOMPARE(tickLabelFormat(QStringLiteral("h:nn"), 10.0), QStringLiteral("h:nn:ss"));
        QCOMPARE(tickLabelFormat(QStringLiteral("h:nn"), 600.0), QStringLiteral("h:nn"));
        QCOMPARE(tickLabelFormat(QStringLiteral("h:n:ss"), 1.0), QStringLiteral("h:n:ss"));
    }

    // A point stands at its time, and a cursor anywhere nearer sample i
    // than its neighbours maps back to i: points without times at every
    // scale's spacing; timed points across an outage of a thousand steps,
    // also merged into buckets of several, the outage inside one. A limit's
    // event names the point to come: a step after the last.
    void cursorsMapBackToTheirSample_data() {
        QTest::addColumn<int>("spacing");
        QTest::addColumn<bool>("timed");
        QTest::addColumn<int>("samples");
        for (int s : {1, 2, 5, 10, 30, 60, 300, 600, 1800, 3600})
            QTest::addRow("%d s", s) << s << false << 20000;
        for (int s : {1, 30})
            QTest::addRow("%d s timed", s) << s << true << 10000;
        QTest::addRow("timed, merged") << 5 << true << 3 * PointSummary::kMaxBuckets;
    }
    void cursorsMapBackToTheirSample() {
        QFETCH(int, spacing);
        QFETCH(bool, timed);
        QFETCH(int, samples);
        auto timeOf = [&](qint64 i) -> qint64 {
            return timed ? 7 + (i + (i > 100 ? 1000 : 0)) * spacing : 0;
        };
        PointSummary s;
        for (qint64 i = 0; i < samples; ++i) {
            PlotPoint p;
            p.seqNo = i;
            p.time = timeOf(i);
            p.gap = timed && i == 101;
            s.add(p);
        }
        QVERIFY(s.stride() > 1 || samples < PointSummary::kMaxBuckets);
        QCOMPARE(s.isTimed(), timed);
        const qint64 origin = timed ? 7 : 0;
        for (qint64 i = 0; i < samples; ++i) {
            const double x = s.keyOf(i, spacing, origin);
            const double near = 0.49 * spacing;
            const double expected = timed ? double(timeOf(i) - origin) : double(i) * spacing;
            const bool wrong = x != expected || s.pointAt(x + near, spacing, origin) != i ||
                               (i > 0 && s.pointAt(x - near, spacing, origin) != i);
            if (wrong || s.pointAt(x, spacing, origin) != i)
                QFAIL(qPrintable(QStringLiteral("sample %1 at %2 s").arg(i).arg(spacing)));
        }
        QCOMPARE(s.keyOf(samples + 1, spacing, origin),
                 (timed ? double(timeOf(samples - 1) - origin) : double(samples - 1) * spacing) +
                     2 * spacing);
        // As kept in the file, times and gaps included; cut short, nothing.
        const QByteArray bytes = s.toBytes();
        QVERIFY(PointSummary::fromBytes(bytes) == s);
        QVERIFY(!PointSummary::fromBytes(bytes.chopped(1)));
        QCOMPARE(s.pointAt(-1e9, spacing, origin), 0);
        QCOMPARE(s.pointAt(1e12, spacing, origin), samples - 1);
        // Out of order, the points stand in steps again.
        PlotPoint back;
        back.time = timeOf(0);
        s.add(back);
        QVERIFY(!s.isTimed());
        QCOMPARE(s.keyOf(9, 5, origin), 45.0);
    }

    void statistics() {
        // Empty working table: zero counts and empty extremes.
        const ChannelSummary none;
        QCOMPARE(summaryLines(0, 0, 1, std::span(&none, 1)),
                 (QStringList{"Total Time:0d 0:0:0", "Time Slice: 1sec", "Samples: 0",
                              "CH1 Max:V A", "CH1 Min:V A"}));
        // Three samples at 5 s, an outage of 20 s between them.
        const ChannelSummary one{"12.5", "12.4", "1.25", "1.2"};
        QCOMPARE(summaryLines(3, 30, 5, std::span(&one, 1)).mid(0, 4),
                 (QStringList{"Total Time:0:0:30", "Time Slice: 5sec", "Samples: 2",
                              "CH1 Max:12.5V 1.25A"}));
        // Four channels: lines for every channel.
        const std::array<ChannelSummary, 4> four{one, one, one, one};
        const QStringList lines = summaryLines(2, 1, 1, four);
        QCOMPARE(lines.size(), 3 + 8);
        QCOMPARE(lines.at(9), QStringLiteral("CH4 Max:12.5V 1.25A"));
    }
};

TRQ_TEST_MAIN(TestGraphMath)
#include "tst_graphmath.moc"
