// Memories, delay, automatic run and read time, as the simulated supply sees
// them.
#include "panels/frmlayout1.h"
#include "panels/numedit.h"
#include "panels/settingsdialogs.h"
#include "panels/textfield.h"
#include "support/shellfixture.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace trq;
using namespace trq::test;

namespace {

// Answers the next settings dialog: fills its edits and clicks OK or Cancel.
void answerNextDialog(std::vector<int> values, bool ok = true) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, values, ok] {
        auto* dlg = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        for (std::size_t i = 0; i < values.size(); ++i)
            dlg->edit(int(i))->setValue(values[i]);
        (ok ? dlg->OKButton() : dlg->CancelButton())->click();
        poll->deleteLater();
    });
    poll->start();
}

void clearSettings() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope,
              QString::fromLatin1(Settings::kApplication))
        .clear();
}

} // namespace

class TestActions : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    void roundingHalvesToEven() {
        QCOMPARE(roundHalfEven(2.5), 2);
        QCOMPARE(roundHalfEven(3.5), 4);
        QCOMPARE(roundHalfEven(-2.5), -2);
        QCOMPARE(roundHalfEven(2.6), 3);
    }

    void saveAndRecallShareTheMemoryNumber() {
        dlgSaveData save;
        answerNextDialog({3});
        QVERIFY(save.Execute());
        dlgRecallData recall;
        recall.GetSettings();
        QCOMPARE(recall.Memory(), 3);
        answerNextDialog({2}, false);
        QVERIFY(!recall.Execute()); // cancelled: nothing changes
        QCOMPARE(recall.Memory(), 3);
        save.GetSettings();
        QCOMPARE(save.Memory(), 3);
    }

    void cycleAboveThe16BitRangeKeepsThePreviousCount() {
        dlgAutoMode dlg;
        answerNextDialog({1, 4, 12});
        QVERIFY(dlg.Execute());
        answerNextDialog({2, 5, 40000});
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.StartMemory(), 2);
        QCOMPARE(dlg.Cycle(), 12);
        // The edits cannot go past their ranges.
        answerNextDialog({500, -3, 99999});
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.StartMemory(), 99);
        QCOMPARE(dlg.EndMemory(), 0);
    }

    void recallSwitchesTheOutputOffAndQueriesEverythingAgain() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().saveMemory(2);
        f.main->DoOutput(true);
        QVERIFY(f.waitReceived(3));
        f.takeReceived();
        answerNextDialog({2});
        f.main->mnuRecallMemory_Click();
        QTRY_VERIFY(f.main->dialog<dlgRecallData>()->isHidden() &&
                    !f.main->RecallTimer().isActive());
        QVERIFY(f.waitReceived());
        const QStringList sent = f.takeReceived();
        const qsizetype off = sent.indexOf(QStringLiteral(":OUTP:STAT 0"));
        const qsizetype recall = sent.indexOf(QStringLiteral("*RCL 2"));
        QVERIFY(off >= 0);
        QVERIFY(recall > off);
        // Nothing queued before the recall reaches the supply after it.
        QCOMPARE(sent.mid(recall + 1, 3),
                 (QStringList{":SYST:AUTO:STAR?", ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?"}));
        QVERIFY(sent.indexOf(QStringLiteral(":SYST:MEM?"), recall) > recall);
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
        QVERIFY(!f.main->QueryTimer().isActive());
    }

    void cancelledRecallSendsNothing() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        answerNextDialog({1}, false);
        f.main->mnuRecallMemory_Click();
        QTRY_VERIFY(!f.main->RecallTimer().isActive());
        QTest::qWait(50);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
    }

    void autoRangeAndDelay() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        answerNextDialog({1, 4, 12});
        f.main->mnuAutoMode_Click();
        QVERIFY(f.waitReceived());
        // Commands and queries each keep their order; the link interleaves them.
        QStringList commands, queries;
        for (const QString& s : f.takeReceived())
            (s.endsWith(QLatin1Char('?')) ? queries : commands) << s;
        QCOMPARE(commands,
                 (QStringList{":SYST:AUTO:STAR 1", ":SYST:AUTO:END 4", ":SYST:AUTO:CYCL 12"}));
        QCOMPARE(queries,
                 (QStringList{":SYST:AUTO:STAR?", ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?"}));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        QTRY_COMPARE(panel->txtCycle()->text(), QStringLiteral("12"));

        answerNextDialog({15});
        f.main->mnuDelay_Click();
        QVERIFY(f.main->dialog<dlgDelay>()->windowTitle() == QStringLiteral("Delay"));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), (QStringList{":SYST:AUTO:DEL 15", ":SYST:AUTO:DEL?"}));
        QCOMPARE(panel->txtDelay()->text(), QStringLiteral("15"));
        QCOMPARE(f.instrument().autoDelay, 15);
    }

    void autoRunOffResendsTheCouplingMode() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        f.main->mnuParallel_Click();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        f.main->DoAutoRun(true);
        QVERIFY(!panel->numVoltage(1)->isEnabled());
        QVERIFY(!panel->optIndep()->isEnabled());
        QVERIFY(panel->tbnOutput()->isEnabled());
        QVERIFY(panel->tbnAutoRun()->isEnabled());
        QVERIFY(panel->btnClearErrorOfProtection()->isEnabled());
        QVERIFY(panel->tbnAutoRun()->isChecked());
        QVERIFY(f.main->toolButton(QStringLiteral("AutoRun"))->isChecked());
        f.main->ToggleAutoRun();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(),
                 (QStringList{":SYST:AUTO:STAT 1", ":SYST:AUTO:STAT 0", ":OUTP:COUP:TRAC 2"}));
        QVERIFY(panel->numVoltage(1)->isEnabled());
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuAutoRun"))->isChecked());
    }

    void readTimeSetsThePollCycleLimit() {
        ShellFixture f;
        answerNextDialog({60}); // off line too, and beyond 32 s
        f.main->mnuReadTimes_Click();
        QCOMPARE(f.tasker.QueryCmdMaxMsec(), 60000);
        answerNextDialog({0});
        f.main->mnuReadTimes_Click();
        QCOMPARE(f.tasker.QueryCmdMaxMsec(), 0);
    }

    void actionsAreSilentOffLine() {
        ShellFixture f;
        f.main->mnuSaveMemory_Click();
        f.main->mnuAutoMode_Click();
        f.main->mnuDelay_Click();
        f.main->DoAutoRun(true);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(f.tasker.CmdTaskCount(), 0);
    }
};

TRQ_TEST_MAIN(TestActions)
#include "tst_actions.moc"
