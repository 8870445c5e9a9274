#include "core/numbers.h"
#include "protocol/commands.h"
#include "storage/benchstore.h"
#include "storage/csvexport.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/testsupport.h"

#include <QFile>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

struct StoreFixture : DatabaseFixture {
    void record(int samples, int channels = 3, RecordStore* into = nullptr, int skipped = -1) {
        for (int i = 0; i < samples; ++i) {
            if (i == skipped)
                continue;
            SampleRow r;
            r.seqNo = i;
            r.recTime = QStringLiteral("2026/12/06 10:00:%1").arg(i, 2, 10, QLatin1Char('0'));
            for (int c = 0; c < channels; ++c) {
                r.volt[std::size_t(c)] = QString::number(1.5 * (c + 1) + i, 'f', 3);
                r.curr[std::size_t(c)] = QString::number(0.1 * (c + 1) + i, 'f', 3);
            }
            r.timeTick = i;
            r.diffLastTime = i == 0 ? 0 : 1;
            QVERIFY((into ? into : store.get())->appendSample(r));
        }
    }
    bool save(const QString& recNo, const QString& comment = QStringLiteral("c")) {
        return store->saveNew({recNo, "a", "b", comment, "0", "0"}, 0);
    }
    int count(const QString& sql) { return sqlCount(data.database(), sql); }
    // The working table's summary as a store that reads every row makes
    // it, and as a store after a restart (and this one) have it.
    void summaryStandsForTheRows(bool kept = true) {
        QSqlQuery q(data.database());
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE datasummary RENAME TO away")));
        const PointSummary rows = *RecordStore(data.database()).workingSummary();
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE away RENAME TO datasummary")));
        QVERIFY(*RecordStore(data.database()).workingSummary() == rows);
        QVERIFY(!kept || *store->workingSummary() == rows);
    }
};

