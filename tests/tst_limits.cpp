// Charge and energy integrated from the readings, and limits that act on
// every reading: each action, the hold time, the events kept with the
// recording, the output switched off at once.
#include "session/energy.h"
#include "support/sessionfixture.h"

using namespace trq;
using namespace trq::test;

Q_DECLARE_METATYPE(trq::Quantity)
Q_DECLARE_METATYPE(trq::LimitAction)

namespace {

// A supply on line whose poll the test drives, a poll step at a time, on
// the link's manual clock.
struct PollFixture : SessionFixture {
    explicit PollFixture(const char* model = "PSQ-3323") {
        QVERIFY(onLineSerial(QLatin1String(model)));
        instrument().channel(1).vset = 10; // 1 A into the supply's 10 ohm load
        instrument().channel(1).iset = 3;
    }
    void outputOn() {
        session->control().setOutput(true);
        QVERIFY(quiet());
    }
    // Poll steps of kPollMsec each, as the poll timer takes them.
    void poll(int steps) {
        for (int i = 0; i < steps; ++i) {
            clock.advanceMsec(InstrumentSession::kPollMsec);
            session->poll().tick();
            QVERIFY(waitReceived());
        }
    }
    // Steps for about this many seconds.
    void pollFor(double seconds) { poll(int(seconds * 1000 / InstrumentSession::kPollMsec)); }
    // Steps until the link's clock (which the link's own waits move too)
    // has come this far.
    void pollUntil(qint64 msec) {
        while (qint64(clock.nowSec() * 1000) < msec)
            poll(1);
    }
    // A recording of an hour, started with the output on.
    void record() {
        outputOn();
        session->recording()->engine().arm(3600, 0, 0);
        QVERIFY(session->recording()->engine().start());
    }
    qint64 now() const { return qint64(clock.nowSec() * 1000); }
    const ChannelState& ch1() const { return session->supply().channel(0); }
    const EnergyCounter& delivered() const { return session->energy().channel(0); }
};

bool near(double actual, double expected, double relative = 0.001) {
    return std::abs(actual - expected) <= relative * std::abs(expected);
}

} // namespace

