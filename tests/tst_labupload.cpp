// A recording's points on their way to the lab database, with a real
// server of the test's own: each point there exactly once, however often
// the server goes away, comes back or stalls, and the local recording never
// held up meanwhile.
#include "session/labupload.h"
#include "storage/recordstore.h"
#include "support/pgserver.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

struct Uploads : DatabaseFixture {
    PgServer server;
    int rows = 0;
    bool ready() {
        return server.error().isEmpty() && server.createDatabase(QStringLiteral("lab"));
    }
    // Points of two channels, a second apart, appended as a recording does.
    void record(int count) {
        for (int end = rows + count; rows < end; ++rows) {
            SampleRow r;
            r.seqNo = rows;
            r.recTime = QDateTime(QDate(2026, 12, 9), QTime(10, 0))
                            .addSecs(rows)
                            .toString(QLatin1String(kRecordTimeFormat));
            r.volt = {QString::number(rows), QStringLiteral("5.000"), {}, {}};
            r.curr = {QStringLiteral("0.500"), QStringLiteral("0.100"), {}, {}};
            QVERIFY(store->appendSample(r));
        }
    }
    LabUpload::Source source() const {
        return {QStringLiteral("bench-1"), QStringLiteral("rail"), QStringLiteral("PSQ-3323"),
                QStringLiteral("20260001"), 2};
    }
    // Points on the server, or -1.
    int onServer(const QString& where = QStringLiteral("true")) {
        LabDatabase db(server.address(QStringLiteral("lab")), QStringLiteral("check"));
        if (db.open())
            return -1;
        return sqlCount(db.database(), QStringLiteral("select count(*) from point where ") + where);
    }
    static bool sent(LabUpload& u) {
        return QTest::qWaitFor(
            [&] {
                u.sendNow();
                return !u.sending() && u.waiting() == 0 && u.problem().isEmpty();
            },
            20000);
    }
};

} // namespace

class TestLabUpload : public QObject {
    Q_OBJECT
private slots:
    // Sent in batches, each point once; the server stopped mid-recording:
    // the recording goes on, the points wait and are all there once it is
    // back; a run sent again from its start adds nothing.
    void everyPointOnceThroughAnOutage() {
        Uploads f;
        QVERIFY2(f.ready(), qPrintable(f.server.error()));
        const QDateTime started(QDate(2026, 12, 9), QTime(10, 0));
        LabUpload upload(f.server.address(QStringLiteral("lab")), *f.store, f.source());
        upload.startRun(1, started);
        f.record(LabUpload::kBatchRows + 10); // more than one batch
        QVERIFY(Uploads::sent(upload));
        QCOMPARE(f.onServer(), 2 * f.rows);

        QVERIFY(f.server.stop());
        f.record(30);
        QSignalSpy progressed(&upload, &LabUpload::progressed);
        upload.sendNow();
        QVERIFY(progressed.wait(20000));
        QVERIFY(!upload.problem().isEmpty());
        QCOMPARE(upload.waiting(), 30);
        QVERIFY(f.server.start());
        QVERIFY(Uploads::sent(upload));
        QCOMPARE(f.onServer(), 2 * f.rows);
        QCOMPARE(
            f.onServer(QStringLiteral("seq = 5 and channel = 1 and voltage = 5 and "
                                      "current = 0.5 and time = '2026-12-09 10:00:05'::timestamp "
                                      "at time zone '%1'")
                           .arg(QString::fromLatin1(QTimeZone::systemTimeZoneId()))),
            1);

        LabUpload again(f.server.address(QStringLiteral("lab")), *f.store, f.source());
        again.startRun(1, started);
        QVERIFY(Uploads::sent(again));
        QCOMPARE(f.onServer(), 2 * f.rows);
    }

    // A stalled server (SIGSTOP) holds only the sender: the recording and
    // the event loop go on, the points wait, and the upload goes without
    // waiting for it; all arrive once it runs again.
    void aStalledServerHoldsNothingUp() {
        Uploads f;
        QVERIFY2(f.ready(), qPrintable(f.server.error()));
        auto upload = std::make_unique<LabUpload>(f.server.address(QStringLiteral("lab")), *f.store,
                                                  f.source());
        upload->startRun(7, QDateTime::currentDateTime());
        f.record(5);
        QVERIFY(Uploads::sent(*upload));
        QVERIFY(f.server.freeze(true));
        f.record(5);
        upload->sendNow();
        QVERIFY(upload->sending());
        bool turned = false;
        QTimer::singleShot(0, [&] { turned = true; });
        QTRY_VERIFY(turned); // the loop is free while the batch hangs
        f.record(5);
        QCOMPARE(upload->waiting(), 10);
        upload.reset(); // goes without its answer
        QVERIFY(f.server.freeze(false));
        LabUpload after(f.server.address(QStringLiteral("lab")), *f.store, f.source());
        after.startRun(7, QDateTime::currentDateTime());
        QVERIFY(Uploads::sent(after));
        QCOMPARE(f.onServer(), 2 * 15);
    }
};

TRQ_TEST_MAIN(TestLabUpload)
#include "tst_labupload.moc"