// Two rows of four channels, the second a gap with a null value.
QList<SampleRow> exportRows() {
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

class TestRecordStore : public QObject {
    Q_OBJECT
private slots:
    // Record numbers are unique in the file and follow their numeric value;
    // a number that cannot be found out is not guessed, and a deleted
    // highest one is given again.
    void recordNumbersAreUniqueAndNumeric() {
        StoreFixture f;
        QCOMPARE(f.store->nextRecordNumber(), QStringLiteral("1"));
        f.record(2);
        for (int i = 1; i <= 12; ++i)
            QVERIFY(f.save(QString::number(i)));
        QVERIFY(!f.save(QStringLiteral("1"), QStringLiteral("again")));
        QCOMPARE(f.store->nextRecordNumber(), QStringLiteral("13")); // not "10" after "9"
        const QList<RecordHeader> list = f.store->records();
        QCOMPARE(list.size(), 12);
        QCOMPARE(list.first().recNo, QStringLiteral("12"));
        QCOMPARE(list.at(2).recNo, QStringLiteral("10"));
        QCOMPARE(list.last().recNo, QStringLiteral("1"));
        // Deleting takes the header and the details.
        QVERIFY(f.store->deleteRecord(QStringLiteral("12")));
        QCOMPARE(f.store->records().size(), 11);
        QCOMPARE(f.store->nextRecordNumber(), QStringLiteral("12"));
        QCOMPARE(f.count(QStringLiteral("select count(*) from datadetail")), 11 * 2);
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE datamain RENAME TO datamain_gone")));
        QCOMPARE(f.store->nextRecordNumber(), std::nullopt);
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE datamain_gone RENAME TO datamain")));
        QCOMPARE(f.store->nextRecordNumber(), QStringLiteral("12"));
    }

    // A file from an earlier version gets the unique index when its numbers
    // allow it, and is left as it is when they do not; the working table's
    // header is kept beside it from then on.
    void olderFilesGetTheIndexWhenTheyCan() {
        for (bool duplicates : {false, true}) {
            StoreFixture f;
            QSqlQuery q(f.data.database());
            QVERIFY(q.exec(QStringLiteral("DROP INDEX datamain_recno")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE workhead")));
            QVERIFY(q.exec(QStringLiteral("insert into datamain (RecNo) values ('1'), ('2')")));
            if (duplicates)
                QVERIFY(q.exec(QStringLiteral("insert into datamain (RecNo) values ('2')")));
            const QString folder = f.data.folder();
            QCOMPARE(f.data.open(folder), Database::OpenResult::Ok);
            QCOMPARE(f.count(QStringLiteral(
                         "select count(*) from sqlite_master where name = 'datamain_recno'")),
                     duplicates ? 0 : 1);
            QCOMPARE(f.count(QStringLiteral("select count(*) from datamain")), duplicates ? 3 : 2);
            RecordStore store(f.data.database());
            QCOMPARE(store.workingHeader(), std::nullopt);
            const WorkingHeader h{"7", "2026/12/06 10:00:00", "2026/12/06 11:00:00", "it's a run",
                                  true};
            QVERIFY(store.setWorkingHeader(h));
            QVERIFY(store.setWorkingHeader(h));
            QCOMPARE(store.workingHeader(), h);
        }
    }

    // Saved, loaded and replaced, a record keeps every column, and any text
    // as it is; a replace that fails part-way leaves the saved record as it
    // was: every row, every column and the description.
    void saveLoadAndReplaceKeepEveryColumn() {
        StoreFixture f;
        f.record(5, 4);
        QCOMPARE(f.store->workingRows(QLatin1Char('1')).size(), 5); // the filter by condition
        QCOMPARE(f.store->workingRows(QLatin1Char('0')).size(), 0);
        // Any text is stored as it is, never read as SQL.
        const QString tricky = QStringLiteral("O'Brien's \"run\"; drop table datamain; --");
        QVERIFY(f.store->saveNew({"1", "a", "b", tricky, "3", "2"}, 1));
        QCOMPARE(f.store->record(QStringLiteral("1"))->comment, tricky);
        QVERIFY(!f.store->record(QStringLiteral("1' or '1'='1")));
        QVERIFY(f.store->clearWorking());
        QCOMPARE(f.store->workingCount(), 0);
        QVERIFY(f.store->loadToWorking(QStringLiteral("1")));
        const QList<SampleRow> rows = f.store->workingRows();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(4).volt[2], QStringLiteral("8.500")); // as the panel showed it
        QCOMPARE(rows.at(4).curr[3], QStringLiteral("4.400"));
        QCOMPARE(rows.at(4).timeTick, 4);
        QCOMPARE(rows.at(4).reason[2], QStringLiteral("3"));

        QVERIFY(f.store->setComment(rows.at(0).recTime, tricky));
        QVERIFY(f.store->replace(QStringLiteral("1"), QStringLiteral("second"), 0));
        QVERIFY(f.store->loadToWorking(QStringLiteral("1")));
        const QList<SampleRow> before = f.store->workingRows();
        QCOMPARE(before.at(0).comment, tricky);
        QCOMPARE(before.at(3).volt[1], QStringLiteral("6.000"));
        const RecordHeader h = *f.store->record(QStringLiteral("1"));
        QCOMPARE(h.comment, QStringLiteral("second"));
        QCOMPARE(h.startTime, QStringLiteral("a"));
        QCOMPARE(h.recStyle, QStringLiteral("3"));

        QVERIFY(f.store->clearWorking());
        f.record(9); // new working data, to be written over record 1
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER partway BEFORE INSERT ON datadetail WHEN "
                                      "NEW.SeqNo = 4 BEGIN SELECT RAISE(ABORT, 'disk I/O "
                                      "error'); END")));
        QVERIFY(!f.store->replace(QStringLiteral("1"), QStringLiteral("third"), 0));
        QVERIFY(f.store->lastError().contains(QLatin1String("disk I/O error")));
        QVERIFY(q.exec(QStringLiteral("DROP TRIGGER partway")));
        QCOMPARE(f.store->record(QStringLiteral("1"))->comment, QStringLiteral("second"));
        QVERIFY(f.store->loadToWorking(QStringLiteral("1")));
        const QList<SampleRow> after = f.store->workingRows();
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QCOMPARE(after[i].volt, before[i].volt);
            QCOMPARE(after[i].curr, before[i].curr);
            QCOMPARE(after[i].comment, before[i].comment);
            QCOMPARE(after[i].timeTick, before[i].timeTick);
        }
        // A record without details loads as an empty working table.
        QVERIFY(QSqlQuery(f.data.database()).exec(QStringLiteral("delete from datadetail")));
        QVERIFY(f.store->loadToWorking(QStringLiteral("1")));
        QCOMPARE(f.store->workingCount(), 0);
    }

    // A bench's run is one record: its CSV has a row per instant with an
    // empty place where a supply had no point, and it is saved, loaded and
    // deleted whole. A program that knows one supply sees the first
    // supply's points; what it deletes takes the others' with it at the
    // next open, and a record it saves under that number gains none.
    void benchRunsAreOneRecord() {
        StoreFixture f;
        BenchStore bench(f.data);
        RecordStore* second = bench.store(2);
        QVERIFY(second);
        f.record(3, 1);
        f.record(3, 2, second, 1); // nothing at 10:00:01
        const QString start = QStringLiteral("2026/12/06 10:00:00");
        QVERIFY(f.store->setWorkingHeader({{}, start, {}, {}, true, 0}));
        const std::vector<RecordedSupply> supplies{
            {1, "logic", "PSQ-3323", "S1", "sim:PSQ-3323"},
            {2, "PSQ-3323 #2", "PSQ-3323", "", "serial:/dev/ttyUSB1@9600", 2}};
        QVERIFY(setRunSupplies(bench, supplies, start));
        QCOMPARE(bench.supplies({}), supplies);

        const QString csv = f.folder + QStringLiteral("/bench.csv");
        // A point the file did not take yet follows its supply's rows.
        SampleRow waiting;
        waiting.recTime = QStringLiteral("2026/12/06 10:00:03");
        waiting.volt[0] = QStringLiteral("9.000");
        waiting.curr[0] = QStringLiteral("0.500");
        QVERIFY(writeBenchExport(csv, {{"logic", 1, f.store.get(), 1, {}, {}, {}},
                                       {"rail, B", 2, second, 2, {waiting}, {}, {}}}));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("Time,logic CH1 V,logic CH1 A,logic CH1 Ah,logic CH1 Wh,logic Gap,"
                            "\"rail, B CH1 V\",\"rail, B CH1 A\",\"rail, B CH2 V\",\"rail, B CH2 "
                            "A\",\"rail, B CH1 Ah\",\"rail, B CH1 Wh\",\"rail, B CH2 Ah\",\"rail, "
                            "B CH2 Wh\",\"rail, B Gap\"\r\n"
                            "2026/12/06 10:00:00,1.500,0.100,,,0,1.500,0.100,3.000,0.200,,,,,0\r\n"
                            "2026/12/06 10:00:01,2.500,1.100,,,0,,,,,,,,,\r\n"
                            "2026/12/06 10:00:02,3.500,2.100,,,0,3.500,2.100,5.000,2.200,,,,,0\r\n"
                            "2026/12/06 10:00:03,,,,,,9.000,0.500,,,,,,,0\r\n"));

        QVERIFY(bench.saveNew({"1", start, "e", "run", "0", "0"}, 0));
        QCOMPARE(f.count("select count(*) from datamain"), 1);
        QCOMPARE(f.count("select count(*) from datadetail_s2 where RecNo = '1'"), 2);
        // The working table's header names the record, saved.
        QCOMPARE(f.store->workingHeader()->recNo, QStringLiteral("1"));
        QVERIFY(!f.store->workingHeader()->unsaved);
        QVERIFY(f.store->clearWorking() && second->clearWorking());
        f.record(2, 1, bench.store(3)); // a later run's third supply
        QVERIFY(BenchStore(f.data).loadToWorking(QStringLiteral("1")));
        QCOMPARE(second->workingCount(), 2);
        QCOMPARE(bench.store(3)->workingCount(), 0);
        QCOMPARE(bench.supplies(QStringLiteral("1")), supplies);
        // Saved again over itself: every supply's rows as they are now.
        QVERIFY(second->appendSample(waiting));
        QVERIFY(bench.replace(QStringLiteral("1"), QStringLiteral("again"), 0));
        QCOMPARE(f.count("select count(*) from datadetail_s2 where RecNo = '1'"), 3);
        QCOMPARE(f.count("select count(*) from datamain where Comment = 'again'"), 1);
        QVERIFY(second->clearWorking() && second->appendSample(waiting) &&
                second->appendSample(waiting));
        QVERIFY(bench.loadToWorking(QStringLiteral("1")));
        // What a program that knows one supply reads of it.
        RecordStore older(f.data.database());
        QCOMPARE(older.records().size(), 1);
        QVERIFY(older.loadToWorking(QStringLiteral("1")));
        QCOMPARE(older.workingCount(), 3);

        // A save that fails part-way saves nothing.
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec("CREATE TRIGGER partway BEFORE INSERT ON datadetail_s2 BEGIN SELECT "
                       "RAISE(ABORT, 'disk full'); END"));
        QVERIFY(setRunSupplies(bench, supplies, start));
        QVERIFY(!bench.saveNew({"2", start, "e", "run", "0", "0"}, 0));
        QVERIFY(bench.lastError().contains(QLatin1String("disk full")));
        QCOMPARE(f.count("select count(*) from datamain"), 1);
        QCOMPARE(f.count("select count(*) from datadetail"), 3);
        QVERIFY(q.exec("DROP TRIGGER partway"));

        QVERIFY(older.deleteRecord(QStringLiteral("1")));
        QVERIFY(older.saveNew({"1", "later", "e", "single", "0", "0"}, 0));
        QCOMPARE(bench.supplies(QStringLiteral("1")).size(), std::size_t(1));
        BenchStore reopened(f.data);
        QCOMPARE(f.count("select count(*) from datadetail_s2 where RecNo = '1'"), 0);
        QVERIFY(bench.saveNew({"3", start, "e", "run", "0", "0"}, 0));
        QVERIFY(bench.deleteRecord(QStringLiteral("3")));
        QCOMPARE(f.count("select count(*) from datadetail_s2"), 0);
        QCOMPARE(f.count("select count(*) from datasupply where RecNo <> ''"), 0);
        QCOMPARE(f.count("select count(*) from datamain"), 1);
    }

    void graphValuesAreTheLeadingNumbers() {
        StoreFixture f;
        const QStringList texts{"12.5V", "", "OVP", " 7", "1e3", "-.5", "2.5.1", "+3", "1e"};
        for (int i = 0; i < texts.size(); ++i) {
            SampleRow r;
            r.seqNo = texts.size() - i; // stored out of order, read in sample order
            r.volt[3] = texts[i];
            r.curr[0] = texts[i];
            QVERIFY(f.store->appendSample(r));
        }
        std::vector<PlotPoint> points;
        QVERIFY(f.store->forEachPlotPoint([&](const PlotPoint& p) { points.push_back(p); }));
        QCOMPARE(points.size(), std::size_t(texts.size()));
        for (int i = 0; i < texts.size(); ++i) {
            const QString& text = texts[texts.size() - 1 - i];
            const PlotPoint& p = points[std::size_t(i)];
            QCOMPARE(p.volt[3], leadingNumber(text));
            QCOMPARE(p.curr[0], leadingNumber(text));
            QCOMPARE(p.volt[0], 0.0); // never written
        }
    }

    // A long recording's summary is stored with the working table and with
    // each record of all of it, and stands for the rows wherever it is read:
    // after a restart, a load, a part, rows another program recorded over
    // it, a file of an earlier version (read from the rows once).
    void storedSummariesStandForTheirRows() {
        StoreFixture f;
        const int n = PointSummary::kMaxBuckets + 100;
        QVERIFY(f.data.database().transaction());
        f.record(n);
        QVERIFY(f.data.database().commit());
        f.summaryStandsForTheRows();
        QVERIFY(f.save(QStringLiteral("1")));
        QVERIFY(f.store->saveNew({"2", "a", "b", "part", "0", "0"}, 0, {0, 99}));
        QCOMPARE(f.count(QStringLiteral("select Points from datasummary where RecNo = '1'")), n);
        for (const char* recNo : {"2", "1"}) {
            QVERIFY(f.store->loadToWorking(QLatin1String(recNo)));
            f.summaryStandsForTheRows();
        }
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("delete from datatemp")));
        QVERIFY(q.exec(QStringLiteral("insert into datatemp (SeqNo, RecTime, PVal) select SeqNo, "
                                      "'later', '9' from datadetail where RecNo = '1'")));
        f.summaryStandsForTheRows(false);
        QVERIFY(f.store->deleteRecord(QStringLiteral("1")));
        QCOMPARE(f.count(QStringLiteral("select count(*) from datasummary where RecNo = '1'")), 0);
        QVERIFY(q.exec(QStringLiteral("DROP TABLE datasummary")));
        QCOMPARE(f.data.open(f.folder), Database::OpenResult::Ok);
        f.summaryStandsForTheRows(false);
        QCOMPARE(f.count(QStringLiteral("select Points from datasummary where RecNo = ''")), n);
    }

    // Extremes are numeric ("1e2" is above "40.5") and skip readings that are
    // empty or no number; points folded in one by one give what a full read
    // of the table gives, and any other change starts over.
    void keptReadingsMatchAFreshRead() {
        StoreFixture f;
        f.record(3);
        auto scan = [&] {
            RecordStore fresh(f.data.database());
            return fresh.extremesUpTo(4);
        };
        QVERIFY(f.store->extremesUpTo(4) == scan());
        const QStringList texts{"40.5", "-3", "", "OVP", " 7 ", "1e2", "0.001", "2.5.1"};
        for (int i = 0; i < texts.size(); ++i) {
            SampleRow r;
            r.seqNo = 3 + i;
            r.volt = {texts[i], texts[(i + 1) % texts.size()],
                      i % 2 ? QStringLiteral("OVP") : QString(), texts[(i + 3) % texts.size()]};
            r.curr = {texts[(i + 5) % texts.size()], {}, texts[i], {}};
            QVERIFY(f.store->appendSample(r));
            QVERIFY2(f.store->extremesUpTo(4) == scan(), qPrintable(texts[i]));
        }
        QCOMPARE(f.store->extremesUpTo(1).front().maxVolt, std::optional<double>(100.0));
        QCOMPARE(f.store->extremes(3).minVolt, std::optional<double>(4.5)); // 4.5, 5.5, 6.5
        SampleRow early;                                                    // out of sample order
        early.seqNo = 1;
        early.volt[0] = QStringLiteral("5");
        QVERIFY(f.store->appendSample(early));
        QVERIFY(f.store->clearWorking());
        QVERIFY(!f.store->extremesUpTo(1).front().maxVolt);
        f.record(2);
        QVERIFY(f.store->extremesUpTo(4) == scan());
        QVERIFY(!f.store->extremes(4).maxVolt); // nothing on channel 4
    }

    // The export file of the working table per channel count.
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
        for (const SampleRow& r : exportRows())
            QVERIFY(store.appendSample(r));
        const QString path = QStringLiteral("export%1.csv").arg(channels);
        // Rows go in in sample order, so either order reads them the same.
        QVERIFY(writeExport(path, channels, store,
                            channels % 2 ? RowOrder::Stored : RowOrder::BySeqNo));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), expected);
        QCOMPARE(exportCsv(channels, exportRows()), expected);

        // An unwritable path is reported and leaves nothing.
        QString error;
        QVERIFY(!writeExport(QStringLiteral("no/such/folder/x.csv"), 3, store, RowOrder::Stored,
                             &error));
        QVERIFY(!error.isEmpty());
    }
};

TRQ_TEST_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
