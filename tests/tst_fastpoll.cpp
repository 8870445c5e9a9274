// Fast polling over a real pseudo-terminal, for each layout: what goes on the
// wire, in which order, and what the session makes of the answers.
#include "link/wiretiming.h"
#include "protocol/commands.h"
#include "session/readingrate.h"
#include "sim/ptyserver.h"
#include "support/sessionfixture.h"

using namespace trq;
using namespace trq::test;

Q_DECLARE_METATYPE(trq::PollMode)
Q_DECLARE_METATYPE(trq::PointOperation)

namespace {

// A session polling fast, its simulated supply served on a pseudo-terminal.
struct PtySession : SessionFixture {
    std::unique_ptr<sim::Supply> supply;
    sim::PtyServer server{[this](const QByteArray& bytes) { return supply->receive(bytes); }};
    const LayoutProfile* profile = nullptr;

    explicit PtySession(const QString& model) : supply(sim::Supply::create(model)) {
        for (int n = 1; n <= supply->channelCount(); ++n) {
            // Each channel its own values, so that a reply paired with
            // another channel's query shows.
            supply->channel(n).vset = 1.25 * n;
            supply->channel(n).iset = 3.0;
            supply->channel(n).loadOhm = 10.0 * n;
        }
        factory.makeSerial = [this](const QString&) { return systemPort(server.slavePath()); };
        session->poll().setMode(PollMode::Fast);
    }
    bool onLine() {
        if (!server.open())
            return false;
        session->connection().openSerial({server.slavePath(), 9600});
        if (!settle())
            return false;
        profile = session->profile();
        session->control().setOutput(true);
        // What the switch sets off has gone when a cycle of polls has.
        return profile != nullptr && QTest::qWaitFor([&] { return supply->output; }) &&
               take(2 * int(profile->pollCycle.size())).size() > 0;
    }
    // Waits for n more lines at the supply and returns them.
    QStringList take(int n) {
        supply->received.clear();
        (void)QTest::qWaitFor([&] { return int(supply->received.size()) >= n; }, 10000);
        return {supply->received.begin(), supply->received.end()};
    }
    QString query(const QueryStep& step) const {
        return queryText(session->connection().family(), step.operation, step.channel);
    }
};

// The lines are the profile's poll cycle, in its order, from wherever they
// start; where the wrap is mid-cycle the order follows the counter.
bool inCycleOrder(const QStringList& lines, const LayoutProfile& profile, CommandFamily family) {
    const auto query = [&](int at) {
        const QueryStep& step = pollStepAt(profile, at);
        return queryText(family, step.operation, step.channel);
    };
    int at = 0;
    while (at < profile.pollCounterWrap && query(at) != lines.value(0))
        ++at;
    for (const QString& line : lines) {
        if (at >= profile.pollCounterWrap || line != query(at)) {
            qWarning() << "out of order:" << line;
            return false;
        }
        at = nextPollPosition(profile, at);
    }
    return true;
}

} // namespace

class TestFastPoll : public QObject {
    Q_OBJECT
private slots:
    void init() { Settings::clear(); }

    void eachLayout_data() {
        QTest::addColumn<QString>("model");
        for (const char* model : {"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"})
            QTest::newRow(model) << QString::fromLatin1(model);
    }
    // The cycle's queries back to back in their order, each answer with its
    // query, and a set command written after the exchange on the line.
    void eachLayout() {
        QFETCH(QString, model);
        PtySession f(model);
        QVERIFY(f.onLine());
        const int length = int(f.profile->pollCycle.size());
        const QStringList lines = f.take(3 * length);
        QVERIFY(lines.size() >= 3 * length);
        QVERIFY(inCycleOrder(lines, *f.profile, f.session->connection().family()));
        for (int n = 1; n <= f.supply->channelCount(); ++n) {
            const ChannelState& c = f.session->supply().channel(n - 1);
            QCOMPARE(c.voltage.value(), std::optional<double>(f.supply->measuredVolt(n)));
            QCOMPARE(c.current.value(), std::optional<double>(f.supply->measuredCurr(n)));
        }

        f.supply->received.clear();
        QVERIFY(f.session->control().setSetting(0, Setting::Voltage, 2.5));
        const std::size_t asked = f.supply->received.size();
        QVERIFY(QTest::qWaitFor([&] { return f.supply->channel(1).vset == 2.5; }, 5000));
        const auto written =
            std::find_if(f.supply->received.begin(), f.supply->received.end(),
                         [](const QString& line) { return !line.contains(QLatin1Char('?')); });
        QVERIFY(written != f.supply->received.end());
        // Behind the exchange that was on the line, never behind another.
        QVERIFY2(
            std::size_t(written - f.supply->received.begin()) <= asked,
            qPrintable(
                QStringLiteral("%1 lines before it").arg(written - f.supply->received.begin())));
    }

