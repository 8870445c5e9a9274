// The automation server over loopback: a MEAS:ALL? round trip from one
// client (the reply comes from the session's latest readings), how long a
// set command takes to reach the supply's wire (the link writes once per
// writer tick, 100 ms), the wire's longest silence while three clients
// flood the server, and a week's working table fetched with REC:DATA? (its
// time, the memory it takes and the longest the event loop stood still).
#include "automation/scpiserver.h"
#include "benchsession.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

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
        session->connection().openSerial({QStringLiteral("SIM:PSQ-3323"), 9600});
        while (!session->isReady() || bench.link.pendingQueries() > 0)
            QCoreApplication::processEvents();
        session->control().setOutput(true);
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
    s.session->poll().setLinkActivity({.polling = false}); // only the command on the line
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

// The process's resident memory now and at its peak since the last reset,
// in MiB (Linux).
double statusMiB(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').front().toDouble() /
                   1024.0;
    return 0;
}
void resetPeakMemory() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Measures the longest time the event loop stood still (a 1 ms timer's
// longest gap) and, optionally, something else on each turn.
// The process's memory from now on: the peak above it and what stays held.
struct MemoryWatch {
    const double before = statusMiB("VmRSS:");
    MemoryWatch() { resetPeakMemory(); }
    double peakExtra() const { return statusMiB("VmHWM:") - before; }
    double heldExtra() const { return statusMiB("VmRSS:") - before; }
};

struct LoopWatch {
    QTimer timer;
    QElapsedTimer since;
    double longestMsec = 0;
    double longest() const { return std::max(longestMsec, double(since.nsecsElapsed()) / 1e6); }
    std::function<void()> each;
    LoopWatch() {
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            longestMsec = std::max(longestMsec, double(since.nsecsElapsed()) / 1e6);
            since.start();
            if (each)
                each();
        });
        since.start();
        timer.start();
    }
};

void runFor(int msec, const std::function<bool()>& done = {}) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < msec && !(done && done()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// A script on a thread of its own that sends a batch of lines over and over,
// as fast as the socket takes them (Python's sendall in a loop).
class Flooder {
public:
    Flooder(quint16 port, const QByteArray& batch) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return;
        thread_ = std::thread([this, batch] {
            qsizetype at = 0;
            while (!stop_) {
                const auto sent = ::send(fd_, batch.constData() + at,
                                         std::size_t(batch.size() - at), MSG_NOSIGNAL);
                if (sent < 0)
                    return;
                at = (at + sent) % batch.size();
            }
        });
    }
    ~Flooder() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR); // a send blocked on a full socket returns
        if (thread_.joinable())
            thread_.join();
        ::close(fd_);
    }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Three scripts flood the server, 200 lines at a time: settings past the
// link's room (each a queue overflow), or an unknown command. The longest
// time the supply's wire heard nothing: the poll asks every 166 ms and the
// writer writes every 100 ms, so without a flood it is never silent longer
// than a poll cycle and a tick.
void BM_WireSilenceUnderFlood(benchmark::State& state) {
    Served s;
    QByteArray batch;
    for (int i = 0; i < 200; ++i)
        batch += state.range(1) == 0 ? "VOLT1 " + QByteArray::number(1 + i % 10) + ";CURR1 0.5\n"
                                     : QByteArray("NOSUCH:COMMand 1\n");
    double longest = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<Flooder>> scripts;
        for (int i = 0; i < 3; ++i)
            scripts.push_back(std::make_unique<Flooder>(s.server->port(), batch));
        const std::vector<QString>& wire = s.transports->supply->received;
        std::size_t seen = wire.size();
        QElapsedTimer quiet;
        quiet.start();
        LoopWatch watch;
        watch.each = [&] {
            if (wire.size() != seen) { // a line reached the supply
                seen = wire.size();
                longest = std::max(longest, double(quiet.nsecsElapsed()) / 1e6);
                quiet.start();
            }
        };
        runFor(int(state.range(0)));
        longest = std::max(longest, double(quiet.nsecsElapsed()) / 1e6);
        scripts.clear();
    }
    state.counters["longest_silence_ms"] = longest;
}
BENCHMARK(BM_WireSilenceUnderFlood)
    ->ArgNames({"msec", "unknown"})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A working table of a week of one-second points, three channels.
void fillWorkingTable(QSqlDatabase db, int points) {
    QSqlQuery q(db);
    q.exec(QStringLiteral("delete from datatemp"));
    q.exec(QStringLiteral(
               "with recursive s(i) as (select 0 union all select i + 1 from s where i < %1) "
               "insert into datatemp (SeqNo, RecTime, PVal, SVal, Reason, PVal2, SVal2, Reason2, "
               "PVal3, SVal3, Reason3, Comment, TimeTick, DiffLastTime, Gap, Ah1, Wh1, Ah2, Wh2, "
               "Ah3, Wh3) select i, strftime('%Y/%m/%d %H:%M:%S', 1780000000 + i, 'unixepoch'), "
               "'12.000', '1.203', '1', '5.000', '0.498', '2', '3.300', '0.331', '3', '', i, 1, "
               "0, i / 3600.0, i / 300.0, i / 7200.0, i / 600.0, i / 9000.0, i / 900.0 from s")
               .arg(points - 1));
}

constexpr int kWeek = 7 * 86400;

// Reads a block's header and drops its bytes as they come; the block's
// length, or -1 before it is complete.
struct BlockReader {
    QTcpSocket& socket;
    qint64 length = -1, got = 0;
    bool done() {
        if (length < 0) {
            if (socket.bytesAvailable() < 2)
                return false;
            const QByteArray head = socket.peek(2 + 9);
            const int digits = head.at(1) - '0';
            if (head.size() < 2 + digits)
                return false;
            length = head.mid(2, digits).toLongLong();
            socket.read(2 + digits);
        }
        got += socket.read(std::min<qint64>(socket.bytesAvailable(), length + 1 - got)).size();
        return got == length + 1;
    }
};

// A client that fetches the whole working table: the time it takes, the
// process's peak memory above what it held before, and the longest the
// event loop stood still meanwhile.
void BM_RecDataWeek(benchmark::State& state) {
    Served s;
    fillWorkingTable(s.bench.data.database(), kWeek);
    for (auto _ : state) {
        const MemoryWatch memory;
        LoopWatch watch;
        QElapsedTimer t;
        t.start();
        s.client.write("REC:DATA?\n");
        BlockReader block{s.client};
        while (!block.done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        state.counters["MiB"] = double(block.length) / 1048576.0;
        state.counters["peak_extra_MiB"] = memory.peakExtra();
        state.counters["longest_block_ms"] = watch.longest();
    }
}
BENCHMARK(BM_RecDataWeek)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A client asks for the week six times and never reads: the memory that
// takes while it stays (10 s) and what is still held a second after it went.
void BM_RecDataUnread(benchmark::State& state) {
    Served s;
    fillWorkingTable(s.bench.data.database(), kWeek);
    for (auto _ : state) {
        const MemoryWatch memory;
        LoopWatch watch;
        s.client.setReadBufferSize(64 * 1024); // reads no more than that
        for (int i = 0; i < 6; ++i)
            s.client.write("REC:DATA?\n");
        runFor(10000);
        state.counters["peak_extra_MiB"] = memory.peakExtra();
        state.counters["longest_block_ms"] = watch.longest();
        s.client.abort();
        runFor(1000);
        state.counters["held_after_MiB"] = memory.heldExtra();
    }
}
BENCHMARK(BM_RecDataUnread)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
