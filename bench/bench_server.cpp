// The automation server over loopback: a MEAS:ALL? round trip from one
// client (the reply comes from the session's latest readings), and how long
// a set command takes to reach the supply's wire (the link writes once per
// writer tick, 100 ms).
#include "automation/scpiserver.h"
#include "benchsession.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

using namespace trq;

namespace {

// Keeps the simulated supply it makes, to see what reaches it.
class WatchedTransports final : public AppTransports {
public:
    std::shared_ptr<sim::Supply> supply;

protected:
    std::shared_ptr<sim::Supply> makeSupply(const QString& model) override {
        supply = AppTransports::makeSupply(model);
        return supply;
    }
};

struct Served {
    WatchedTransports* transports = new WatchedTransports;
    BenchSession bench{std::unique_ptr<AppTransports>(transports)};
    InstrumentSession* session = &bench.session;
    std::unique_ptr<ScpiServer> server;
    QTcpSocket client;

    Served() {
        session->openSerial({QStringLiteral("SIM:PSQ-3323"), 9600});
        while (!session->isReady() || bench.link.pendingQueries() > 0)
            QCoreApplication::processEvents();
        session->setOutput(true);
        server = std::make_unique<ScpiServer>(*session);
        server->start({0, false});
        client.connectToHost(QHostAddress::LocalHost, server->port());
        client.waitForConnected();
        while (server->clientCount() == 0)
            QCoreApplication::processEvents();
    }
    QByteArray query(const QByteArray& line) {
        client.write(line);
        while (!client.canReadLine()) {
            QCoreApplication::processEvents();
            client.waitForReadyRead(0);
        }
        return client.readLine();
    }
};

void BM_MeasAllRoundTrip(benchmark::State& state) {
    Served s;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.query("MEAS:ALL?\n"));
}
BENCHMARK(BM_MeasAllRoundTrip)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// From the client's write to the supply's receipt of the command.
void BM_SetCommandToWire(benchmark::State& state) {
    Served s;
    s.session->pollTimer().stop(); // only the command on the line
    int i = 0;
    double longest = 0;
    for (auto _ : state) {
        // A script writes at any moment of the writer's cycle.
        QElapsedTimer pause;
        pause.start();
        const int phase = int(QRandomGenerator::global()->bounded(100));
        while (pause.elapsed() < phase)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        const std::size_t before = s.transports->supply->received.size();
        QElapsedTimer t;
        t.start();
        s.client.write(QByteArray("VOLT ") + QByteArray::number(1 + (i++ % 10)) + '\n');
        while (s.transports->supply->received.size() == before) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        }
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        longest = std::max(longest, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["longest_ms"] = longest * 1000.0;
}
BENCHMARK(BM_SetCommandToWire)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30)
    ->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