    // A recorded one-second point folds every reading of its second: the
    // supply answers channel 1's voltage 1 V and 3 V in turn, several times
    // a second when polling fast.
    void recordedPointFoldsEveryReading_data() {
        columns<PointOperation, double, double>("operation", "least", "most");
        row("maximum", PointOperation::Maximum, 3.0, 3.0);
        row("minimum", PointOperation::Minimum, 1.0, 1.0);
        row("mean", PointOperation::Average, 1.01, 2.99);
    }
    void recordedPointFoldsEveryReading() {
        auto [operation, least, most] =
            fetch<PointOperation, double, double>("operation", "least", "most");
        PtySession f(QStringLiteral("PSQ-3323"));
        QVERIFY(f.onLine());
        const QByteArray voltage = f.query({Operation::MeasuredVoltage, 1}).toLatin1();
        bool high = false;
        f.server.setResponder([&](const QByteArray& bytes) {
            const QByteArray reply = f.supply->receive(bytes);
            if (!bytes.startsWith(voltage))
                return reply;
            high = !high;
            return QByteArray(high ? "3.000" : "1.000") + f.supply->replyEnd();
        });
        RecordingEngine& engine = f.session->recording()->engine();
        engine.arm(60, 0, int(operation));
        QVERIFY(engine.start());
        QTRY_VERIFY_WITH_TIMEOUT(engine.pointCount() >= 3, 10000);
        engine.stop();
        for (const SampleRow& point : f.store->workingRows()) {
            const double v = point.volt[0].toDouble();
            QVERIFY2(v >= least && v <= most, qPrintable(point.volt[0]));
        }
    }

    // Over GPIB the queue pairs the answers: the cycle back to back there too.
    void overGpib() {
        SessionFixture f;
        f.session->poll().setMode(PollMode::Fast);
        QVERIFY(f.onLineGpib(QStringLiteral("PSQ-3323")));
        f.session->control().setOutput(true);
        QTRY_VERIFY(f.instrument().output);
        const LayoutProfile& profile = *f.session->profile();
        const int length = int(profile.pollCycle.size());
        QVERIFY(f.waitReceived(length));
        f.takeReceived();
        QVERIFY(f.waitReceived(3 * length));
        QVERIFY(inCycleOrder(f.takeReceived().mid(0, 3 * length), profile,
                             f.session->connection().family()));
        QCOMPARE(f.session->supply().channel(0).voltage.value(),
                 std::optional<double>(f.instrument().measuredVolt(1)));
    }

