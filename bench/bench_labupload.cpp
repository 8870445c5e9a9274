// The lab database's figures against a server of its own on this machine,
// printed as a table: how fast batches of points go in, how long the
// backlog of an hour's four-channel recording takes once the server is back,
// and what a recorded point costs with the upload running (the server up,
// down or stalled) against without it.
#include "ownfolder.h"
#include "session/labupload.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

using namespace trq;

namespace {

struct Local {
    QTemporaryDir dir;
    Database data;
    std::unique_ptr<RecordStore> store;
    qint64 rows = 0;
    Local() {
        Database::create(dir.filePath(QStringLiteral("mtype.mdb")));
        data.open(dir.path());
        store = std::make_unique<RecordStore>(data.database());
    }
    // Appends points as a recording does; the mean cost of one in µs.
    double record(qint64 count) {
        QElapsedTimer t;
        t.start();
        for (const qint64 end = rows + count; rows < end; ++rows) {
            SampleRow r;
            r.seqNo = rows;
            r.recTime = QDateTime(QDate(2026, 12, 9), QTime(0, 0))
                            .addSecs(rows)
                            .toString(QLatin1String(kRecordTimeFormat));
            for (std::size_t c = 0; c < 4; ++c) {
                r.volt[c] = QString::number(1.0 + double(c) + double(rows % 100) / 100, 'f', 3);
                r.curr[c] = QStringLiteral("0.500");
            }
            r.timeTick = rows;
            store->appendSample(r);
            QCoreApplication::processEvents(); // the upload's answers, as the event loop takes them
        }
        return double(t.nsecsElapsed()) / 1e3 / double(count);
    }
};

// The store's points go under this run from now on.
void startRun(RecordStore& store, qint64 run) {
    store.setWorkingRun(WorkingRun{QStringLiteral("bench"), QStringLiteral("TRQ-7206S"),
                                   QStringLiteral("TRQ-7206S"), QStringLiteral("1"), 4, run,
                                   QDateTime::currentDateTime()});
}

// Until nothing waits; the seconds it took, or -1.
double drain(LabUpload& u, int limitMsec = 120000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < limitMsec) {
        u.sendNow();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!u.sending() && u.waiting() == 0 && u.problem().isEmpty())
            return double(t.nsecsElapsed()) / 1e9;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    OwnFolder home;
    QCoreApplication app(argc, argv);
    home.enter();
    test::PgServer server;
    if (!server.error().isEmpty() || !server.createDatabase(QStringLiteral("lab"))) {
        std::fprintf(stderr, "No server: %s\n", qPrintable(server.error()));
        return 1;
    }
    const LabAddress address = server.address(QStringLiteral("lab"));

    // Throughput: 25,000 points of four channels waiting, then sent.
    double perSecond = 0;
    {
        Local big;
        big.record(25000);
        startRun(*big.store, 1);
        LabUpload upload(address, *big.store);
        const double sec = drain(upload);
        perSecond = sec > 0 ? 4 * 25000 / sec : 0;
    }
    // An hour of a four-channel recording held back by a server away.
    double hourSec = 0;
    {
        Local hour;
        hour.record(3600);
        startRun(*hour.store, 2);
        LabUpload backlog(address, *hour.store);
        hourSec = drain(backlog);
    }
    // A point's cost without the lab database and with it, the server up,
    // stalled (SIGSTOP) and down: each over 2,000 points in a file of its
    // own, the cases taken in turn five times, the median kept.
    enum Case { Without, Up, Stalled, Down };
    std::array<std::vector<double>, 4> costs;
    qint64 run = 10;
    qint64 stalledGoneMs = 0;
    for (int round = 0; round < 5; ++round)
        for (Case c : {Without, Up, Stalled, Down}) {
            Local local;
            std::unique_ptr<LabUpload> upload;
            if (c != Without) {
                if (c == Stalled)
                    server.freeze(true);
                if (c == Down)
                    server.stop();
                startRun(*local.store, ++run);
                upload = std::make_unique<LabUpload>(address, *local.store);
            }
            // A batch under way (or hanging) while the points are recorded.
            local.record(10);
            if (upload)
                upload->sendNow();
            costs[c].push_back(local.record(2000));
            QElapsedTimer gone;
            gone.start();
            upload.reset();
            if (c == Stalled) {
                stalledGoneMs = std::max(stalledGoneMs, gone.elapsed());
                server.freeze(false);
            }
            if (c == Down)
                server.start();
        }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double without = median(costs[Without]);
    const double withUp = median(costs[Up]);
    const double withStalled = median(costs[Stalled]);
    const double withDown = median(costs[Down]);
    std::printf("a stalled upload goes in %lld ms at most\n",
                static_cast<long long>(stalledGoneMs));

    std::printf("%-44s %12s\n", "lab database (local PostgreSQL)", "");
    std::printf("%-44s %12.0f\n", "upload, points/s (100,000 in batches)", perSecond);
    std::printf("%-44s %12.2f\n", "backlog of 1 h x 4 channels sent in, s", hourSec);
    std::printf("%-44s %12.1f\n", "recorded point, us (median of 5), without", without);
    std::printf("%-44s %12.1f\n", "recorded point, us, with (server up)", withUp);
    std::printf("%-44s %12.1f\n", "recorded point, us, with (server stalled)", withStalled);
    std::printf("%-44s %12.1f\n", "recorded point, us, with (server down)", withDown);
    return 0;
}