class TestLimits : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // Readings once a second over an hour, against the exact integrals.
    void integration_data() {
        // charge: Ah
        // energy: Wh
        columns<QString, double, double>("profile", "charge", "energy");
        QTest::newRow("constant 2 A at 10 V") << "constant" << 2.0 << 20.0;
        QTest::newRow("ramp 0 to 3 A at 5 V") << "ramp" << 1.5 << 7.5;
        // 1 A: the ten minutes without readings are not integrated.
        QTest::newRow("1 A with a gap") << "gap" << 50.0 / 60 << 50.0 / 60 * 12;
    }
    void integration() {
        auto [profile, charge, energy] =
            fetch<QString, double, double>("profile", "charge", "energy");
        EnergyCounter e(5000);
        for (int s = 0; s <= 3600; ++s) {
            if (profile == QLatin1String("constant"))
                e.add(s * 1000, 10, 2);
            else if (profile == QLatin1String("ramp"))
                e.add(s * 1000, 5, 3.0 * s / 3600);
            else if (s < 1800 || s >= 2400)
                e.add(s * 1000, 12, 1);
        }
        QVERIFY2(near(e.charge(), charge), qPrintable(QString::number(e.charge())));
        QVERIFY2(near(e.energy(), energy), qPrintable(QString::number(e.energy())));
    }

    // Over the wire: only while the output is on, never across the time it
    // was off; reset on demand.
    void deliveredWhileTheOutputIsOn() {
        PollFixture f;
        QSignalSpy delivered(f.session.get(), &InstrumentSession::deliveredChanged);
        // 1 A for the time between the readings, whatever the link's waits
        // added to it.
        auto stretch = [&](double seconds) {
            f.poll(7);
            const double charge = f.delivered().charge();
            const qint64 from = f.ch1().currentAtMsec;
            f.pollFor(seconds);
            const double hours = double(f.ch1().currentAtMsec - from) / 3.6e6;
            QVERIFY2(near(f.delivered().charge() - charge, hours),
                     qPrintable(QString::number(f.delivered().charge() - charge)));
        };
        f.outputOn();
        stretch(30);
        QVERIFY(near(f.delivered().energy(), f.delivered().charge() * 10));
        const double before = f.delivered().charge();
        f.session->control().setOutput(false);
        f.clock.advanceMsec(60000); // off for a minute: nothing delivered
        f.outputOn();
        f.poll(7);
        QVERIFY(f.delivered().charge() - before < 5.0 / 3600);
        stretch(30);
        // Off for a second and a half, well within a step the counter
        // integrates: still nothing across it, the first reading after it
        // starts afresh.
        const double beforeShortOff = f.delivered().charge();
        f.session->control().setOutput(false);
        f.clock.advanceMsec(1500);
        f.outputOn();
        const qint64 last = f.ch1().currentAtMsec;
        while (f.ch1().currentAtMsec == last)
            f.poll(1);
        QCOMPARE(f.delivered().charge(), beforeShortOff);
        stretch(30);
        QVERIFY(!delivered.isEmpty());
        f.session->energy().reset();
        QCOMPARE(f.delivered().charge(), 0.0);
    }

    // Each quantity trips its limit after the hold time, not before.
    void holdTimeIsHonoured_data() {
        columns<Quantity, double>("quantity", "upper");
        QTest::newRow("voltage") << Quantity::Voltage << 9.5;
        QTest::newRow("current") << Quantity::Current << 0.5;
        QTest::newRow("power") << Quantity::Power << 5.0;
        QTest::newRow("charge") << Quantity::Charge << 0.0;
        QTest::newRow("energy") << Quantity::Energy << 0.0;
    }
    void holdTimeIsHonoured() {
        auto [quantity, upper] = fetch<Quantity, double>("quantity", "upper");
        PollFixture f;
        f.session->storeLimitRules({{1, quantity, std::nullopt, upper, 3, LimitAction::Log}});
        QSignalSpy trips(f.session.get(), &InstrumentSession::limitTripped);
        f.outputOn();
        const qint64 on = f.now();
        f.pollUntil(on + 2500);
        QCOMPARE(trips.size(), 0);
        f.pollUntil(on + 6000);
        QCOMPARE(trips.size(), 1); // once, while it stays out of bounds
        const LimitTrip trip = trips.at(0).at(0).value<LimitTrip>();
        QCOMPARE(trip.rule.quantity, quantity);
        QCOMPARE(trip.bound, upper);
        QVERIFY(trip.value > upper);
        QVERIFY(f.session->limits().tripped(1));
        QVERIFY(f.session->supply().outputOn()); // log only
    }

    // What each action does, and the event kept with the recording. A trip
    // stays shown on its channel when the value comes back within its
    // bounds, until the output is switched on again by hand; switched on
    // while still beyond, the output goes off again.
    void actions_data() {
        columns<LimitAction, bool, bool>("action", "outputOff", "recordingStops");
        QTest::newRow("log only") << LimitAction::Log << false << false;
        QTest::newRow("message") << LimitAction::Message << false << false;
        QTest::newRow("output off") << LimitAction::OutputOff << true << false;
        QTest::newRow("stop recording") << LimitAction::StopRecording << false << true;
        QTest::newRow("both") << LimitAction::OutputOffAndStop << true << true;
    }
    void actions() {
        auto [action, outputOff, recordingStops] =
            fetch<LimitAction, bool, bool>("action", "outputOff", "recordingStops");
        PollFixture f;
        f.record();
        RecordingEngine& engine = f.session->recording()->engine();
        f.session->storeLimitRules({{1, Quantity::Current, 0.2, 0.8, 0, action}});
        f.takeReceived();
        f.poll(7);
        QCOMPARE(f.session->supply().outputOn(), !outputOff);
        QCOMPARE(engine.isRecording(), !recordingStops);
        QCOMPARE(f.takeReceived().contains(QStringLiteral(":OUTP:STAT 0")), outputOff);
        const QList<RecordEvent> events = f.store->events();
        QCOMPARE(events.size(), 1);
        const RecordEvent& e = events.at(0);
        QCOMPARE(std::tuple(e.channel, e.quantity, e.limit, e.action),
                 std::tuple(1, QStringLiteral("A"), 0.8, textOf(action)));
        QVERIFY(f.prompter.texts.isEmpty()); // no box: the windows give the notice
        QVERIFY(f.session->limits().tripped(1));
        if (outputOff) {
            f.outputOn();
            f.poll(7);
            QVERIFY(!f.session->supply().outputOn());
            return;
        }
        f.instrument().channel(1).vset = 5; // 0.5 A: back within
        f.poll(14);
        QCOMPARE(f.ch1().current.text(), QStringLiteral("0.500"));
        QVERIFY(f.session->limits().tripped(1));
        f.session->control().setOutput(false);
        QVERIFY(f.session->limits().tripped(1));
        f.outputOn();
        QVERIFY(!f.session->limits().tripped(1));
    }

    // The output goes off on the next writer tick even while a message box
    // of something else is up.
    void outputOffDoesNotWaitForABox() {
        PollFixture f;
        f.outputOn();
        f.session->storeLimitRules(
            {{1, Quantity::Voltage, std::nullopt, 5.0, 0, LimitAction::OutputOff}});
        bool offWhileShown = false;
        f.prompter.onAsk = [&] {
            f.session->poll().setLinkActivity({});
            offWhileShown = QTest::qWaitFor([&] { return !f.instrument().output; }, 3000);
        };
        f.prompter.message(QStringLiteral("Something else"));
        QVERIFY(offWhileShown);
    }

    // Saved with a record and back with its load, a sequence's step as
    // itself; deleted with it.
    void eventsTravelWithTheRecord() {
        PollFixture f;
        f.record();
        Recording& rec = *f.session->recording();
        f.session->storeLimitRules(
            {{1, Quantity::Current, std::nullopt, 0.5, 0, LimitAction::Log}});
        f.poll(14);
        rec.addStepEvent(2, QStringLiteral("Step 2 (2 of 3): CH1 5 V"));
        rec.engine().tick(); // a point with the readings so far
        rec.stop();
        QString error;
        const std::optional<QString> number =
            rec.record().saveAsNew(QStringLiteral("x"), 0, &error);
        QVERIFY2(number, qPrintable(error));
        QCOMPARE(f.store->events(*number).size(), 2);
        QVERIFY(f.store->clearWorking());
        QCOMPARE(f.store->events().size(), 0);
        QVERIFY(f.store->loadToWorking(*number));
        const QList<RecordEvent> loaded = f.store->events();
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(std::tuple(loaded.at(1).isStep(), loaded.at(1).value, loaded.at(1).action),
                 std::tuple(true, 2.0, QStringLiteral("Step 2 (2 of 3): CH1 5 V")));
        QVERIFY(!loaded.at(0).isStep());
        QVERIFY(f.store->deleteRecord(*number));
        QCOMPARE(f.store->events(*number).size(), 0);
    }

    // A supply's rules: its own (model and serial number), else its model's
    // until it has its own; another model's or another unit's never. A name
    // cannot reach into another supply's rules; damaged rules are skipped.
    void rulesAreKeptPerSupply() {
        const std::vector<LimitRule> rules{
            {2, Quantity::Charge, std::nullopt, 2.0, 0, LimitAction::OutputOffAndStop},
            {1, Quantity::Voltage, 1.5, 12.25, 10, LimitAction::Message}};
        auto texts = [](const std::vector<LimitRule>& list) {
            QStringList out;
            for (const LimitRule& r : list)
                out << r.toText();
            return out;
        };
        const QString model = QStringLiteral("PSQ-3323");
        LimitMonitor::store(model, QStringLiteral("SN1"), rules);
        QCOMPARE(texts(LimitMonitor::load(model, QStringLiteral("SN1"))), texts(rules));
        for (const auto& [m, serial] : {std::pair{"TRQ-7206S", "SN1"},
                                        {"PSQ-3323", "SN2"},
                                        {"PSQ-3323", ""},
                                        {"PSQ-3323.SN1", ""},
                                        {"", ""}})
            QVERIFY2(LimitMonitor::load(QLatin1String(m), QLatin1String(serial)).empty(), m);
        LimitMonitor::store(model, {}, {rules[1]});
        QCOMPARE(texts(LimitMonitor::load(model, QStringLiteral("SN2"))), texts({rules[1]}));
        QCOMPARE(LimitMonitor::load(model, QStringLiteral("SN1")).size(), rules.size());
        LimitMonitor::store(model, QStringLiteral("SN1"), {}); // its own: none
        QVERIFY(LimitMonitor::load(model, QStringLiteral("SN1")).empty());
        // No channel 9, no bound, no quantity X, a negative hold.
        for (const char* bad : {"9,V,1,2,0,0", "1,V,,,0,0", "1,X,1,2,0,0", "1,V,1,2,-1,0"})
            QVERIFY2(!LimitRule::fromText(QLatin1String(bad)), bad);
    }

    // Rules kept before they were a supply's: at the program's start they
    // go to the model of the last connection, once, unless it has rules of
    // its own; without one they are dropped. A damaged count reads at most
    // kMaxRules.
    void unassignedRulesGoToTheLastModel_data() {
        // adopted: rules of the last model afterwards
        columns<QString, int, QString, bool, int, QString>("count", "stored", "lastModel",
                                                           "ownRules", "adopted", "traced");
        QTest::newRow("given") << "2" << 2 << "PSQ-3323" << false << 2 << "given to PSQ-3323";
        QTest::newRow("no last connection") << "2" << 2 << "" << false << 0 << "dropped";
        QTest::newRow("the model has its own") << "2" << 2 << "PSQ-3323" << true << 1 << "dropped";
        QTest::newRow("garbage count") << "x7" << 2 << "TRQ-3302" << false << 0 << "";
        QTest::newRow("absurd count") << "2147483647" << 3 << "TRQ-3302" << false << 0 << "";
    }
    void unassignedRulesGoToTheLastModel() {
        auto [count, stored, lastModel, ownRules, adopted, traced] =
            fetch<QString, int, QString, bool, int, QString>("count", "stored", "lastModel",
                                                             "ownRules", "adopted", "traced");
        storeText(QStringLiteral("Limits/Count"), count);
        for (int i = 1; i <= stored; ++i)
            storeText(QStringLiteral("Limits/Rule%1").arg(i), QStringLiteral("1,V,%1,,0,0").arg(i));
        Settings::instance().setLastModel(lastModel);
        if (ownRules)
            LimitMonitor::store(lastModel, {}, {{2, Quantity::Current, 0.1, {}, 0, {}}});
        TraceCapture trace;
        {
            SessionFixture f; // the program's start
            QCOMPARE(int(LimitMonitor::load(lastModel).size()), adopted);
        }
        QCOMPARE(storedText(QStringLiteral("Limits/Count")), QString()); // once
        const QStringList lines = trace.lines.filter(QStringLiteral("Limits: "));
        QCOMPARE(lines.size(), traced.isEmpty() ? 0 : 1);
        if (!traced.isEmpty())
            QVERIFY2(lines.first().contains(traced), qPrintable(lines.first()));
    }
};

TRQ_TEST_MAIN(TestLimits)
#include "tst_limits.moc"
