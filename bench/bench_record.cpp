// Cost of writing one recorded point (one committed insert into the working
// table, WAL with a full sync) and of reading a day of points back.
#include "storage/database.h"
#include "storage/recordstore.h"

#include <QCoreApplication>
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

void BM_WritePoint(benchmark::State& state) {
    Store s;
    qint64 i = 0;
    for (auto _ : state)
        s.store->appendSample(sample(i++));
}
BENCHMARK(BM_WritePoint)->Unit(benchmark::kMicrosecond);

void BM_ReadWorkingTable(benchmark::State& state) {
    Store s;
    s.data.database().transaction();
    for (qint64 i = 0; i < state.range(0); ++i)
        s.store->appendSample(sample(i));
    s.data.database().commit();
    for (auto _ : state)
        benchmark::DoNotOptimize(s.store->workingRows());
}
BENCHMARK(BM_ReadWorkingTable)->Arg(86400)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
