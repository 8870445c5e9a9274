// A long sequence against a supply paced like a wire: how late each step's
// first byte reaches the supply against its planned time (start + step ×
// dwell), how late the run ends against its plan, and the program's CPU
// while it runs. One run, printed as a table; not a timed test.
//
// The supply is served by this same program started again with --serve, so
// that the program's process and its CPU time are the program's alone. Both
// sides read the same steady clock (CLOCK_MONOTONIC), so the supply's times
// compare with the program's directly.
#include "benchsession.h"
#include "core/pollmode.h"
#include "ownfolder.h"
#include "protocol/commands.h"
#include "session/sequence.h"
#include "session/sessionsequence.h"
#include "sim/ptyserver.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace trq;

namespace {

const QString kModel = QStringLiteral("PSQ-3323");
constexpr int kBaud = 9600;
constexpr double kTurnaroundMsec = 2;
constexpr double kVolts[2] = {2.0, 3.0};

qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double processCpuSec() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop as the program does, sleeping until something comes.
void runFor(double msec, const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer::singleShot(int(msec), &loop, &QEventLoop::quit);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    if (!done())
        loop.exec();
}

// The supply's side: every command line (queries left out) with the time its
// first byte was read, written to file when the program closes our stdin.
int serve(const QString& file) {
    auto supply = sim::Supply::create(kModel);
    sim::PtyServer server([&](const QByteArray& b) { return supply->receive(b); });
    if (!server.open()) {
        std::fprintf(stderr, "Cannot open a pseudo-terminal: %s\n",
                     qPrintable(server.errorString()));
        return 1;
    }
    server.setPace(kBaud, kTurnaroundMsec);
    QByteArray records, line;
    qint64 lineNs = 0;
    QObject::connect(&server, &sim::PtyServer::received, [&](const QByteArray& bytes) {
        const qint64 now = steadyNs();
        for (const char c : bytes) {
            if (c != '\r' && c != '\n') {
                if (line.isEmpty())
                    lineNs = now; // a line may come in several reads
                line += c;
                continue;
            }
            if (!line.isEmpty() && !line.contains('?'))
                records += QByteArray::number(lineNs) + ' ' + line + '\n';
            line.clear();
        }
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[64];
        if (::read(STDIN_FILENO, buf, sizeof buf) > 0)
            return;
        input.setEnabled(false);
        QFile out(file);
        const bool ok = out.open(QIODevice::WriteOnly) && out.write(records) == records.size();
        QCoreApplication::exit(ok ? 0 : 1);
    });
    std::printf("%s\n", qPrintable(server.slavePath()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

struct WireLine {
    qint64 ns;
    QByteArray text;
};

std::vector<WireLine> readRecords(const QString& file) {
    QFile in(file);
    std::vector<WireLine> lines;
    if (!in.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& row : in.readAll().split('\n')) {
        const qsizetype space = row.indexOf(' ');
        if (space > 0)
            lines.push_back({row.left(space).toLongLong(), row.mid(space + 1)});
    }
    return lines;
}

// Nearest rank; the sample is not empty.
double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

int measure(int steps, int dwellMs, bool fast) {
    QTemporaryDir dir;
    const QString recordsFile = dir.filePath(QStringLiteral("wire.txt"));
    QProcess sim;
    sim.setProgram(QCoreApplication::applicationFilePath());
    sim.setArguments({QStringLiteral("--serve"), recordsFile});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    while (sim.waitForReadyRead(10000) && !sim.canReadLine()) {
    }
    const QString path = QString::fromLocal8Bit(sim.readLine().trimmed());
    if (path.isEmpty()) {
        std::fprintf(stderr, "The simulated supply did not start\n");
        return 1;
    }

    BenchSession b;
    InstrumentSession& session = b.session;
    session.connection().openSerial({path, kBaud});
    runFor(15000, [&] { return session.isReady() && !session.waiting(); });
    if (!session.isReady()) {
        std::fprintf(stderr, "The supply did not go on line\n");
        return 1;
    }
    if (fast)
        session.poll().setMode(PollMode::Fast);
    runFor(1500, [] { return false; });

    Sequence sequence;
    for (int k = 0; k < steps; ++k) {
        ChannelSetting set;
        set.voltage = kVolts[k % 2];
        if (k == 0)
            set.output = true;
        SequenceStep st;
        st.channels = {set};
        st.dwellMs = dwellMs;
        sequence.steps.push_back(st);
    }
    // The plan as the program keeps it: a step holds at least a writer tick
    // per setting it sends (the first, voltage and output, two), so the
    // steps after a longer one start later than k x dwell.
    // Polling fast a setting takes an exchange, well under the dwells measured.
    const qint64 tick = fast ? 0 : TaskScheduler::kWriterIntervalMsec;
    std::vector<qint64> plannedMs;
    qint64 planMs = 0;
    for (int k = 0; k < steps; ++k) {
        plannedMs.push_back(planMs);
        planMs += std::max<qint64>(dwellMs, tick * (k == 0 ? 2 : 1));
    }

    SequenceRunner& runner = session.sequence().runner();
    qint64 startNs = -1, endNs = -1;
    std::optional<qint64> runnerPlanMs;
    double cpu0 = 0, cpu = 0;
    QEventLoop loop;
    // When the runner hands each step to the link: the rest is the link's.
    std::vector<qint64> issuedNs(std::size_t(steps), -1);
    QObject::connect(&runner, &SequenceRunner::stepStarted, &loop, [&](int step) {
        if (step >= 0 && step < steps)
            issuedNs[std::size_t(step)] = steadyNs();
    });
    QObject::connect(&runner, &SequenceRunner::stateChanged, &loop,
                     [&](SequenceRunner::State state) {
                         if (state == SequenceRunner::State::Running && startNs < 0) {
                             // The runner takes its start just before it says so.
                             startNs = steadyNs();
                             cpu0 = processCpuSec();
                             const SequenceRunner::Progress p = runner.progress();
                             if (p.leftMs)
                                 runnerPlanMs = p.elapsedMs + *p.leftMs;
                         } else if (state == SequenceRunner::State::Done ||
                                    state == SequenceRunner::State::Stopped) {
                             endNs = steadyNs();
                             cpu = processCpuSec() - cpu0;
                             loop.quit();
                         }
                     });
    if (const std::optional<QString> why = session.sequence().run(sequence)) {
        std::fprintf(stderr, "The sequence did not start: %s\n", qPrintable(*why));
        return 1;
    }
    QTimer::singleShot(std::chrono::milliseconds(planMs + 60000), &loop, &QEventLoop::quit);
    if (endNs < 0)
        loop.exec();
    const SequenceRunner::State state = runner.state();
    const int lastStep = runner.step();
    const QByteArray voltagePrefix =
        commandText(session.connection().family(), Operation::Voltage, {1, QStringLiteral("@"), 0})
            .section(QLatin1Char('@'), 0, 0)
            .toLatin1();
    // The output-off the run ends with must reach the supply before it goes.
    runFor(3000, [] { return false; });
    sim.closeWriteChannel();
    sim.waitForFinished(10000);

    if (state != SequenceRunner::State::Done) {
        std::printf("The run did not complete (stopped at step %d of %d)\n", lastStep + 1, steps);
        return 1;
    }
    // Step k's voltage is the k-th voltage line since the start and its
    // first byte; only step 0 sends something else (its output), which may
    // go first. What comes after the last one is the run's end.
    std::vector<double> late;
    int wrongValue = 0;
    qint64 firstNs = -1, offNs = -1;
    for (const WireLine& line : readRecords(recordsFile)) {
        if (line.ns < startNs)
            continue;
        const bool voltage = line.text.startsWith(voltagePrefix);
        if (late.size() == std::size_t(steps)) {
            if (offNs < 0)
                offNs = line.ns;
            continue;
        }
        if (firstNs < 0)
            firstNs = line.ns;
        if (!voltage)
            continue;
        const auto k = qint64(late.size());
        if (std::abs(line.text.mid(voltagePrefix.size()).toDouble() - kVolts[k % 2]) > 1e-6)
            ++wrongValue;
        const qint64 atNs = k == 0 ? firstNs : line.ns;
        late.push_back(double(atNs - startNs) / 1e6 - double(plannedMs[std::size_t(k)]));
    }
    if (!runnerPlanMs || *runnerPlanMs != planMs) {
        std::printf("The program plans %lld ms, this benchmark %lld ms: its rule for holding "
                    "steps has changed\n",
                    static_cast<long long>(runnerPlanMs.value_or(-1)),
                    static_cast<long long>(planMs));
        return 1;
    }
    if (late.size() != std::size_t(steps) || wrongValue > 0) {
        std::printf("The supply saw %zu of %d steps (%d with a value out of turn)\n", late.size(),
                    steps, wrongValue);
        return 1;
    }
    std::vector<double> issued;
    for (int k = 0; k < steps; ++k)
        if (issuedNs[std::size_t(k)] >= 0)
            issued.push_back(double(issuedNs[std::size_t(k)] - startNs) / 1e6 -
                             double(plannedMs[std::size_t(k)]));
    if (issued.empty())
        issued.push_back(-1);
    const qint64 planEndNs = startNs + planMs * 1'000'000LL;
    // Polling fast, a step is due within an exchange (a command's and a poll
    // query's, as the program reckons it).
    const WireTiming& wire = session.link().wire();
    const double bound = fast ? wire.bytesMsec(48) + 2 * wire.turnaroundMsec() : double(tick);
    const auto overTick =
        std::count_if(late.begin(), late.end(), [&](double l) { return l > bound; });
    const double wall = double(endNs - startNs) / 1e9;

    std::printf("Sequence on %s at %d baud, paced (turnaround %.1f ms), polling %s; lateness of "
                "each step's first byte at the supply against its planned time (ms)\n",
                qPrintable(kModel), kBaud, kTurnaroundMsec, fast ? "fast" : "as specified");
    std::printf("%6s  %5s  %4s  %7s  %7s  %7s  %7s  %6s  %8s  %8s  %6s\n", "steps", "dwell", "tick",
                "median", "p99", "max", "last", ">tick", "end", "off wire", "cpu %");
    std::printf("%6d  %5d  %4lld  %7.1f  %7.1f  %7.1f  %7.1f  %6lld  %8.1f  %8.1f  %6.2f\n", steps,
                dwellMs, static_cast<long long>(std::ceil(bound)), percentile(late, 50),
                percentile(late, 99), *std::max_element(late.begin(), late.end()), late.back(),
                static_cast<long long>(overTick), double(endNs - planEndNs) / 1e6,
                offNs < 0 ? -1.0 : double(offNs - planEndNs) / 1e6, cpu / wall * 100);
    std::printf("the runner handed the steps to the link %.1f ms (median), %.1f ms (max) after "
                "their planned time; the rest is the wait for the link's tick\n",
                percentile(issued, 50), *std::max_element(issued.begin(), issued.end()));
    std::printf("planned: start + the dwells before the step, each at least a tick a setting "
                "(%lld ms in all, %lld more than steps x dwell)\n",
                static_cast<long long>(planMs),
                static_cast<long long>(planMs - qint64(steps) * dwellMs));
    std::printf("end: the run's end against its plan in the program; off wire: its output-off at "
                "the supply; cpu: the program's process over %.1f s\n",
                wall);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    OwnFolder home;
    QCoreApplication app(argc, argv);
    home.enter();
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--serve")); at > 0)
        return serve(args.value(at + 1));
    const auto option = [&](const char* name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at > 0 ? args.value(at + 1).toInt() : fallback;
    };
    const int steps = option("--steps", 10000);
    const int dwellMs = option("--dwell-ms", 100);
    if (steps < 1 || steps > Sequence::kMaxSteps || dwellMs < 1) {
        std::fprintf(stderr,
                     "usage: bench_sequence [--steps N (1..%d)] [--dwell-ms D (>0)] [--fast]\n",
                     Sequence::kMaxSteps);
        return 2;
    }
    return measure(steps, dwellMs, args.contains(QStringLiteral("--fast")));
}
