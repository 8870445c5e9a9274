// Costs on the link's hot path: one writer tick with both queues full, and
// one trace line (several are written per tick).
#include "benchsession.h"
#include "core/debugtrace.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace trq;

namespace {

void BM_WriterTickFullQueues(benchmark::State& state) {
    SteadyClock clock;
    SilentPrompter prompter;
    TaskScheduler link({clock, prompter});
    link.writerTimer().stop();
    auto* port = new SimSerialPort(
        AppTransports::instrumentOf(sim::Supply::create(QStringLiteral("PSQ-3323"))));
    port->open();
    link.setSerialPort(port);
    link.setTransport(Transport::Serial);
    link.setSerialTerminator("\r");
    QObject target;
    const QString query = QStringLiteral(":CHAN1:MEAS:VOLT?");
    const QString command = QStringLiteral(":CHAN1:VOLT 12.5");
    for (auto _ : state) {
        state.PauseTiming();
        while (link.pendingQueries() < TaskScheduler::kMaxPending)
            link.enqueueQuery(query, &target, [](const QString&) {});
        while (link.pendingCommands() < TaskScheduler::kMaxPending)
            link.enqueueCommand(command);
        state.ResumeTiming();
        link.writerTick(100);
    }
}
BENCHMARK(BM_WriterTickFullQueues);

void BM_Trace(benchmark::State& state) {
    const QString line = QStringLiteral("query paired:':CHAN1:MEAS:VOLT?' '12.345'");
    for (auto _ : state)
        trace(line);
    DebugTrace::instance().flush();
}
BENCHMARK(BM_Trace);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir; // the trace file goes here, not into the build tree
    QDir::setCurrent(dir.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