    // An error in the supply's queue, or a limit crossed by a reading: the
    // output-off is the next line on the wire after the answer that caused
    // it, before any other poll (the queued and the direct path alike).
    void outputOffIsTheNextLine_data() {
        columns<QString, bool>("model", "byLimit");
        row("error, three channels", QStringLiteral("PSQ-3323"), false);
        row("error, one channel", QStringLiteral("SPQ-3610DNB"), false);
        row("limit, queued", QStringLiteral("PSQ-3323"), true);
        row("limit, direct exchange", QStringLiteral("TRQ-7206S"), true);
    }
    void outputOffIsTheNextLine() {
        auto [model, byLimit] = fetch<QString, bool>("model", "byLimit");
        PtySession f(model);
        QVERIFY(f.onLine());
        if (byLimit)
            f.session->storeLimitRules(
                {{1, Quantity::Voltage, std::nullopt, 8.0, 0, LimitAction::OutputOff}});
        f.supply->received.clear();
        if (byLimit)
            f.supply->channel(1).vset = 10.0;
        else
            f.supply->pushError(-222, "Data out of range");
        QTRY_VERIFY(!f.supply->output);
        const auto& lines = f.supply->received;
        const QString cause = f.query(byLimit ? QueryStep{Operation::MeasuredVoltage, 1}
                                              : QueryStep{Operation::Error, 0});
        const auto asked = std::find(lines.begin(), lines.end(), cause);
        QVERIFY(asked != lines.end() && asked + 1 != lines.end());
        QVERIFY2(!(asked + 1)->contains(QLatin1Char('?')), qPrintable(*(asked + 1)));
        if (!byLimit)
            QTRY_VERIFY(!f.prompter.texts.filter(QStringLiteral("Error detected")).isEmpty());
    }

    // An answer that comes after its exchange gave up is thrown away, never
    // taken for the next query's.
    void lateAnswerIsNotTheNextOnes() {
        PtySession f(QStringLiteral("PSQ-3323"));
        f.supply->channel(1).vset = 7.5;
        f.server.setPace(9600, 2); // each exchange open as long as on a wire
        QVERIFY(f.onLine());
        QList<double> currents;
        connect(&f.session->supply(), &SupplyState::readingTaken, this,
                [&](int channel, Quantity quantity, const Reading& reading) {
                    if (channel == 0 && quantity == Quantity::Current)
                        currents << reading.value().value_or(-1);
                });
        TraceCapture trace;
        const QByteArray voltage = f.query({Operation::MeasuredVoltage, 1}).toLatin1();
        bool delayed = false;
        f.server.setResponder([&](const QByteArray& bytes) {
            const QByteArray reply = f.supply->receive(bytes);
            if (delayed || !bytes.startsWith(voltage))
                return reply;
            delayed = true; // this one comes 160 ms late
            QTimer::singleShot(160, &f.server, [&f, reply] { f.server.writeRaw(reply); });
            return QByteArray();
        });
        QTRY_VERIFY(delayed);
        QVERIFY(f.take(20).size() >= 20);
        QVERIFY(!trace.lines.filter(QStringLiteral("dropped unasked input '7.500'")).isEmpty());
        QVERIFY(!currents.isEmpty());
        for (double amps : std::as_const(currents))
            QCOMPARE(amps, f.supply->measuredCurr(1));
    }

    // An adapter that hands over an answer's CR and its LF apart: the LF
    // that comes with the next exchange is no empty answer, and every
    // answer stays with its own query.
    void aLineEndInTwoPiecesIsOneAnswer() {
        PtySession f(QStringLiteral("TRQ-3302")); // its answers end in CR LF
        f.server.setPace(9600, 2);
        bool owesLf = false; // the LF comes once the next question is out
        f.server.setResponder([&](const QByteArray& bytes) {
            if (std::exchange(owesLf, false))
                f.server.writeRaw("\n");
            QByteArray reply = f.supply->receive(bytes);
            if (reply.endsWith("\r\n")) {
                reply.chop(1);
                owesLf = true;
            }
            return reply;
        });
        QVERIFY(f.onLine());
        QVERIFY(f.take(40).size() >= 40);
        QCOMPARE(f.prompter.texts, QStringList());
        QCOMPARE(f.session->supply().channel(0).voltage.text(), QStringLiteral("1.250"));
        QCOMPARE(f.session->supply().channel(1).voltage.text(), QStringLiteral("2.500"));
    }

