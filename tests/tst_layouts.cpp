// The single-channel and legacy panels as the simulated supply sees them.
#include "panels/frmlayout2.h"
#include "panels/legacypanels.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "support/shellfixture.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace trq;
using namespace trq::test;

namespace {

QStringList queriesOnly(const QStringList& received) {
    QStringList out;
    for (const QString& s : received)
        if (s.endsWith(QLatin1Char('?')))
            out << s;
    return out;
}

QStringList commandsOnly(const QStringList& received) {
    QStringList out;
    for (const QString& s : received)
        if (!s.endsWith(QLatin1Char('?')))
            out << s;
    return out;
}

template <typename Panel> Panel* panelOf(ShellFixture& f) {
    return qobject_cast<Panel*>(f.main->OperatorForm.data());
}

} // namespace

class TestLayouts : public QObject {
    Q_OBJECT
private slots:

    void initialQueries_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("queries");
        QTest::newRow("single-channel")
            << "SPQ-3610DNB" << QStringList{"*IDN?",  ":VOLT:PROT?", ":OUTP:STAT?", ":CURR:PROT?",
                                            ":VOLT?", ":CURR?",      ":MEAS:VOLT?", ":MEAS:CURR?"};
        QTest::newRow("two-channel legacy")
            << "TRQ-3302" << QStringList{"*IDN?",  "VSET1?", "VSET2?", "ISET1?", "ISET2?",
                                         "VOUT1?", "IOUT1?", "VOUT2?", "IOUT2?"};
        QStringList four{"*IDN?",  "VSET1?", "VSET2?", "VSET3?", "VSET4?",
                         "ISET1?", "ISET2?", "ISET3?", "ISET4?"};
        for (int n = 1; n <= 4; ++n)
            four << QStringLiteral("VOUT%1?").arg(n) << QStringLiteral("IOUT%1?").arg(n);
        four << "STATUS?";
        QTest::newRow("four-channel legacy") << "TRQ-7206S" << four;
    }
    void initialQueries() {
        QFETCH(QString, model);
        QFETCH(QStringList, queries);
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        QVERIFY(f.waitReceived());
        QCOMPARE(queriesOnly(f.takeReceived()).mid(0, queries.size()), queries);
    }

    void pollCycles_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("cycle");
        QTest::newRow("single-channel")
            << "SPQ-3610DNB" << QStringList{":MEAS:VOLT?", ":MEAS:CURR?", ":SYST:ERR?"};
        QTest::newRow("two-channel legacy")
            << "TRQ-3302" << QStringList{"VOUT1?", "IOUT1?", "VOUT2?", "IOUT2?"};
        QTest::newRow("four-channel legacy")
            << "TRQ-7206S"
            << QStringList{"VOUT1?", "IOUT1?", "VOUT2?",  "IOUT2?", "VSET1?", "VSET2?",
                           "ISET1?", "ISET2?", "STATUS?", "VOUT3?", "IOUT3?", "VOUT4?",
                           "IOUT4?", "VSET3?", "VSET4?",  "ISET3?", "ISET4?"};
    }
    void pollCycles() {
        QFETCH(QString, model);
        QFETCH(QStringList, cycle);
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        QVERIFY(f.waitReceived());
        f.main->QueryTimer().setInterval(5);
        f.takeReceived();
        f.main->DoOutput(true);
        QVERIFY(f.waitReceived(int(cycle.size()) + 4));
        f.main->DoOutput(false);
        QCOMPARE(queriesOnly(f.takeReceived()).mid(0, cycle.size()), cycle);
    }

    void legacyValuesShowWithoutTheirUnit() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        auto* panel = panelOf<frmLayout3>(f);
        f.instrument().channel(1).vset = 12;
        f.instrument().channel(1).iset = 2;
        f.main->DoOutput(true);
        QTRY_COMPARE(panel->txtVoltage(0)->text(), QStringLiteral("12.000"));
        QTRY_COMPARE(panel->txtCurrent(0)->text(), QStringLiteral("1.200"));
        // The replied settings reached the edits without being sent back.
        QTRY_COMPARE(panel->numCurrent(0)->value(), 1.5);
        QVERIFY(f.waitReceived());
        QVERIFY(!f.takeReceived().contains(QStringLiteral("ISET1:1.5")));
    }

    void layoutFourMaximaAndWrap() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        auto* panel = panelOf<frmLayout4>(f);
        QCOMPARE(panel->numVoltage(2)->maximum(), 10.001);
        QCOMPARE(panel->numCurrent(2)->maximum(), 3.001);
        QCOMPARE(panel->numVoltage(3)->maximum(), 5.001);
        QCOMPARE(panel->numCurrent(3)->maximum(), 1.001);
        QCOMPARE(panel->numVoltage(0)->maximum(), 30.0);
        QVERIFY(f.waitReceived());
        f.takeReceived();
        // 7000 is no multiple of 17: at the wrap the cycle jumps from 12 to 0.
        panel->setPollCounter(6999);
        panel->DoQuery();
        panel->DoQuery();
        QCOMPARE(f.takeReceived(), (QStringList{"IOUT4?", "VOUT1?"}));
        QCOMPARE(panel->pollCounter(), 1);
    }

    void layoutFourFollowsTheStatusReply() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        auto* panel = panelOf<frmLayout4>(f);
        QVERIFY(f.waitReceived());
        QCOMPARE(panel->modeCode(), int(Coupling::Independent)); // from the initial status
        QVERIFY(!panel->tbnOutput()->isChecked());
        f.takeReceived();

        // Garbled or short replies change nothing.
        for (const char* junk : {"", "1", "xxxxxxxx", "11 0"}) {
            panel->txtStatus()->setText(QString::fromLatin1(junk));
            QCOMPARE(panel->modeCode(), int(Coupling::Independent));
            QVERIFY(!panel->tbnOutput()->isChecked());
        }
        // Output 1 while the button is off: switched on, and the supply told.
        panel->txtStatus()->setText(QStringLiteral("11011010"));
        QVERIFY(panel->tbnOutput()->isChecked());
        QVERIFY(f.main->QueryTimer().isActive());
        f.main->QueryTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), QStringList{"OUT1"});

        // The supply switched to tracking on its own front panel.
        panel->txtStatus()->setText(QStringLiteral("11111010"));
        QCOMPARE(panel->modeCode(), int(Coupling::Tracking));
        QVERIFY(panel->optTrack()->isChecked());
        QVERIFY(f.waitReceived());
        const QStringList sent = f.takeReceived();
        QCOMPARE(commandsOnly(sent), (QStringList{"TRACK1", "OUT0", "OUT1"}));
        QCOMPARE(queriesOnly(sent), (QStringList{"VSET1?", "VSET2?", "ISET1?", "ISET2?", "VSET3?",
                                                 "VSET4?", "ISET3?", "ISET4?"}));
    }

    void layoutFourSendsAModeOnlyWhenItChanges() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        auto* panel = panelOf<frmLayout4>(f);
        QVERIFY(f.waitReceived());
        f.main->DoOutput(true);
        f.main->QueryTimer().stop();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        panel->optIndep()->click(); // already independent
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        panel->optParal()->click();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), (QStringList{"TRACK2", "OUT0"}));
        QVERIFY(!panel->tbnOutput()->isChecked());
        QVERIFY(!panel->numVoltage(1)->isEnabled());
        QCOMPARE(f.instrument().coupling, 1); // parallel in the supply's own terms
    }

    void layoutThreeModesAndParallelBlanking() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        auto* panel = panelOf<frmLayout3>(f);
        QVERIFY(f.waitReceived());
        f.takeReceived();
        panel->optTrack()->click();
        panel->optParal()->click();
        panel->optIndep()->click();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), (QStringList{"TRACK1", "TRACK2", "TRACK0"}));
        panel->optParal()->click();
        panel->txtVoltage(1)->setText(QStringLiteral("5.000V"));
        QCOMPARE(panel->txtVoltage(1)->text(), QString());
        panel->txtVoltage(0)->setText(QStringLiteral("5.000V"));
        QCOMPARE(panel->txtVoltage(0)->text(), QStringLiteral("5.000"));
    }

    void layoutTwoWarningNoSendsNothing() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        auto* panel = panelOf<frmLayout2>(f);
        QVERIFY(f.waitReceived());
        f.takeReceived();
        f.prompter.answers = {Prompter::Answer::No};
        panel->optParal()->click();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(
            f.prompter.texts.first().startsWith(QStringLiteral("If you want to use the Parallel")));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        QCOMPARE(panel->modeCode(), 0);
        QVERIFY(!panel->numSet()->isEnabled());

        // Yes: the mode command with the sets known now, then the sets query.
        // Its reply "0" selects INDEP the way a click does: panel, menu and
        // mode code agree, and the edits can be used again.
        f.prompter.answers = {Prompter::Answer::Yes};
        panel->optParal()->click();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(),
                 (QStringList{"SYST:CONF:MSL 0", "SYST:CONF:MSL?", "SYST:CONF:MSL 0"}));
        QCOMPARE(panel->modeCode(), 0);
        QVERIFY(panel->optIndep()->isChecked());
        QVERIFY(f.main->menuItem(QStringLiteral("mnuIndep"))->isChecked());
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuParallel"))->isChecked());
        QVERIFY(panel->numVoltage(0)->isEnabled());
        // Asked once per panel.
        panel->optTrack()->click();
        QCOMPARE(f.prompter.texts.size(), 2);
    }

    void layoutTwoSetsReply_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("optionsEnabled");
        QTest::addColumn<int>("selected"); // -1 untouched
        QTest::addColumn<int>("sets");
        QTest::newRow("independent") << "0" << true << int(Coupling::Independent) << 0;
        QTest::newRow("two sets in parallel") << "2" << true << int(Coupling::Parallel) << 2;
        QTest::newRow("one set") << "1" << true << int(Coupling::Parallel) << 1;
        QTest::newRow("fixed configuration") << "3" << false << -1 << 0;
        QTest::newRow("fixed, four") << "4" << false << -1 << 0;
        QTest::newRow("garbage") << "x7" << true << -1 << 0;
    }
    void layoutTwoSetsReply() {
        QFETCH(QString, reply);
        QFETCH(bool, optionsEnabled);
        QFETCH(int, selected);
        QFETCH(int, sets);
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        auto* panel = panelOf<frmLayout2>(f);
        QVERIFY(f.waitReceived());
        panel->optTrack()->setChecked(true);
        panel->txtSets()->setText(reply);
        QCOMPARE(panel->optParal()->isEnabled(), optionsEnabled);
        if (selected >= 0)
            QCOMPARE(int(*panel->selectedMode()), selected);
        else
            QVERIFY(panel->optTrack()->isChecked());
        QCOMPARE(panel->numSet()->value(), sets);
        QCOMPARE(f.main->iSet, sets);
    }
};

TRQ_TEST_MAIN(TestLayouts)
#include "tst_layouts.moc"
