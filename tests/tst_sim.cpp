#include "sim/supply.h"
#include "support/testsupport.h"

#include <set>

using namespace trq::sim;
using trq::test::columns;
using trq::test::fetch;
using trq::test::row;

namespace {

QString ask(Supply& s, const QString& line) {
    QString reply = QString::fromLatin1(s.execute(line));
    const QString end = QString::fromLatin1(s.replyEnd());
    if (!reply.isEmpty() && !reply.endsWith(end))
        return QStringLiteral("<bad line end>");
    reply.chop(end.size());
    return reply;
}

QString example(QString pattern) {
    return pattern.replace(QLatin1String("<n>"), QLatin1String("1"))
        .replace(QLatin1String("<v>"), QLatin1String("1.5"));
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    // Every row answers in its family's line end if it is a query. That the
    // supply answers each query the program asks is every session's test:
    // one unanswered fails tst_session's goesOnLineAndPollsWithEachModel.
    void commandTablesAreSound() {
        for (const ModelInfo& model : simulatedModels()) {
            auto supply = Supply::create(QString::fromLatin1(model.model));
            QVERIFY(supply);
            std::set<QString> seen;
            for (const CommandEntry& entry : commandTable(model.family)) {
                const QString pattern = QString::fromLatin1(entry.pattern);
                QVERIFY2(seen.insert(pattern.toUpper()).second, qPrintable(pattern));
                QVERIFY2(bool(entry.run), qPrintable(pattern));
                // Each example is taken by its own row, not shadowed by an
                // earlier one: a query answers, a command does not.
                const QString reply = ask(*supply, example(pattern));
                QCOMPARE(reply.isEmpty(), !pattern.endsWith(QLatin1Char('?')));
            }
        }
    }

    // A dialogue with the supply: a command must not answer; "line => text"
    // must answer text.
    void dialogues_data() {
        columns<QString, QStringList>("model", "steps");
        const auto row = [](const char* name, const char* model, const QStringList& steps) {
            QTest::newRow(name) << QString::fromLatin1(model) << steps;
        };
        row("voltage, point rendering", "PSQ-3323", {":CHAN2:VOLT 5.", ":CHAN2:VOLT? => 5.000"});
        row("current", "PSQ-3323", {":CHAN3:CURR 1.25", ":CHAN3:CURR? => 1.250"});
        row("over-voltage", "PSQ-3323", {":CHAN1:PROT:VOLT 20.5", ":CHAN1:PROT:VOLT? => 20.500"});
        row("memory recall", "PSQ-3323",
            {":CHAN1:VOLT 3", "*SAV 4", ":CHAN1:VOLT 9", "*RCL 4", ":CHAN1:VOLT? => 3.000"});
        row("auto cycle spelled CYCL", "PSQ-3323",
            {":SYST:AUTO:CYCL 12", ":SYST:AUTO:CYCLE? => 12"});
        row("single voltage", "SPQ-3610DNB", {":VOLT 7", ":VOLT? => 7.000"});
        row("single sets", "SPQ-3610DNB", {"SYST:CONF:MSL 2", "SYST:CONF:MSL? => 2"});
        row("legacy voltage", "TRQ-7206S", {"VSET2:3.3", "VSET2? => 3.300V"});
        row("legacy memories", "TRQ-7206S",
            {"VSET1:4", "SAV3", "VSET1:8", "RCL3", "VSET1? => 4.000V"});
        // 10 ohm load: constant voltage at 0.5 A, then a current limit below
        // the load's demand: constant current.
        row("measured values follow the load", "PSQ-3323",
            {":CHAN1:VOLT 5", ":CHAN1:CURR 1", ":CHAN1:MEAS:VOLT? => 0.000", ":OUTP:STAT 1",
             ":CHAN1:MEAS:VOLT? => 5.000", ":CHAN1:MEAS:CURR? => 0.500", ":CHAN1:CURR 0.2",
             ":CHAN1:MEAS:VOLT? => 2.000", ":CHAN1:MEAS:CURR? => 0.200"});
        // Tripped at once; the clear leaves it untripped (checked below).
        row("protection trips and clears", "PSQ-3323",
            {":CHAN1:VOLT 12", ":CHAN1:PROT:VOLT 10", ":OUTP:STAT 1", ":OUTP:STAT? => 0",
             ":OUTP:PROT:CLE"});
        row("refused commands are reported in order", "PSQ-3323",
            {":CHAN4:VOLT 1", ":CHAN1:VOLT 99", ":FOO:BAR", ":SYST:ERR? => -222,",
             ":SYST:ERR? => -222,", ":SYST:ERR? => -113,", ":CHAN1:VOLT? => 0.000"});
    }
    void dialogues() {
        auto [model, steps] = fetch<QString, QStringList>("model", "steps");
        auto s = Supply::create(model);
        for (const QString& step : steps) {
            const QStringList parts = step.split(QStringLiteral(" => "));
            const QString want = parts.value(1);
            const QString reply = ask(*s, parts.first());
            // An error number ends in a comma; its text is not checked.
            QCOMPARE(want.endsWith(QLatin1Char(',')) ? reply.left(want.size()) : reply, want);
        }
        QVERIFY(!s->tripped);
        if (s->family() != Family::Legacy)
            QVERIFY(ask(*s, QStringLiteral(":SYST:ERR?")).startsWith(QLatin1String("0,")));
    }

    // The status reply's coupling pair (characters 3 and 4) and output
    // flag (7), blanks removed.
    void legacyStatusFollowsOutputAndCoupling_data() {
        columns<QStringList, QString>("commands", "bits");
        row("at power-up", QStringList{}, "010");
        row("output on", QStringList{"OUT1"}, "011");
        row("tracking", QStringList{"TRACK1"}, "110");
        row("parallel, on", QStringList{"TRACK2", "OUT1"}, "101");
        row("back to independent", QStringList{"TRACK2", "TRACK0"}, "010");
    }
    void legacyStatusFollowsOutputAndCoupling() {
        auto [commands, bits] = fetch<QStringList, QString>("commands", "bits");
        auto s = Supply::create(QStringLiteral("TRQ-7206S"));
        for (const QString& c : commands)
            ask(*s, c);
        const QString status = ask(*s, QStringLiteral("STATUS?")).remove(QLatin1Char(' '));
        QCOMPARE(status.mid(2, 2) + status.mid(6, 1), bits);
    }

    void legacyRepliesFitTheFourChannelFilter() {
        // The four-channel panel takes replies of 4 to 9 characters with
        // their line end, carrying the unit letter.
        auto s = Supply::create(QStringLiteral("TRQ-7206S"));
        s->output = true;
        for (int n = 1; n <= 4; ++n) {
            s->channel(n).vset = s->channel(n).limits->maxVolt;
            s->channel(n).iset = s->channel(n).limits->maxCurr;
            s->channel(n).loadOhm = 0.01; // deep in constant current
            for (const char* q : {"VOUT", "IOUT", "VSET", "ISET"}) {
                const QString query = QStringLiteral("%1%2?").arg(QLatin1String(q)).arg(n);
                const QByteArray raw = s->execute(query);
                QVERIFY2(raw.size() >= 4 && raw.size() <= 9, raw.constData());
                QVERIFY(raw.endsWith("\r\n"));
                QVERIFY(raw.contains(q[0] == 'V' ? 'V' : 'A'));
            }
        }
    }

    void serialInputIsFramedAndBounded() {
        auto s = Supply::create(QStringLiteral("SPQ-3610DNB"));
        // Any line end is taken, and a line may arrive in pieces.
        QCOMPARE(s->receive(":VOLT 1"), QByteArray());
        QCOMPARE(s->receive("2\r\n:VOLT?\r"), QByteArray("12.000\n"));
        QCOMPARE(s->receive(":VOLT?\n"), QByteArray("12.000\n"));
        // Garbage is answered the way the instruments do.
        QCOMPARE(s->receive(QByteArray("\xff\x00*IDN?\n", 8)), QByteArray("Invalid Character.\n"));
        // A flood without a line end is dropped, not executed.
        QCOMPARE(s->receive(QByteArray(10000, 'x') + ":VOLT 3\n"), QByteArray());
        QCOMPARE(s->channel(1).vset, 12.0);
        QCOMPARE(s->receive(":VOLT 3\n"), QByteArray());
        QCOMPARE(s->channel(1).vset, 3.0);
    }
};

TRQ_TEST_MAIN(TestSim)
#include "tst_sim.moc"
