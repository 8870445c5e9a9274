// The poll against a supply paced like a real wire: for each layout, rate and
// mode, the cycle time, the readings per second, the wire floor computed from
// the bytes exchanged and the ratio; then how long a set command and a
// limit's output-off take to reach the wire. One run, printed as tables; not
// a timed test.
#include "benchsession.h"
#include "core/settings.h"
#include "ownfolder.h"
#include "session/bench.h"
#include "session/limits.h"
#include "sim/ptyserver.h"
#include "sim/supply.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

using namespace trq;

namespace {

// The supply's time between a question and its answer (--turnaround MS).
double kTurnaroundMsec = 2;

QElapsedTimer& wallClock() {
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t;
}

double threadCpuSec() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Runs the event loop as the program does: sleeping until something comes,
// so that the CPU time measured is the program's work.
void runFor(double msec, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer::singleShot(int(msec), &loop, &QEventLoop::quit);
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        check.start(2);
    }
    if (!(done && done()))
        loop.exec();
}

// The supply on its own thread, so that the program's thread and its CPU
// time are the program's alone.
class PacedSupply {
public:
    PacedSupply(const QString& model, int baud) : supply_(sim::Supply::create(model)) {
        for (int n = 1; n <= supply_->channelCount(); ++n) {
            supply_->channel(n).vset = 1.0 + 0.5 * n;
            supply_->channel(n).iset = 3.0;
        }
        server_ = new sim::PtyServer([this](const QByteArray& b) { return supply_->receive(b); });
        server_->setPace(baud, kTurnaroundMsec);
        QObject::connect(
            server_, &sim::PtyServer::received, server_,
            [this](const QByteArray& bytes) {
                // A command and the query after it may come in one read.
                for (const QByteArray& line : QByteArray(bytes).replace('\n', '\r').split('\r')) {
                    if (line.trimmed().isEmpty())
                        continue;
                    if (line.contains('?')) {
                        ++queries_;
                        lastQuery_ = line.trimmed();
                        // The program's own time between an answer's end
                        // and its next question.
                        if (answeredNs_ >= 0) {
                            gapNs_ += wallClock().nsecsElapsed() - answeredNs_;
                            ++gaps_;
                            answeredNs_ = -1;
                        }
                        continue;
                    }
                    lastCommandNs_ = wallClock().nsecsElapsed();
                    if (line.contains("OUT"))
                        outputNs_ = lastCommandNs_.load();
                }
            },
            Qt::DirectConnection);
        QObject::connect(
            server_, &sim::PtyServer::sent, server_,
            [this](const QByteArray& bytes) {
                answeredNs_ = wallClock().nsecsElapsed();
                if (crossingNs_ < 0 && lastQuery_ == watched_ &&
                    bytes.trimmed().toDouble() > crossing_)
                    crossingNs_ = wallClock().nsecsElapsed();
            },
            Qt::DirectConnection);
        server_->moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            server_, [this] { open_ = server_->open(); }, Qt::BlockingQueuedConnection);
    }
    ~PacedSupply() {
        QMetaObject::invokeMethod(
            server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    bool isOpen() const { return open_; }
    QString path() const { return server_->slavePath(); }
    qint64 queries() const { return queries_; }
    // The mean of the program's gaps since the last call, in ms.
    double takeGapMsec() {
        const double mean = gaps_ > 0 ? double(gapNs_) / double(gaps_) / 1e6 : -1;
        gapNs_ = 0;
        gaps_ = 0;
        return mean;
    }
    qint64 lastCommandNs() const { return lastCommandNs_; }
    // From the first answer to query above value to the output switched,
    // from now on.
    void watchCrossing(const QByteArray& query, double value) {
        QMetaObject::invokeMethod(
            server_,
            [this, query, value] {
                watched_ = query;
                crossing_ = value;
                crossingNs_ = -1;
                outputNs_ = -1;
            },
            Qt::BlockingQueuedConnection);
    }
    double reactionMsec() const {
        return crossingNs_ < 0 || outputNs_ < crossingNs_ ? -1
                                                          : double(outputNs_ - crossingNs_) / 1e6;
    }
    bool reacted() const { return outputNs_ >= 0 && crossingNs_ >= 0; }
    void setVoltage(int channel, double volts) {
        QMetaObject::invokeMethod(
            server_, [this, channel, volts] { supply_->channel(channel).vset = volts; },
            Qt::BlockingQueuedConnection);
    }

private:
    std::unique_ptr<sim::Supply> supply_;
    sim::PtyServer* server_ = nullptr;
    QThread thread_;
    bool open_ = false;
    std::atomic<qint64> queries_{0};
    std::atomic<qint64> lastCommandNs_{-1};
    std::atomic<qint64> outputNs_{-1};
    std::atomic<qint64> crossingNs_{-1};
    std::atomic<qint64> answeredNs_{-1};
    std::atomic<qint64> gapNs_{0};
    std::atomic<qint64> gaps_{0};
    // The supply's thread's own.
    double crossing_ = 1e9;
    QByteArray watched_, lastQuery_;
};

struct Case {
    const char* model;
    int baud;
    PollMode mode;
};

struct OnLine {
    PacedSupply supply;
    BenchSession b;
    bool ready = false;
    OnLine(const Case& c) : supply(QString::fromLatin1(c.model), c.baud) {
        b.session.poll().setMode(c.mode);
        b.session.connection().openSerial({supply.path(), c.baud});
        runFor(15000, [&] { return b.session.isReady() && !b.session.waiting(); });
        b.session.control().setOutput(true);
        runFor(1500);
        ready = b.session.isReady() && b.session.profile();
    }
};

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void pace(const Case& c) {
    OnLine o(c);
    const char* mode = c.mode == PollMode::Fast ? "fast" : "specified";
    if (!o.ready) {
        std::printf("%-12s %6d %-9s  did not go on line\n", c.model, c.baud, mode);
        return;
    }
    const LayoutProfile& profile = *o.b.session.profile();
    const double windowMsec = c.mode == PollMode::Fast ? 3000 : 6000;
    const quint64 readings0 = o.b.session.supply().readingCount();
    const qint64 bytes0 = o.b.link.serialBytes();
    const qint64 queries0 = o.supply.queries();
    const double cpu0 = threadCpuSec();
    o.supply.takeGapMsec();
    QElapsedTimer t;
    t.start();
    runFor(windowMsec);
    const double sec = double(t.nsecsElapsed()) / 1e9;
    const double gap = o.supply.takeGapMsec();
    const double cpu = (threadCpuSec() - cpu0) / sec * 100;
    const double readings = double(o.b.session.supply().readingCount() - readings0);
    const double bytes = double(o.b.link.serialBytes() - bytes0);
    const double cycles = double(o.supply.queries() - queries0) / double(profile.pollCycle.size());
    const double rate = readings / sec;
    const double floor = readings / (bytes * 10.0 / c.baud);
    // The same with the supply's turnaround once per exchange.
    const double exchanges = double(o.supply.queries() - queries0);
    const double floorTurn =
        readings / (bytes * 10.0 / c.baud + exchanges * kTurnaroundMsec / 1000);
    const double bound = double(profile.pollCycle.size()) * SupplyPoll::kPollMsec;
    std::printf("%-12s %6d %-9s  %8.1f  %8.1f  %8.1f  %5.2f  %5.2f  %6.2f  %5.1f  %6.2f\n", c.model,
                c.baud, mode, sec * 1000 / cycles, rate, floor, rate / floor, rate / floorTurn,
                sec * 1000 / cycles / bound, cpu, gap);
}

void commandToWire(const Case& c) {
    OnLine o(c);
    std::vector<double> times;
    const qint64 queries0 = o.supply.queries();
    QElapsedTimer spent;
    spent.start();
    for (int i = 0; o.ready && i < 30; ++i) {
        runFor(QRandomGenerator::global()->bounded(170)); // any moment of the cycle
        const qint64 asked = wallClock().nsecsElapsed();
        o.b.session.control().setSetting(0, Setting::Voltage, 1.0 + 0.01 * (i % 10 + 1));
        runFor(3000, [&] { return o.supply.lastCommandNs() > asked; });
        if (o.supply.lastCommandNs() > asked)
            times.push_back(double(o.supply.lastCommandNs() - asked) / 1e6);
    }
    // The mean exchange on the line meanwhile.
    const double exchange = double(spent.nsecsElapsed()) / 1e6 /
                            double(std::max<qint64>(o.supply.queries() - queries0, 1));
    std::printf("%-12s %6d %-9s  %8.1f  %8.1f  %8s\n", c.model, c.baud,
                c.mode == PollMode::Fast ? "fast" : "specified", median(times),
                times.empty() ? -1 : *std::max_element(times.begin(), times.end()),
                c.mode == PollMode::Fast ? qPrintable(QString::number(exchange, 'f', 1)) : "-");
}

void limitReaction(const Case& c) {
    OnLine o(c);
    std::vector<double> times;
    // A current limit on channel 1; its voltage into the 10 ohm load
    // raised past it.
    LimitRule rule;
    rule.channel = 1;
    rule.quantity = Quantity::Current;
    rule.upper = 0.5;
    rule.action = LimitAction::OutputOff;
    const QByteArray query =
        queryText(o.b.session.connection().family(), Operation::MeasuredCurrent, 1).toLatin1();
    for (int i = 0; o.ready && i < 10; ++i) {
        o.b.session.storeLimitRules({rule});
        o.b.session.control().setOutput(true);
        runFor(1000);
        runFor(QRandomGenerator::global()->bounded(170));
        o.supply.watchCrossing(query, rule.upper.value_or(0));
        o.supply.setVoltage(1, 8.0);
        runFor(5000, [&] { return o.supply.reacted(); });
        if (o.supply.reactionMsec() >= 0)
            times.push_back(o.supply.reactionMsec());
        o.supply.setVoltage(1, 1.5);
        runFor(1500);
    }
    std::printf("%-12s %6d %-9s  %8.1f  %8.1f  (%zu trips)\n", c.model, c.baud,
                c.mode == PollMode::Fast ? "fast" : "specified", median(times),
                times.empty() ? -1 : *std::max_element(times.begin(), times.end()), times.size());
}

void printPace() {
    std::printf("Poll pace (turnaround %.1f ms)\n", kTurnaroundMsec);
    std::printf("%-12s %6s %-9s  %8s  %8s  %8s  %5s  %5s  %6s  %5s  %6s\n", "model", "baud", "mode",
                "cycle ms", "rdg/s", "floor/s", "ratio", "+turn", "/bound", "cpu %", "gap ms");
    for (const char* model : {"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"})
        for (int baud : {9600, 115200})
            for (PollMode mode : {PollMode::Specified, PollMode::Fast})
                pace({model, baud, mode});
}

void printCommandToWire() {
    std::printf("\nSet command to wire (ms; exchange: the mean exchange on the line meanwhile)\n");
    std::printf("%-12s %6s %-9s  %8s  %8s  %8s\n", "model", "baud", "mode", "median", "longest",
                "exchange");
    for (int baud : {9600, 115200})
        for (PollMode mode : {PollMode::Specified, PollMode::Fast})
            commandToWire({"PSQ-3323", baud, mode});
}

void printLimitReaction() {
    std::printf("\nLimit reaction: the answer crossing a current limit to output-off on the wire "
                "(ms)\n");
    std::printf("%-12s %6s %-9s  %8s  %8s\n", "model", "baud", "mode", "median", "longest");
    for (PollMode mode : {PollMode::Specified, PollMode::Fast})
        limitReaction({"PSQ-3323", 9600, mode});
}

// Eight four-channel supplies on one bench, each on its own pseudo-terminal
// and link: each one's poll cycle against its bound, the program's CPU while
// they poll, and what one recording of all of them (32 channels) adds.
void printBench() {
    constexpr int kSupplies = 8;
    constexpr double kWindowMsec = 20000;
    std::printf("\nA bench of %d TRQ-7206S at 9600 baud, specified polling\n", kSupplies);
    QTemporaryDir dir;
    Database::create(dir.filePath(QStringLiteral("mtype.mdb")));
    Database data;
    data.open(dir.path());
    SteadyClock clock;
    SilentPrompter prompter;
    AppTransports transports;
    TimerWaiter waiter;
    Bench bench({clock, data, prompter, transports, waiter});
    std::vector<std::unique_ptr<PacedSupply>> supplies;
    for (int i = 0; i < kSupplies; ++i) {
        supplies.push_back(std::make_unique<PacedSupply>(QStringLiteral("TRQ-7206S"), 9600));
        bench.add(std::get<SupplyAddress>(
            parseSupplyAddress(QStringLiteral("serial:%1@9600").arg(supplies.back()->path()))));
    }
    const auto allReady = [&] {
        for (int i = 0; i < bench.size(); ++i)
            if (!bench.session(i).isReady() || bench.session(i).waiting())
                return false;
        return true;
    };
    runFor(60000, allReady);
    if (!allReady()) {
        std::printf("  not every supply went on line\n");
        return;
    }
    for (int i = 0; i < bench.size(); ++i)
        bench.session(i).control().setOutput(true);
    runFor(3000);
    const auto measure = [&](const char* what) {
        std::vector<qint64> queries0;
        for (const auto& s : supplies)
            queries0.push_back(s->queries());
        const double cpu0 = threadCpuSec();
        QElapsedTimer t;
        t.start();
        runFor(kWindowMsec);
        const double sec = double(t.nsecsElapsed()) / 1e9;
        const double cpu = (threadCpuSec() - cpu0) / sec * 100;
        double worst = 0;
        for (int i = 0; i < kSupplies; ++i) {
            const LayoutProfile& profile = *bench.session(i).profile();
            const double cycles =
                double(supplies[std::size_t(i)]->queries() - queries0[std::size_t(i)]) /
                double(profile.pollCycle.size());
            const double bound = double(profile.pollCycle.size()) * SupplyPoll::kPollMsec;
            worst = std::max(worst, sec * 1000 / cycles / bound);
        }
        std::printf("  %-22s  slowest cycle / bound %5.3f   cpu %5.2f %% of one core\n", what,
                    worst, cpu);
        return cpu;
    };
    const double polling = measure("polling");
    bench.startRecording(RecordingEngine::kContinuous, 0, 0);
    const double recording = measure("polling and recording");
    bench.stopRecording();
    qint64 points = 0;
    for (const ExportedSupply& s : exportedSupplies(bench.records()))
        points += s.store->workingCount().value_or(0);
    std::printf("  recording costs %.2f ms per second (%lld points of %d supplies)\n",
                (recording - polling) * 10, static_cast<long long>(points), kSupplies);
}

} // namespace

int main(int argc, char** argv) {
    OwnFolder home;
    QCoreApplication app(argc, argv);
    home.enter();
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--turnaround")); at > 0)
        kTurnaroundMsec = args.value(at + 1).toDouble();
    // --only pace|command|limit|bench: one of the tables.
    const qsizetype only = args.indexOf(QStringLiteral("--only"));
    const auto wanted = [&](const char* table) {
        return only < 0 || args.value(only + 1) == QLatin1String(table);
    };
    if (wanted("pace"))
        printPace();
    if (wanted("command"))
        printCommandToWire();
    if (wanted("limit"))
        printLimitReaction();
    if (wanted("bench"))
        printBench();
    return 0;
}
