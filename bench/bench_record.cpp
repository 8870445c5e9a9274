// Cost of writing one recorded point (one committed insert into the working
// table, WAL with a full sync) and of reading a day of points back; saving,
// loading and deleting a record against bare SQLite copies of its rows.
#include "storage/database.h"
#include "storage/recordstore.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace trq;

namespace {

struct Store {
    QTemporaryDir dir;
    Database data;
    std::unique_ptr<RecordStore> store;
    Store() {
        Database::create(dir.filePath(QStringLiteral("mtype.mdb")));
        data.open(dir.path());
        store = std::make_unique<RecordStore>(data.database());
    }
    // A working table of n points, written in one transaction.
    void fill(qint64 n);
};

SampleRow sample(qint64 i) {
    SampleRow r;
    r.seqNo = i;
    r.recTime = QStringLiteral("2026/12/06 10:00:00");
    for (std::size_t c = 0; c < 3; ++c) {
        r.volt[c] = QStringLiteral("12.345");
        r.curr[c] = QStringLiteral("1.234");
    }
    r.timeTick = i;
    return r;
}

void Store::fill(qint64 n) {
    data.database().transaction();
    for (qint64 i = 0; i < n; ++i)
        store->appendSample(sample(i));
    data.database().commit();
}

void BM_WritePoint(benchmark::State& state) {
    Store s;
    qint64 i = 0;
    for (auto _ : state)
        s.store->appendSample(sample(i++));
}
BENCHMARK(BM_WritePoint)->Unit(benchmark::kMicrosecond);

void BM_ReadWorkingTable(benchmark::State& state) {
    Store s;
    s.fill(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(s.store->workingRows());
}
BENCHMARK(BM_ReadWorkingTable)->Arg(86400)->Unit(benchmark::kMillisecond);

// What the CSV export and the report do: every row once, in order, none kept.
void BM_StreamWorkingTable(benchmark::State& state) {
    Store s;
    s.fill(state.range(0));
    for (auto _ : state) {
        qint64 rows = 0;
        s.store->forEachWorkingRow(RowOrder::BySeqNo, [&rows](const SampleRow&) { ++rows; });
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_StreamWorkingTable)->Arg(86400)->Unit(benchmark::kMillisecond);

// The working table's columns.
const QString kColumns = QStringLiteral(
    "SeqNo, RecTime, PVal, SVal, Reason, PVal2, SVal2, Reason2, PVal3, SVal3, Reason3, Comment, "
    "TimeTick, DiffLastTime, PVal4, SVal4, Gap, Ah1, Wh1, Ah2, Wh2, Ah3, Wh3, Ah4, Wh4");

// A working table of n points, and a table shaped like it, without index,
// for bare copies.
struct Recorded : Store {
    explicit Recorded(qint64 n) {
        data.database().transaction();
        for (qint64 i = 0; i < n; ++i)
            store->appendSample(sample(i));
        data.database().commit();
        sql(QStringLiteral("create table bare as select * from datatemp where 0"));
    }
    bool sql(const QString& statement) { return QSqlQuery(data.database()).exec(statement); }
    bool save() {
        return store->saveNew({QStringLiteral("1"), QStringLiteral("2026/12/06 10:00:00"),
                               QStringLiteral("2026/12/07 10:00:00"), QStringLiteral("bench"),
                               QStringLiteral("0"), QStringLiteral("0")},
                              1);
    }
    // Record 1's rows into the bare table, as a load replaces the working
    // table's: the least SQL that copies them.
    bool bareCopy() {
        return data.database().transaction() && sql(QStringLiteral("delete from bare")) &&
               sql(QStringLiteral("insert into bare select ") + kColumns +
                   QStringLiteral(" from datadetail where RecNo = '1'")) &&
               data.database().commit();
    }
};

void BM_SaveRecord(benchmark::State& state) {
    Recorded r(state.range(0));
    for (auto _ : state) {
        r.save();
        state.PauseTiming();
        r.store->deleteRecord(QStringLiteral("1"));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveRecord)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadRecord(benchmark::State& state) {
    Recorded r(state.range(0));
    r.save();
    for (auto _ : state)
        r.store->loadToWorking(QStringLiteral("1"));
}
BENCHMARK(BM_LoadRecord)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DeleteRecord(benchmark::State& state) {
    Recorded r(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        r.save();
        state.ResumeTiming();
        r.store->deleteRecord(QStringLiteral("1"));
    }
}
BENCHMARK(BM_DeleteRecord)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_BareCopyRows(benchmark::State& state) {
    Recorded r(state.range(0));
    r.save();
    for (auto _ : state)
        r.bareCopy();
}
BENCHMARK(BM_BareCopyRows)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_BareDeleteRows(benchmark::State& state) {
    Recorded r(state.range(0));
    r.save();
    for (auto _ : state) {
        state.PauseTiming();
        r.bareCopy();
        state.ResumeTiming();
        r.data.database().transaction();
        r.sql(QStringLiteral("delete from bare"));
        r.data.database().commit();
    }
}
BENCHMARK(BM_BareDeleteRows)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
