#include "storage/csvexport.h"
#include "storage/database.h"
#include "support/testsupport.h"

#include <QFile>

using namespace trq;
using namespace trq::test;

namespace {

QList<SampleRow> rows() {
    QList<SampleRow> list;
    for (int i = 0; i < 2; ++i) {
        SampleRow r;
        r.seqNo = i;
        r.recTime = QStringLiteral("2026/12/06 10:00:0%1").arg(i);
        for (std::size_t c = 0; c < 4; ++c) {
            r.volt[c] = QStringLiteral("%1.000").arg(int(c) + 1);
            r.curr[c] = QStringLiteral("0.%1").arg(int(c) + 1);
            r.charge[c] = QStringLiteral("0.0%1").arg(int(c) + 1);
            r.energy[c] = QStringLiteral("0.%1").arg(int(c) + 5);
        }
        r.gap = i == 1;
        list << r;
    }
    list[1].volt[2].clear(); // a null value is an empty field
    return list;
}

} // namespace

class TestGraphExport : public QObject {
    Q_OBJECT
private slots:
    void fileFormatPerChannelCount_data() {
        columns<int, QByteArray>("channels", "expected");
        // The first columns as they always were; charge, energy and the gap
        // flag after them.
        const QByteArray threeColumns =
            "No.,Time,Ch1 V,Ch1 A,Ch2 V,Ch2 A,Ch3 V,Ch3 A,Ch1 Ah,Ch1 Wh,Ch2 Ah,Ch2 Wh,Ch3 Ah,Ch3 "
            "Wh,Gap\r\n"
            "0,2026/12/06 10:00:00,1.000,0.1,2.000,0.2,3.000,0.3,0.01,0.5,0.02,0.6,0.03,0.7,0\r\n"
            "1,2026/12/06 10:00:01,1.000,0.1,2.000,0.2,,0.3,0.01,0.5,0.02,0.6,0.03,0.7,1\r\n";
        QTest::newRow("one channel keeps channels 2 and 3") << 1 << threeColumns;
        QTest::newRow("two channels: six columns")
            << 2
            << QByteArray("No.,Time,Ch1 V,Ch1 A,Ch2 V,Ch2 A,Ch1 Ah,Ch1 Wh,Ch2 Ah,Ch2 Wh,Gap\r\n"
                          "0,2026/12/06 10:00:00,1.000,0.1,2.000,0.2,0.01,0.5,0.02,0.6,0\r\n"
                          "1,2026/12/06 10:00:01,1.000,0.1,2.000,0.2,0.01,0.5,0.02,0.6,1\r\n");
        QTest::newRow("three channels") << 3 << threeColumns;
        QTest::newRow("four channels add channel 4")
            << 4
            << QByteArray("No.,Time,Ch1 V,Ch1 A,Ch2 V,Ch2 A,Ch3 V,Ch3 A,Ch4 V,Ch4 A,Ch1 Ah,Ch1 "
                          "Wh,Ch2 Ah,Ch2 Wh,Ch3 Ah,Ch3 Wh,Ch4 Ah,Ch4 Wh,Gap\r\n"
                          "0,2026/12/06 10:00:00,1.000,0.1,2.000,0.2,3.000,0.3,4.000,0.4,0.01,0.5,"
                          "0.02,0.6,0.03,0.7,0.04,0.8,0\r\n"
                          "1,2026/12/06 10:00:01,1.000,0.1,2.000,0.2,,0.3,4.000,0.4,0.01,0.5,0.02,"
                          "0.6,0.03,0.7,0.04,0.8,1\r\n");
    }
    void fileFormatPerChannelCount() {
        auto [channels, expected] = fetch<int, QByteArray>("channels", "expected");
        // Through the store and the file, a row at a time.
        DatabaseFixture db;
        RecordStore& store = *db.store;
        for (const SampleRow& r : rows())
            QVERIFY(store.appendSample(r));
        const QString path = QStringLiteral("export%1.csv").arg(channels);
        // Rows go in in sample order, so either order reads them the same.
        QVERIFY(writeExport(path, channels, store,
                            channels % 2 ? RowOrder::Stored : RowOrder::BySeqNo));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), expected);
        QCOMPARE(exportCsv(channels, rows()), expected);

        // An unwritable path is reported and leaves nothing.
        QString error;
        QVERIFY(!writeExport(QStringLiteral("no/such/folder/x.csv"), 3, store, RowOrder::Stored,
                             &error));
        QVERIFY(!error.isEmpty());
    }
};

TRQ_TEST_MAIN(TestGraphExport)
#include "tst_csvexport.moc"
