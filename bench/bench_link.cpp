// Costs on the link's hot path: one writer tick with both queues full, and
// one trace line (several are written per tick).
#include "link/clock.h"
#include "link/commtasker.h"
#include "link/simlink.h"
#include "shell/debugtrace.h"
#include "silentprompter.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace trq;

namespace {

class NoWait final : public Waiter {
public:
    void wait(int) override {}
    void letEventsRun() override {}
};

void BM_WriterTickFullQueues(benchmark::State& state) {
    SteadyClock clock;
    NoWait waiter;
    SilentPrompter prompter;
    CommTasker tasker({clock, waiter, prompter});
    tasker.WriterTimer().stop();
    auto* port = new SimSerialPort(sim::Supply::create(QStringLiteral("PSQ-3323")));
    port->open();
    tasker.setSerialPort(port);
    tasker.setCommType(QStringLiteral("RS232"));
    tasker.setSerialTerminator("\r");
    QObject target;
    const QString query = QStringLiteral(":CHAN1:MEAS:VOLT?");
    const QString command = QStringLiteral(":CHAN1:VOLT 12.5");
    for (auto _ : state) {
        state.PauseTiming();
        while (tasker.QueryTaskCount() < CommTasker::kMaxPending)
            tasker.ExecQueryTask(query, 5, &target, QStringLiteral("objectName"), 4);
        while (tasker.CmdTaskCount() < CommTasker::kMaxPending)
            tasker.ExecCmdTask(command, 0, &target, {}, 1);
        state.ResumeTiming();
        tasker.DoWriterTimer(100);
    }
}
BENCHMARK(BM_WriterTickFullQueues);

void BM_Printd(benchmark::State& state) {
    const QString line = QStringLiteral("query paired:':CHAN1:MEAS:VOLT?' '12.345'");
    for (auto _ : state)
        printd(line);
    DebugTrace::instance().flush();
}
BENCHMARK(BM_Printd);

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
