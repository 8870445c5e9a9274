// What the sequence window builds on, without the window: its table of
// rows, the starting points, the preview of a run, and a change by hand
// while a run is in control of the supply.
#include "session/sequencepreview.h"
#include "session/sequencestatus.h"
#include "session/sequencetable.h"
#include "session/sequencetemplates.h"
#include "session/sessionsequence.h"
#include "support/sessionfixture.h"

#include <QAbstractItemModelTester>

using namespace trq;
using namespace trq::test;

Q_DECLARE_METATYPE(trq::Sequence)

namespace {

Sequence read(const QByteArray& text) {
    std::variant<Sequence, QString> s = Sequence::fromCsv(text);
    if (const QString* why = std::get_if<QString>(&s))
        qWarning("%s", qPrintable(*why));
    return std::get<Sequence>(s);
}

// What the table's rows read as, or why not.
QString problemOf(const SequenceTableModel& model) {
    const std::variant<Sequence, QString> s = model.sequence();
    return std::holds_alternative<QString>(s) ? std::get<QString>(s) : QString();
}

} // namespace

class TestSequenceTable : public QObject {
    Q_OBJECT
private slots:
    // Rows added, removed, moved and copied as a model should; the table
    // reads as the file it was filled from, the running step's rows are
    // marked, copies are steps of their own, and a row that does not read
    // is named by its row.
    void tableRowsEditAndReadBack() {
        SequenceTableModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const Sequence file = read("step,channel,voltage,current,output,dwell_s,ramp,block,"
                                   "repeat,until\n"
                                   "1,1,0,2,on,0,no,,,\n"
                                   "1,2,3.3,,,0,no,,,\n"
                                   "2,1,4.2,,,7200,yes,,,V1>=4.2 for 2s\n"
                                   "3,2,5,,,1,no,cycle,100,\n"
                                   "4,1,,,off,0,no,,,\n");
        model.setSequence(file);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(read(model.csv()), file);

        model.markRunning(1); // the third row, the first two being one step
        QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("\u25B6 3"));
        QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QStringLiteral("2"));

        QVERIFY(model.copyRows(0, 2)); // step 1's two rows
        Sequence s = read(model.csv());
        QCOMPARE(s.steps.size(), std::size_t(5));
        QCOMPARE(s.steps[1], s.steps[0]);
        QVERIFY(model.moveRows({}, 6, 1, {}, 0)); // the output off first
        QCOMPARE(read(model.csv()).steps.front().channels.front().output, false);
        QVERIFY(model.moveRows({}, 0, 1, {}, 7)); // and back last
        QVERIFY(model.removeRows(2, 2));          // the copy
        QCOMPARE(read(model.csv()), file);

        QVERIFY(model.insertRows(3, 1)); // a second on the channel above
        s = read(model.csv());
        QCOMPARE(s.steps.size(), std::size_t(5));
        QCOMPARE(s.steps[2].channels.front().channel, 1);
        QCOMPARE(s.steps[2].dwellMs, 1000);

        QVERIFY(model.setData(model.index(4, SequenceTableModel::Voltage), QStringLiteral("5 V")));
        QCOMPARE(problemOf(model), QStringLiteral("Row 5: '5 V' is not a number."));
        QVERIFY(model.removeRows(0, model.rowCount()));
        QCOMPARE(problemOf(model), QStringLiteral("The table has no step."));
    }

    // Each starting point is a sequence the simulated supply takes, of the
    // shape its name promises, ending with the output off.
    void startingPointsSuitTheSupply_data() {
        columns<Sequence, QByteArray>("sequence", "csv");
        row("staircase", staircaseSequence(2, 1, 4, 4, 10, 0.5),
            QByteArray("channel,voltage,current,output,dwell_s\r\n"
                       "2,1,0.5,on,10\r\n2,2,,,10\r\n2,3,,,10\r\n2,4,,,10\r\n2,,,off,0\r\n"));
        row("ramp", rampSequence(1, 0, 5, 60, 1),
            QByteArray("channel,voltage,current,output,dwell_s,ramp\r\n"
                       "1,0,1,on,0,no\r\n1,5,,,60,yes\r\n1,,,,60,no\r\n1,,,off,0,no\r\n"));
        row("cycling", cyclingSequence(1, 5, 1, 10, 5, 3),
            QByteArray("channel,voltage,current,output,dwell_s,block,repeat\r\n"
                       "1,5,1,,0,,\r\n1,,,on,10,cycle,3\r\n1,,,off,5,cycle,\r\n"));
        row("charge", chargeSequence(1, 1, 4.2, 0.05, 10),
            QByteArray("channel,voltage,current,output,dwell_s,until\r\n"
                       "1,4.2,1,on,36000,V1>=4.18 for 2s\r\n"
                       "1,,,,36000,I1<0.05 for 30s\r\n"
                       "1,,,off,0,\r\n"));
    }
    void startingPointsSuitTheSupply() {
        auto [sequence, csv] = fetch<Sequence, QByteArray>("sequence", "csv");
        QCOMPARE(sequence.toCsv(), csv);
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.session->sequence().load(sequence), std::nullopt);
    }

    // The plan drawn: times from the run's start, a channel at its value
    // before the run until the run sets it, a ramp's last point exactly its
    // value; a day's ramp in a bounded number of points, ending exactly.
    void previewDrawsThePlan() {
        const Sequence s = read("channel,voltage,current,output,dwell_s,ramp\n"
                                "1,2,1,on,3,no\n"
                                "1,5,,,10,yes\n"
                                "2,1,,,2,no\n");
        SequencePlan::Values start;
        start[QString()][1] = {3, 0.1};
        const SequencePreview p = sequencePreview(s, 100, start);
        QCOMPARE(p.endMs, 15000);
        QVERIFY(!p.conditional);
        QCOMPARE(p.traces.size(), std::size_t(3)); // CH1 V and I, CH2 V
        const SequencePreview::Trace& ramp = p.traces[0];
        QVERIFY(!ramp.current && ramp.channel == 1);
        QCOMPARE(ramp.values.front(), 2.0);
        const auto end = std::find(ramp.seconds.begin(), ramp.seconds.end(), 13.0);
        QVERIFY(end != ramp.seconds.end());
        QVERIFY(ramp.values[std::size_t(end - ramp.seconds.begin())] == 5.0);
        QCOMPARE(ramp.seconds.back(), 15.0);
        const SequencePreview::Trace& other = p.traces[2];
        QCOMPARE(other.seconds, (std::vector<double>{0, 13, 15}));
        QCOMPARE(other.values, (std::vector<double>{3, 1, 1}));

        const Sequence day = read("channel,voltage,current,output,dwell_s,ramp,until\n"
                                  "1,0,1,on,0,no,\n"
                                  "1,10,,,86400,yes,I1<0.1\n");
        const SequencePreview long_ = sequencePreview(day, 100, {}, 300);
        QVERIFY(long_.conditional);
        QVERIFY(long_.traces[0].values.size() <= 310);
        QVERIFY(long_.traces[0].values.back() == 10.0);
        QCOMPARE(long_.traces[0].seconds.back(), 86400.0);
    }

    // A change by hand while a run is in control pauses it and asks: yes
    // stops it with the output off, no lets it go on; the change is made in
    // neither case. With no run in control nothing is asked.
    void aChangeByHandPausesAndAsks_data() {
        columns<bool, QStringList>("stop", "sent");
        row("yes", true, QStringList{"OUT0"});
        row("no", false, QStringList{});
    }
    void aChangeByHandPausesAndAsks() {
        auto [stop, sent] = fetch<bool, QStringList>("stop", "sent");
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(f.quiet());
        f.waiter.frozen = true; // the first step lasts
        SessionSequence& sequence = f.session->sequence();
        QCOMPARE(sequence.run(read("channel,voltage,current,output,dwell_s\n"
                                   "1,1.5,0.5,on,3600\n"
                                   "1,,,off,0\n")),
                 std::nullopt);
        QVERIFY(f.waitReceived());
        f.takeReceived();
        SequenceRunner::State asked = SequenceRunner::State::Idle;
        f.prompter.onAsk = [&] { asked = sequence.runner().state(); };
        f.prompter.answers = {stop ? Prompter::Answer::Yes : Prompter::Answer::No};
        QVERIFY(!SequenceStatus::userMayChange(&sequence, f.prompter));
        QCOMPARE(f.prompter.texts,
                 QStringList{"A sequence is in control of the supply. Stop the sequence?"});
        QVERIFY(asked == SequenceRunner::State::Paused);
        QVERIFY(sequence.runner().state() ==
                (stop ? SequenceRunner::State::Stopped : SequenceRunner::State::Running));
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);

        sequence.runner().stop();
        QVERIFY(SequenceStatus::userMayChange(&sequence, f.prompter));
        QCOMPARE(f.prompter.texts.size(), 1);
    }
};

TRQ_TEST_MAIN(TestSequenceTable)
#include "tst_sequencetable.moc"