    // A supply that falls silent is found by the exchange's own time, well
    // under a second, not by the 20 s watchdog; the poll goes on after it.
    // Polling either way, the four-channel supply's direct exchange too.
    void silentSupplyIsFoundByTheExchangeTime_data() {
        columns<QString, PollMode>("model", "mode");
        row("three channels, fast", QStringLiteral("PSQ-3323"), PollMode::Fast);
        row("four channels, fast", QStringLiteral("TRQ-7206S"), PollMode::Fast);
        row("four channels, specified", QStringLiteral("TRQ-7206S"), PollMode::Specified);
    }
    void silentSupplyIsFoundByTheExchangeTime() {
        auto [model, mode] = fetch<QString, PollMode>("model", "mode");
        PtySession f(model);
        f.session->poll().setMode(mode);
        QVERIFY(f.onLine());
        TraceCapture trace;
        f.server.setResponder([](const QByteArray&) { return QByteArray(); });
        QTRY_VERIFY(!f.prompter.texts.filter(QStringLiteral("Cannot get Data")).isEmpty());
        static const QRegularExpression gaveUp(
            QStringLiteral("no answer to '.*' within (\\d+) ms"));
        const QStringList lines = trace.lines.filter(gaveUp);
        QCOMPARE(lines.isEmpty(), mode == PollMode::Specified);
        if (!lines.isEmpty())
            QVERIFY2(gaveUp.match(lines.first()).captured(1).toInt() < 1000,
                     qPrintable(lines.first()));
        QCOMPARE(f.session->connection().state(), ConnectionState::Ready);
        f.server.setResponder([&](const QByteArray& bytes) { return f.supply->receive(bytes); });
        QVERIFY(f.take(10).size() >= 10);
    }

    // The wire's measures: an exchange's time from its bytes and the
    // turnaround measured, and the readings per second against the wire's
    // limit for the same bytes.
    void wireTimingAndRate() {
        WireTiming wire;
        wire.setBaud(9600);
        // A slow adapter's turnaround widens the allowance to three times it.
        QVERIFY(wire.answered(QStringLiteral("MEAS?"), 6, 8, wire.bytesMsec(14) + 40));
        QCOMPARE(qRound(wire.turnaroundMsec()), 40);
        QCOMPARE(wire.timeoutMsec(QStringLiteral("MEAS?"), 6), qCeil(wire.bytesMsec(14) + 120));

        ReadingRate rate;
        rate.sample(0, 100, 1000, 9600);
        rate.sample(1000, 130, 2000, 9600); // 30 readings in 1000 bytes: 1.04 s of wire
        QCOMPARE(qRound(rate.rate().readingsPerSec), 30);
        QCOMPARE(qRound(rate.rate().wireLimit), 29);
        QCOMPARE(pollRateText(rate.rate()), QStringLiteral("30 readings/s, wire limit 29"));
        rate.sample(2000, 10, 50, 9600); // a new link's counters
        QCOMPARE(rate.rate(), PollRate{});
        rate.sample(3000, 52, 50, 0); // no serial line: no wire limit
        QCOMPARE(pollRateText(rate.rate()), QStringLiteral("42 readings/s"));
    }

    // The latency timer of an FTDI-style adapter, as its driver shows it.
    void adapterLatencyTimer() {
        QTemporaryDir sys;
        QVERIFY(QDir(sys.path()).mkpath(QStringLiteral("class/tty/ttyUSB0/device")));
        QFile file(sys.filePath(QStringLiteral("class/tty/ttyUSB0/device/latency_timer")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("16\n");
        file.close();
        QCOMPARE(QtSerialPort::latencyTimerMsec(QStringLiteral("/dev/ttyUSB0"), sys.path()), 16);
        QCOMPARE(QtSerialPort::latencyTimerMsec(QStringLiteral("ttyS0"), sys.path()), std::nullopt);
        QCOMPARE(QtSerialPort::latencyTimerCommand(QStringLiteral("/dev/ttyUSB0")),
                 QStringLiteral("echo 1 | sudo tee /sys/class/tty/ttyUSB0/device/latency_timer"));
    }
};

TRQ_TEST_MAIN(TestFastPoll)
#include "tst_fastpoll.moc"
