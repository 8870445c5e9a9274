// Fast polling over a real pseudo-terminal, for each layout: what goes on the
// wire, in which order, and what the session makes of the answers.
#include "protocol/commands.h"
#include "sim/ptyserver.h"
#include "support/sessionfixture.h"

using namespace trq;
using namespace trq::test;

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
        // Where the wrap is mid-cycle the order follows the counter.
        int at = -1;
        for (int p = 0; p < f.profile->pollCounterWrap && at < 0; ++p)
            if (f.query(pollStepAt(*f.profile, p)) == lines.first())
                at = p;
        QVERIFY2(at >= 0, qPrintable(lines.first()));
        for (int i = 0; i < 3 * length; ++i) {
            QCOMPARE(lines.at(i), f.query(pollStepAt(*f.profile, at)));
            at = nextPollPosition(*f.profile, at);
        }
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
};

TRQ_TEST_MAIN(TestFastPoll)
#include "tst_fastpoll.moc"
