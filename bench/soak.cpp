// A month of one-second points through the recording engine, the working
// table and the graph's summaries on an accelerated clock: the time per
// point as the table grows, the memory at 0, 1 M, 2 M and the end; the
// graph window and the table's first page opened as after a restart; then
// save, load (also into the windows, drawn) and delete of the whole
// recording against a bare SQLite copy of the same rows.
// Usage: bench_soak [points] (default 2,600,000).
#include "core/clock.h"
#include "link/taskscheduler.h"
#include "session/graphseries.h"
#include "session/instrumentsession.h"
#include "session/recording.h"
#include "session/recordingengine.h"
#include "silentprompter.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "transports.h"
#include "ui/graphwindow.h"
#include "ui/sampletablemodel.h"
#include "ui/tablewindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>

using namespace trq;

namespace {

// One second a tick, as fast as the engine goes.
class AcceleratedClock final : public RecordingClock {
public:
    QDateTime now() const override { return start_.addMSecs(msec_); }
    qint64 monotonicMsec() const override { return msec_; }
    void advance() { msec_ += 1000; }

private:
    QDateTime start_ = QDateTime(QDate(2026, 12, 1), QTime(0, 0));
    qint64 msec_ = 0;
};

long rssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

double msecOf(const std::function<bool()>& work, bool* ok = nullptr) {
    QElapsedTimer t;
    t.start();
    const bool done = work();
    if (ok)
        *ok = done;
    return double(t.nsecsElapsed()) / 1e6;
}

bool exec(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

// The program's windows over the file as after a restart: a store that has
// read nothing of it yet.
struct Restarted {
    SteadyClock clock;
    SilentPrompter prompter;
    AppTransports transports;
    RecordStore store;
    TaskScheduler link{{clock, prompter}};
    TimerWaiter waiter;
    InstrumentSession session;
    std::unique_ptr<TableWindow> table;
    std::unique_ptr<GraphWindow> graph;

    explicit Restarted(Database& data)
        : store(data.database()), session({link, data, store, prompter, transports, waiter}) {
        session.connection().openTestingMode(QStringLiteral("PSQ-3323"));
    }
    Recording& recording() { return *session.recording(); }
    // As the main window shows it.
    bool openGraph() {
        graph =
            std::make_unique<GraphWindow>(session, recording(), prompter, GraphWindow::Commands{});
        graph->setChannelCount(session.supply().channelCount());
        graph->resize(1200, 760);
        graph->show();
        graph->activate();
        graph->redraw();
        graph->plotWidget()->replot(QCustomPlot::rpImmediateRefresh);
        return graph->sampleCount() > 0;
    }
    // As the graph window's Load does: the table refills, the graph redraws.
    bool load(const QString& recNo) {
        const std::optional<RecordHeader> loaded = recording().record().load(recNo);
        if (!loaded)
            return false;
        recording().announceLoaded(*loaded);
        graph->plotWidget()->replot(QCustomPlot::rpImmediateRefresh);
        return table->model().rowCount() == graph->sampleCount();
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 points = argc > 1 ? QByteArray(argv[1]).toLongLong() : 2600000;
    QTemporaryDir dir;
    Database::create(dir.filePath(QStringLiteral("mtype.mdb")));
    Database data;
    data.open(dir.path());
    RecordStore store(data.database());
    SilentPrompter prompter;
    AcceleratedClock clock;
    quint64 replies = 0;
    const RecordingEngine::Source source{
        [] { return true; },
        [] { return true; },
        [&](int c) {
            return std::pair{double(replies) / 3600.0 * (c + 1), double(replies) / 300.0};
        },
        {},
        {}};
    RecordingEngine engine(store, prompter, source, 3, &clock);
    GraphSeries series(3);
    engine.addView(&series);
    engine.arm(RecordingEngine::kContinuous, 0, 0);

    std::printf("points: %lld\n", points);
    std::printf("RSS at 0 points: %.1f MiB\n", rssKiB() / 1024.0);
    if (!engine.start())
        return 1;
    const qint64 chunk = std::max<qint64>(points / 26, 1);
    QElapsedTimer chunkTimer;
    chunkTimer.start();
    std::printf("%12s %14s %10s\n", "points", "us per point", "RSS MiB");
    for (qint64 i = 1; i <= points; ++i) {
        ++replies;
        for (int c = 0; c < 3; ++c)
            for (bool volt : {true, false}) {
                const double v = volt ? 12.0 + std::sin(double(replies) / 900.0 + c)
                                      : 1.0 + 0.5 * std::cos(double(replies) / 1300.0 + c);
                engine.take(c, volt, Reading(QString::number(v, 'f', 3)));
            }
        engine.tick();
        clock.advance();
        if (i % chunk == 0 || i == points) {
            const qint64 n = i % chunk == 0 ? chunk : i % chunk;
            std::printf("%12lld %14.1f %10.1f\n", i, double(chunkTimer.nsecsElapsed()) / 1e3 / n,
                        rssKiB() / 1024.0);
            std::fflush(stdout);
            chunkTimer.restart();
        }
        if (i % 100000 == 0)
            QCoreApplication::processEvents();
    }
    engine.stop();
    std::printf("graph: %d buckets of %lld points\n", series.bucketCount(), series.stride());

    // Opening the table window: counting and anchoring the pages.
    SampleTableModel model(3);
    const double tableMs = msecOf([&] { return model.show(&store); });
    const double pageMs =
        msecOf([&] { return !model.row(model.rowCount() / 2).recTime.isEmpty(); });
    std::printf("table window: %d rows shown in %.0f ms, a page in %.1f ms\n", model.rowCount(),
                tableMs, pageMs);
    GraphSeries reread(3);
    const double graphMs = msecOf([&] { return reread.reload(store); });
    std::printf("graph read again from the store: %.0f ms\n", graphMs);
    std::printf("RSS after the run: %.1f MiB\n", rssKiB() / 1024.0);

    // After a restart: the table's first page, and the graph window opened.
    {
        RecordStore fresh(data.database());
        SampleTableModel first(3);
        const double firstPageMs =
            msecOf([&] { return first.show(&fresh) && !first.row(0).recTime.isEmpty(); });
        std::printf("first table page: %.0f ms\n", firstPageMs);
    }
    Restarted windows(data);
    bool drawn = false;
    const double openMs = msecOf([&] { return windows.openGraph(); }, &drawn);
    std::printf("open graph: %.0f ms%s\n", openMs, drawn ? "" : " (FAILED)");
    windows.table = std::make_unique<TableWindow>(windows.recording(), windows.prompter);

    // Save, load and delete against bare copies of the same rows.
    QSqlDatabase db = data.database();
    bool ok = false;
    const double save = msecOf(
        [&] {
            return store.saveNew({QStringLiteral("1"), QStringLiteral("2026/12/01 00:00:00"),
                                  QStringLiteral("2026/12/31 00:00:00"), QStringLiteral("soak"),
                                  QStringLiteral("0"), QStringLiteral("0")},
                                 1);
        },
        &ok);
    const double bareSave = msecOf([&] {
        return exec(db, QStringLiteral("create table bare as select * from datatemp where 0")) &&
               db.transaction() &&
               exec(db, QStringLiteral("insert into bare select * from datatemp")) && db.commit();
    });
    std::printf("save:   %8.0f ms   bare copy %8.0f ms   x%.2f %s\n", save, bareSave,
                save / bareSave, ok ? "" : "(FAILED)");
    const double loadDraw = msecOf([&] { return windows.load(QStringLiteral("1")); }, &ok);
    std::printf("load and draw: %.0f ms%s\n", loadDraw, ok ? "" : " (FAILED)");
    // The least SQL that copies the record's rows, into a table without index.
    const double bareRecord = msecOf([&] {
        return exec(db, QStringLiteral("create table bare3 as select * from datatemp where 0")) &&
               db.transaction() &&
               exec(db, QStringLiteral("insert into bare3 select SeqNo, RecTime, PVal, SVal, "
                                       "Reason, PVal2, SVal2, Reason2, PVal3, SVal3, Reason3, "
                                       "Comment, TimeTick, DiffLastTime, PVal4, SVal4, Gap, Ah1, "
                                       "Wh1, Ah2, Wh2, Ah3, Wh3, Ah4, Wh4 from datadetail where "
                                       "RecNo = '1'")) &&
               db.commit();
    });
    std::printf("bare copy of the record's rows: %.0f ms; load and draw x%.2f\n", bareRecord,
                loadDraw / bareRecord);
    const double load = msecOf([&] { return store.loadToWorking(QStringLiteral("1")); }, &ok);
    const double bareLoad = msecOf([&] {
        return db.transaction() && exec(db, QStringLiteral("delete from bare")) &&
               exec(db, QStringLiteral("insert into bare select * from datatemp")) && db.commit();
    });
    std::printf("load:   %8.0f ms   bare copy %8.0f ms   x%.2f %s\n", load, bareLoad,
                load / bareLoad, ok ? "" : "(FAILED)");

    const double remove = msecOf([&] { return store.deleteRecord(QStringLiteral("1")); }, &ok);
    const double bareRemove = msecOf([&] {
        return db.transaction() && exec(db, QStringLiteral("delete from bare")) && db.commit();
    });
    std::printf("delete: %8.0f ms   bare      %8.0f ms   x%.2f %s\n", remove, bareRemove,
                remove / bareRemove, ok ? "" : "(FAILED)");
    // The same rows into a table shaped like the records' own, index included.
    const double bareIndexed = msecOf([&] {
        return exec(db, QStringLiteral("create table bare2 as select 'x' as RecNo, * from datatemp "
                                       "where 0")) &&
               exec(db, QStringLiteral("create index bare2_recno on bare2 (RecNo, SeqNo)")) &&
               db.transaction() &&
               exec(db, QStringLiteral("insert into bare2 select '1', * from datatemp")) &&
               db.commit();
    });
    std::printf("save against a bare copy into an indexed table: %.0f ms, x%.2f\n", bareIndexed,
                save / bareIndexed);
    std::printf("RSS at the end: %.1f MiB\n", rssKiB() / 1024.0);
    return 0;
}
