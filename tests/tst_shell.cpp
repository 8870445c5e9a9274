// The main window going on line, detection and its failures, menus, toolbar
// and status bar.
#include "link/dlgconfigrs232.h"
#include "link/dlgqueryinitial.h"
#include "link/ni488.h"
#include "link/qtserialport.h"
#include "panels/frmlayout1.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "shell/frmabout.h"
#include "sim/ptyserver.h"
#include "support/shellfixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

class SilentBoard final : public GpibBoard {
public:
    bool configure(int, int) override { return true; }
    void writeAsync(const QByteArray&) override {}
    void readAsync() override {}
    void reset() override {}
    QString errorString() const override { return {}; }
};

QStringList queriesOnly(const QStringList& received) {
    QStringList out;
    for (const QString& s : received)
        if (s.contains(QLatin1Char('?')))
            out << s;
    return out;
}

bool enabled(MDIForm1& m, const char* item) {
    return m.menuItem(QLatin1String(item))->isEnabled();
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
    static void models() {
        QTest::addColumn<QString>("model");
        for (const QString& m : sim::simulatedModelNames())
            QTest::newRow(qPrintable(m)) << m;
    }

private slots:

    void onlyModelsOfTheFamilyGetMenuItems() {
        ShellFixture f;
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("insert into data1 (MTYPE, Listed, Layout, PerChannel) "
                                      "values ('ABC-1000', 1, 1, 0), ('PSQ-HIDDEN', 0, 1, 0)")));
        f.main->MachineType = QStringLiteral("ABC-1000");
        QVERIFY(!f.main->SetupMenuMachineTypes()); // counted, but no item to match
        QCOMPARE(f.main->MachineTypeCount, 5);
        QCOMPARE(f.main->modelItems().size(), 4);
        f.main->MachineType = QStringLiteral("TRQ-3302");
        QVERIFY(f.main->SetupMenuMachineTypes());
        // A tick shows only a connection that is open.
        QVERIFY(!f.main->modelItems().at(2)->isChecked());
        f.main->modelItems().at(2)->trigger();
        QVERIFY(f.main->modelItems().at(2)->isChecked());
        QVERIFY(!f.main->modelItems().at(0)->isChecked());
    }

    void goesOnLineWithEachModel_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("gpib");
        QTest::addColumn<int>("layout");
        for (bool gpib : {false, true}) {
            const char* via = gpib ? "GPIB" : "serial";
            QTest::addRow("PSQ-3323 %s", via) << "PSQ-3323" << gpib << 1;
            QTest::addRow("SPQ-3610DNB %s", via) << "SPQ-3610DNB" << gpib << 2;
            QTest::addRow("TRQ-3302 %s", via) << "TRQ-3302" << gpib << 3;
            QTest::addRow("TRQ-7206S %s", via) << "TRQ-7206S" << gpib << 4;
        }
    }
    void goesOnLineWithEachModel() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        QFETCH(int, layout);
        ShellFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        MDIForm1& m = *f.main;
        QCOMPARE(m.MachineType, model);
        QCOMPARE(m.LayoutType, layout);
        QCOMPARE(m.windowTitle(), model);
        QVERIFY(f.prompter.texts.isEmpty());
        QCOMPARE(Settings::GetSetting(QStringLiteral("Common"), QStringLiteral("MType")), model);
        QCOMPARE(Settings::GetSetting(QStringLiteral("Common"), QStringLiteral("CommType")),
                 gpib ? QStringLiteral("GPIB") : QStringLiteral("RS232"));
        QCOMPARE(
            m.menuItem(gpib ? QStringLiteral("mnuGPIB") : QStringLiteral("mnuRS232"))->isChecked(),
            true);
        QCOMPARE(enabled(m, "mnuWave"), model != QLatin1String("TRQ-7206S"));
        QCOMPARE(m.onOffLineImage(), 12);
        QCOMPARE(m.toolButton(QStringLiteral("OnOffLine"))->text(), QStringLiteral("On line"));
        m.StatusTimer_Timer();
        QCOMPARE(m.statusText(), QStringLiteral("Ready"));
        // The family's line end is in use from now on.
        QCOMPARE(f.tasker.serialTerminator(), QByteArray(sim::lineEnd(f.instrument().family())));
    }

    void layoutOneQueriesItsInitialValuesInOrder() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QStringList expected{"*IDN?",           ":SYST:AUTO:STAR?",
                             ":SYST:AUTO:END?", ":SYST:AUTO:CYCLE?",
                             ":SYST:AUTO:DEL?", ":SYST:MEM?"};
        for (int n = 1; n <= 3; ++n)
            expected << QStringLiteral(":CHAN%1:PROT:VOLT?").arg(n);
        expected << ":OUTP:STAT?"
                 << ":OUTP:COUP:TRAC?"
                 << ":SYST:AUTO:STAT?";
        for (const char* q : {":PROT:CURR?", ":VOLT?", ":CURR?"})
            for (int n = 1; n <= 3; ++n)
                expected << QStringLiteral(":CHAN%1%2").arg(n).arg(QLatin1String(q));
        for (int n = 1; n <= 3; ++n)
            expected << QStringLiteral(":CHAN%1:MEAS:VOLT?").arg(n)
                     << QStringLiteral(":CHAN%1:MEAS:CURR?").arg(n);
        QCOMPARE(queriesOnly(f.takeReceived()), expected);
        QVERIFY(!f.main->QueryTimer().isActive()); // the supply's output is off
    }

    void pollCycleFollowsTheOutput() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        QVERIFY(panel);
        f.instrument().channel(1).vset = 5;
        f.takeReceived();
        f.main->DoOutput(true);
        QVERIFY(f.main->QueryTimer().isActive());
        QTRY_COMPARE(panel->txtVoltage(0)->text(), QStringLiteral("5.000"));
        QVERIFY(f.waitReceived(8)); // the output command and one poll cycle
        const QStringList polled = queriesOnly(f.takeReceived());
        QCOMPARE(polled.mid(0, 7),
                 (QStringList{":CHAN1:MEAS:VOLT?", ":CHAN1:MEAS:CURR?", ":CHAN2:MEAS:VOLT?",
                              ":CHAN2:MEAS:CURR?", ":CHAN3:MEAS:VOLT?", ":CHAN3:MEAS:CURR?",
                              ":SYST:ERR?"}));
        QVERIFY(f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
        QVERIFY(f.main->toolButton(QStringLiteral("Output"))->isChecked());
        QVERIFY(panel->tbnOutput()->isChecked());
        QVERIFY(enabled(*f.main, "mnuRecord"));

        f.main->DoOutput(false);
        QVERIFY(!f.main->QueryTimer().isActive());
        QCOMPARE(panel->txtVoltage(0)->text(), QString());
        QVERIFY(!panel->tbnOutput()->isChecked());
        QVERIFY(!enabled(*f.main, "mnuRecord"));
        QTRY_VERIFY(!f.instrument().output);
    }

    void pollCounterWrapsAndRetriesRefusedQueries() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        f.tasker.WriterTimer().stop();
        for (int i = 0; i < frmLayout1::kCounterWrap; ++i) {
            panel->DoQuery();
            f.tasker.ResetTasks();
        }
        QCOMPARE(panel->pollCounter(), 0);
        while (f.tasker.QueryTaskCount() < CommTasker::kMaxPending)
            f.tasker.ExecQueryTask(QStringLiteral("*IDN?"), 5, nullptr, QStringLiteral("Text"), 4);
        panel->DoQuery();
        QCOMPARE(panel->pollCounter(), 0);
        f.tasker.ResetTasks();
        panel->DoQuery();
        QCOMPARE(panel->pollCounter(), 1);
    }

    void unreadableRepliesLeaveTheEditsAlone() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        const double current = panel->numCurrent(0)->value();
        const double ovp = panel->numOVP(0)->value();
        for (const char* junk : {"abc", "", "1.5x", "\xff\x00"}) {
            panel->txtSetCurr(0)->setText(QString::fromLatin1(junk));
            panel->txtOVP(0)->setText(QString::fromLatin1(junk));
            panel->txtSetVolt(0)->setText(QString::fromLatin1(junk));
        }
        QCOMPARE(panel->numCurrent(0)->value(), current);
        QCOMPARE(panel->numOVP(0)->value(), ovp);
        QCOMPARE(panel->numVoltage(0)->value(), 0.0);
        // A readable one is taken, and the voltage field is emptied for the next.
        panel->txtSetVolt(0)->setText(QStringLiteral("7.5"));
        QCOMPARE(panel->numVoltage(0)->value(), 7.5);
        QCOMPARE(panel->txtSetVolt(0)->Text(), QString());
    }

    void lettersAndNegativeValuesCannotBeTyped() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = qobject_cast<frmLayout1*>(f.main->OperatorForm.data());
        panel->numVoltage(0)->setValue(3);
        QTRY_COMPARE(f.instrument().channel(1).vset, 3.0);
        f.takeReceived();
        QLineEdit* line = panel->numVoltage(0)->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClicks(line, QStringLiteral("-5abc"));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(panel->numVoltage(0)->value(), 5.0); // only the digit got in
        QTRY_COMPARE(f.instrument().channel(1).vset, 5.0);
        QVERIFY(!f.takeReceived().contains(QStringLiteral(":CHAN1:VOLT -5")));
    }

    void modeChangeDropsQueuedPollsExceptDuringTheInitialQuery() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        MDIForm1& m = *f.main;
        auto* panel = qobject_cast<frmLayout1*>(m.OperatorForm.data());
        f.tasker.WriterTimer().stop();
        f.tasker.ResetTasks();
        f.tasker.ExecQueryTask(QStringLiteral(":CHAN1:MEAS:VOLT?"), 5, nullptr, "Text", 4);
        m.IsQueryInitialValues = true;
        m.mnuParallel_Click();
        QVERIFY(!f.tasker.queryTask(0).Cancelled);
        m.IsQueryInitialValues = false;
        m.mnuParallel_Click();
        QVERIFY(f.tasker.queryTask(0).Cancelled);
        // The panel is in step: parallel selected, channel 1 settings locked.
        QVERIFY(panel->optParal()->isChecked());
        QVERIFY(!panel->numVoltage(0)->isEnabled());
        QVERIFY(!panel->tbnOCP(0)->isEnabled());
        QVERIFY(panel->numVoltage(1)->isEnabled());
        m.mnuTrack_Click();
        QVERIFY(panel->optTrack()->isChecked());
        QVERIFY(!panel->numVoltage(0)->isEnabled());
        QVERIFY(panel->numCurrent(0)->isEnabled());
    }

    void cancelledInitialQueryGoesOffLine() {
        ShellFixture f;
        f.main->queryInitialDialog()->CheckTimer().setInterval(60000);
        f.tasker.WriterTimer().setInterval(60000); // nothing drains
        TraceCapture trace;
        bool cancelled = false;
        QTimer cancel;
        cancel.setInterval(20);
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            if (auto* dlg = qobject_cast<dlgQueryInitial*>(QApplication::activeModalWidget())) {
                dlg->CancelButton()->click();
                cancelled = true;
            } else {
                f.tasker.DoWriterTimer(100); // let detection through by hand
            }
        });
        cancel.start();
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              QStringLiteral("SIM:PSQ-3323"));
        f.main->Setup(QStringLiteral("RS232"), {}, true);
        QTRY_VERIFY(cancelled);
        QTRY_COMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QVERIFY(trace.lines.contains(QStringLiteral("QueryInitialValues cancelled")));
        QVERIFY(!trace.lines.contains(QStringLiteral("Q Ini OK")));
        QVERIFY(!enabled(*f.main, "mnuOutput"));
        QCOMPARE(f.main->onOffLineImage(), 3);
    }

    void secondConnectionAsksFirst() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.prompter.answers = {Prompter::Answer::No};
        f.main->Setup(QStringLiteral("Menu"), QStringLiteral("TRQ-3302"), false);
        QCOMPARE(f.prompter.texts, QStringList{"Reset and open it?"});
        QCOMPARE(f.main->MachineType, QStringLiteral("PSQ-3323"));
        QCOMPARE(f.main->CommType, QStringLiteral("RS232"));

        f.prompter.answers = {Prompter::Answer::Yes};
        f.main->Setup(QStringLiteral("Menu"), QStringLiteral("TRQ-3302"), false);
        QCOMPARE(f.main->MachineType, QStringLiteral("TRQ-3302"));
        QCOMPARE(f.main->CommType, QStringLiteral("Menu"));
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kReady));
        QVERIFY(f.tasker.IsRejectAnyTask()); // testing mode sends nothing
        QCOMPARE(f.main->toolButton(QStringLiteral("OnOffLine"))->text(),
                 QStringLiteral("Off line"));
    }

    void detectionFailures_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("messages");
        const QString timeout = QStringLiteral("Querying the machine type is timeout!");
        QTest::newRow("unlisted model")
            << QByteArray("ZQ,NOSUCH-1,SN1,V1\n") << QStringList{timeout};
        QTest::newRow("empty model") << QByteArray("ZQ\n") << QStringList{timeout};
        QTest::newRow("binary") << QByteArray("\x00\xff,\x80,\n", 6) << QStringList{timeout};
        QTest::newRow("huge") << QByteArray(60000, 'x') + "\n" << QStringList{timeout};
        QTest::newRow("no answer")
            << QByteArray() << QStringList{"Cannot get Data from device!", timeout};
    }
    void detectionFailures() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, messages);
        ShellFixture f;
        f.main->GetMachineTypeTimer().setInterval(400); // the "no answer" case ends here
        f.factory.makeSerial = [answer](const QString& name) {
            return new ScriptedSerialPort(
                name, [answer](const QString&, int, const QByteArray&) { return answer; }, nullptr);
        };
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              QStringLiteral("SIM:PSQ-3323"));
        f.main->Setup(QStringLiteral("RS232"), {}, true);
        QTRY_COMPARE(f.prompter.texts, messages);
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QVERIFY(enabled(*f.main, "mnuGPIB"));
        QVERIFY(enabled(*f.main, "mnuRS232"));
        QVERIFY(!f.main->OperatorForm);
        QTest::qWait(500); // nothing further happens: the detection timer is stopped
        QCOMPARE(f.prompter.texts, messages);
    }

    void watchdogEndsADetectionThatNeverCompletes() {
        ShellFixture f;
        f.main->GetMachineTypeTimer().setInterval(600000);
        f.factory.makeGpib = [](const QString&) { return new SilentBoard; };
        f.main->Setup(QStringLiteral("GPIB"), {}, true);
        QTRY_VERIFY(f.tasker.IsQueryPending());
        f.clock.advanceMsec(20100);
        QTRY_COMPARE(f.prompter.texts.size(), 2);
        QVERIFY(f.prompter.texts.at(0).startsWith(QStringLiteral("20.")));
        QCOMPARE(f.prompter.texts.at(1), QStringLiteral("Querying the machine type is timeout!"));
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
    }

    void onLineButtonUsesTheStoredInterface() {
        ShellFixture f;
        QAction* button = f.main->toolButton(QStringLiteral("OnOffLine"));
        Settings::SaveSetting(QStringLiteral("Common"), QStringLiteral("CommType"), {});
        button->trigger();
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QVERIFY(button->isChecked()); // shown pressed again: still off line

        Settings::SaveSetting(QStringLiteral("Common"), QStringLiteral("CommType"),
                              QStringLiteral("RS232"));
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              QStringLiteral("SIM:TRQ-3302"));
        button->trigger();
        QTRY_COMPARE(f.main->MainFormState, int(MDIForm1::kReady));
        QCOMPARE(f.main->MachineType, QStringLiteral("TRQ-3302"));
        QCOMPARE(f.main->onOffLineImage(), 12);
        // Clicked again while on line: the reset question.
        f.prompter.answers = {Prompter::Answer::No};
        button->trigger();
        QCOMPARE(f.prompter.texts, QStringList{"Reset and open it?"});
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kReady));
    }

    void operationTimeoutWithAPanelResets() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->OperationTimeout();
        QCOMPARE(f.prompter.texts, QStringList{"Operation Timeout, Causes Reset Now."});
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QVERIFY(!f.main->OperatorForm);
        QVERIFY(!enabled(*f.main, "mnuOutput"));
    }

    // Nothing of a connection's output, automatic-run or mode state survives
    // a reset: the next connection starts from what the supply reports.
    void resetClearsTheOutputAndModeMarks() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->DoOutput(true);
        f.main->DoAutoRun(true);
        f.main->mnuParallel_Click();
        f.main->ResetAll();
        for (const char* item : {"mnuOutput", "mnuAutoRun", "mnuParallel"})
            QVERIFY2(!f.main->menuItem(QLatin1String(item))->isChecked(), item);
        QVERIFY(f.main->menuItem(QStringLiteral("mnuIndep"))->isChecked());
        for (const char* button : {"Output", "AutoRun"})
            QVERIFY2(!f.main->toolButton(QLatin1String(button))->isChecked(), button);

        // A two-channel supply reports no output state: its first Output
        // click after a reconnect switches it on.
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        f.main->toolButton(QStringLiteral("Output"))->trigger();
        f.main->ResetAll();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
        QVERIFY(!f.main->OperatorForm->tbnOutput()->isChecked());
        f.takeReceived();
        f.main->toolButton(QStringLiteral("Output"))->trigger();
        f.main->QueryTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList{"OUT1"});
    }

    // Interface and model items are ticked only for the connection that is
    // open, whatever was clicked, cancelled or answered No.
    void ticksShowOnlyTheOpenConnection() {
        ShellFixture f;
        MDIForm1& m = *f.main;
        auto ticks = [&] {
            QStringList on;
            for (const char* item : {"mnuGPIB", "mnuRS232"})
                if (m.menuItem(QLatin1String(item))->isChecked())
                    on << QLatin1String(item);
            for (QAction* model : m.modelItems())
                if (model->isChecked())
                    on << model->text();
            return on;
        };
        onNextModal<QDialog>([](QDialog* d) { d->reject(); });
        m.menuItem(QStringLiteral("mnuRS232"))->trigger();
        onNextModal<QDialog>([](QDialog* d) { d->reject(); });
        m.menuItem(QStringLiteral("mnuGPIB"))->trigger();
        QCOMPARE(ticks(), QStringList());

        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(ticks(), (QStringList{"mnuRS232", "PSQ-3323"}));
        f.prompter.answers = {Prompter::Answer::No, Prompter::Answer::No};
        m.menuItem(QStringLiteral("mnuGPIB"))->trigger();
        m.modelItems().at(2)->trigger();
        QCOMPARE(f.prompter.texts, (QStringList{"Reset and open it?", "Reset and open it?"}));
        QCOMPARE(ticks(), (QStringList{"mnuRS232", "PSQ-3323"}));
        m.ResetAll();
        QCOMPARE(ticks(), QStringList());
    }

    // The on/off-line button always shows the link state, also after a
    // connection ended by a timeout or a failed new detection.
    void onOffLineButtonShowsTheLinkState_data() {
        QTest::addColumn<bool>("newDetectionFails");
        QTest::newRow("operation timeout") << false;
        QTest::newRow("failed detection") << true;
    }
    void onOffLineButtonShowsTheLinkState() {
        QFETCH(bool, newDetectionFails);
        ShellFixture f;
        QAction* button = f.main->toolButton(QStringLiteral("OnOffLine"));
        QCOMPARE(button->text(), QStringLiteral("Off line"));
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(button->text(), QStringLiteral("On line"));
        if (newDetectionFails) {
            f.factory.makeSerial = [](const QString& name) {
                return new ScriptedSerialPort(name, [](const QString&, int, const QByteArray&) {
                    return QByteArray("ZQ,NOSUCH-1,SN1,V1\n");
                });
            };
            f.prompter.answers = {Prompter::Answer::Yes};
            button->trigger();
            QTRY_COMPARE(f.prompter.texts.size(), 2);
        } else {
            f.main->OperationTimeout();
        }
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QCOMPARE(button->text(), QStringLiteral("Off line"));
        QCOMPARE(f.main->onOffLineImage(), 3);
    }

    // A port that cannot be opened is named with the system's reason;
    // nothing goes to any other port and the stored port stays.
    void aPortThatCannotOpenIsReportedByName_data() {
        QTest::addColumn<bool>("commandLine");
        QTest::newRow("stored port") << false;
        QTest::newRow("command line") << true;
    }
    void aPortThatCannotOpenIsReportedByName() {
        QFETCH(bool, commandLine);
        ShellFixture f;
        const QString missing = QStringLiteral("/nonexistent/ttyUSB9");
        QStringList opened;
        f.factory.ports = {QStringLiteral("COM1")};
        f.factory.makeSerial = [&](const QString& name) -> SerialPort* {
            if (name == missing) {
                auto* port = new QtSerialPort;
                port->setPortName(name);
                return port;
            }
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); }, &opened);
        };
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              commandLine ? QStringLiteral("COM1") : missing);
        if (commandLine)
            f.main->rs232Dialog()->setOneShotPort(missing, 0);
        f.main->rs232Dialog(); // its list is made before
        opened.clear();
        f.main->Setup(QStringLiteral("RS232"), {}, true);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY2(f.prompter.texts.first().startsWith(QStringLiteral("The serial port ") + missing +
                                                     QStringLiteral(" cannot be opened: ")),
                 qPrintable(f.prompter.texts.first()));
        QVERIFY(f.prompter.texts.first().size() > missing.size() + 35); // with a reason
        QCOMPARE(opened, QStringList());
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QCOMPARE(Settings::GetSetting(QStringLiteral("RS232"), QStringLiteral("PortName")),
                 commandLine ? QStringLiteral("COM1") : missing);
    }

    // Auto-detection tries real ports only; simulated supplies are listed
    // apart, and only when asked for.
    void autoDetectNeverPicksASimulatedSupply() {
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM7")};
        f.factory.makeSerial = [](const QString& name) -> SerialPort* {
            if (TransportFactory::isSimulated(name))
                return new ScriptedSerialPort(name, [](const QString&, int, const QByteArray&) {
                    return QByteArray("ZQ,PSQ-3323,SN1,V1\n");
                });
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); });
        };
        QVERIFY(TransportFactory().availablePortNames().filter(QStringLiteral("SIM:")).isEmpty());
        dlgConfigRS232* dlg = f.main->rs232Dialog();
        dlg->ListSerialPorts();
        QCOMPARE(dlg->Combo1()->findText(QStringLiteral("SIM:PSQ-3323")), -1);
        dlg->cmdAutoConn_Click();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(QStringLiteral("Please recheck")));
        QTest::mouseClick(dlg->showSimulated(), Qt::LeftButton);
        QVERIFY(dlg->Combo1()->findText(QStringLiteral("SIM:PSQ-3323")) > 0);
        dlg->cmdAutoConn_Click(); // still only COM7
        QVERIFY(f.prompter.texts.last().startsWith(QStringLiteral("Please recheck")));
    }

    // The serial dialog stores what the user chose once the port has opened,
    // the rate reaches the port, and Cancel leaves everything alone.
    void serialDialogStoresTheUsersChoice() {
        ShellFixture f;
        QStringList opened;
        f.factory.ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
        f.factory.makeSerial = [&](const QString& name) {
            auto supply = std::shared_ptr<sim::Supply>(sim::Supply::create("TRQ-3302"));
            return new ScriptedSerialPort(
                name,
                [supply](const QString&, int, const QByteArray& bytes) {
                    return supply->receive(bytes);
                },
                &opened);
        };
        onNextModal<dlgConfigRS232>([](dlgConfigRS232* d) {
            d->Combo1()->setCurrentIndex(1);
            d->Combo2()->setCurrentIndex(d->Combo2()->findText(QStringLiteral("57600")));
            d->accept();
        });
        f.main->rs232Dialog(); // its list is made before
        opened.clear();
        f.main->menuItem(QStringLiteral("mnuRS232"))->trigger();
        QTRY_COMPARE(f.main->MainFormState, int(MDIForm1::kReady));
        QCOMPARE(opened.first(), QStringLiteral("COM2@57600"));
        const QString s = QStringLiteral("RS232");
        QCOMPARE(Settings::GetSetting(s, QStringLiteral("PortName")), QStringLiteral("COM2"));
        QCOMPARE(Settings::GetInt(s, QStringLiteral("ComPort"), 0), 2);
        QCOMPARE(Settings::GetInt(s, QStringLiteral("ComPortIndex"), 0), 1);
        QCOMPARE(Settings::GetInt(s, QStringLiteral("BaudRate"), 0), 57600);
        QCOMPARE(Settings::GetInt(s, QStringLiteral("BaudRateIndex"), 0), 5);

        f.main->ResetAll();
        QString shownPort, shownRate;
        onNextModal<dlgConfigRS232>([&](dlgConfigRS232* d) {
            shownPort = d->Combo1()->currentText();
            shownRate = d->Combo2()->currentText();
            d->Combo1()->setCurrentIndex(0);
            d->Combo2()->setCurrentIndex(0);
            d->reject();
        });
        opened.clear();
        f.main->menuItem(QStringLiteral("mnuRS232"))->trigger();
        QCOMPARE(shownPort, QStringLiteral("COM2"));
        QCOMPARE(shownRate, QStringLiteral("57600"));
        QCOMPARE(opened, QStringList()); // no connection
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QCOMPARE(Settings::GetSetting(s, QStringLiteral("PortName")), QStringLiteral("COM2"));
        QCOMPARE(Settings::GetInt(s, QStringLiteral("BaudRateIndex"), 0), 5);
    }

    // A second detection identifies with LF whatever the previous supply's
    // family used, and a detection timer that fires late does nothing.
    void secondDetectionStartsAfresh() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323"))); // its family ends lines in CR
        f.main->ResetAll();
        QByteArrayList written;
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(name, [&](const QString&, int, const QByteArray& b) {
                written << b;
                return QByteArray("ZQ,NOSUCH-1,SN1,V1\n");
            });
        };
        f.main->Setup(QStringLiteral("RS232"), {}, true);
        QTRY_COMPARE(f.prompter.texts, QStringList{"Querying the machine type is timeout!"});
        QCOMPARE(written.value(0), QByteArray("*IDN?\n"));
        // A detection answer that comes late, after the failure.
        f.tasker.DevTimer().start();
        f.main->GetMachineTypeTimer().start(1);
        QTest::qWait(150);
        QCOMPARE(f.prompter.texts.size(), 1);
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
        QVERIFY(!f.main->OperatorForm);
    }

    // What the user can reach on line with each layout.
    void menusAndToolbarOnLine_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("disabledItems");
        QTest::addColumn<QStringList>("enabledButtons");
        const QStringList allButtons{"GPIB",         "RS232",      "OnOffLine", "SaveMemory",
                                     "RecallMemory", "Delay",      "ReadTimes", "Output",
                                     "AutoRun",      "ClearError", "About"};
        const QStringList noMemories{"mnuSaveMemory", "mnuRecallMemory", "mnuDelay",
                                     "mnuOutMode",    "mnuIndep",        "mnuParallel",
                                     "mnuTrack",      "mnuAutoMode",     "mnuAutoRun"};
        QTest::newRow("layout 1") << "PSQ-3323" << QStringList() << allButtons;
        QTest::newRow("layout 2") << "SPQ-3610DNB" << noMemories
                                  << QStringList{"GPIB",   "RS232",      "OnOffLine",
                                                 "Output", "ClearError", "About"};
        const QStringList legacyButtons{"RS232", "OnOffLine", "Output", "About"};
        QTest::newRow("layout 3") << "TRQ-3302"
                                  << noMemories +
                                         QStringList{"mnuGPIB", "mnuClearErrorOfProtection"}
                                  << legacyButtons;
        QTest::newRow("layout 4") << "TRQ-7206S"
                                  << noMemories + QStringList{"mnuGPIB",
                                                              "mnuClearErrorOfProtection",
                                                              "mnuWave"}
                                  << legacyButtons;
    }
    void menusAndToolbarOnLine() {
        QFETCH(QString, model);
        QFETCH(QStringList, disabledItems);
        QFETCH(QStringList, enabledButtons);
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        const QStringList items{"mnuGPIB",       "mnuRS232",
                                "mnuSaveMemory", "mnuRecallMemory",
                                "mnuDelay",      "mnuReadTimes",
                                "mnuOutMode",    "mnuIndep",
                                "mnuParallel",   "mnuTrack",
                                "mnuAutoMode",   "mnuAutoRun",
                                "mnuOutput",     "mnuClearErrorOfProtection",
                                "mnuControl",    "mnuWave",
                                "mnuTableData"};
        QStringList disabled;
        for (const QString& item : items)
            if (!f.main->menuItem(item)->isEnabled())
                disabled << item;
        QCOMPARE(disabled, QStringList(items).filter(QRegularExpression(
                               QLatin1Char('^') + disabledItems.join(QLatin1String("$|^")) +
                               QLatin1Char('$'))));
        QStringList enabled;
        for (const char* key : {"GPIB", "RS232", "OnOffLine", "SaveMemory", "RecallMemory", "Delay",
                                "ReadTimes", "Output", "AutoRun", "ClearError", "About"})
            if (f.main->toolButton(QLatin1String(key))->isEnabled())
                enabled << QLatin1String(key);
        QCOMPARE(enabled, enabledButtons);
        // Recording follows the output.
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuRecord"))->isEnabled());
        f.main->toolButton(QStringLiteral("Output"))->trigger();
        QVERIFY(f.main->menuItem(QStringLiteral("mnuRecord"))->isEnabled());
    }

    void detectsOverARealPseudoTerminal_data() { models(); }
    void detectsOverARealPseudoTerminal() {
        QFETCH(QString, model);
        ShellFixture f;
        auto supply = sim::Supply::create(model);
        sim::PtyServer server([&](const QByteArray& b) { return supply->receive(b); });
        QVERIFY(server.open());
        f.factory.makeSerial = [](const QString& name) {
            auto* port = new QtSerialPort;
            port->setPortName(name);
            return port;
        };
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              server.slavePath());
        f.factory.ports = {server.slavePath()};
        f.main->Setup(QStringLiteral("RS232"), {}, true);
        QTRY_COMPARE_WITH_TIMEOUT(f.main->MainFormState, int(MDIForm1::kReady), 10000);
        QCOMPARE(f.main->MachineType, model);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void detectsThroughTheGpibDriver_data() { models(); }
    void detectsThroughTheGpibDriver() {
        QFETCH(QString, model);
        ShellFixture f;
        QLibrary fake(QStringLiteral(FAKEGPIB_PATH));
        QVERIFY(fake.load());
        auto setup = reinterpret_cast<void (*)(const char*, int)>(fake.resolve("fakegpib_setup"));
        setup(model.toLatin1().constData(), 7);
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Address"),
                              QStringLiteral("7"));
        f.factory.makeGpib = [](const QString&) {
            return new Ni488GpibBoard({QStringLiteral(FAKEGPIB_PATH)});
        };
        QVERIFY(f.onLineGpib({}));
        QCOMPARE(f.main->MachineType, model);
        QCOMPARE(f.main->interfaceDescription(), QStringLiteral("Interface: GPIB;Address: 7"));
    }

    void missingGpibDriverIsReportedAndNothingStarts() {
        ShellFixture f;
        f.factory.makeGpib = [](const QString&) {
            return new Ni488GpibBoard({QStringLiteral("/nonexistent/libgpib.so.0")});
        };
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"), {});
        f.main->Setup(QStringLiteral("GPIB"), {}, true);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().contains(QStringLiteral("could not be loaded")));
        QCOMPARE(f.main->MainFormState, int(MDIForm1::kOffLine));
    }

    void statusBar() {
        ShellFixture f;
        MDIForm1& m = *f.main;
        m.StatusTimer().stop();
        m.ReportStatus(QStringLiteral("Read Times Failed!"), 2000);
        for (int i = 0; i < 20; ++i) {
            m.StatusTimer_Timer();
            QCOMPARE(m.statusText(), QStringLiteral("Read Times Failed!"));
        }
        m.StatusTimer_Timer();
        QCOMPARE(m.statusText(), QStringLiteral("Setup"));

        m.MainFormState = MDIForm1::kDetecting;
        m.AliveNumber = 28;
        m.StatusTimer_Timer();
        QCOMPARE(m.statusText(), QStringLiteral("Getting the machine type...") + QString(29, '*'));
        m.StatusTimer_Timer();
        QCOMPARE(m.statusText(), QStringLiteral("Getting the machine type..."));
        m.AliveNumber = 999;
        m.StatusTimer_Timer();
        QCOMPARE(m.AliveNumber, 0);
        m.MainFormState = MDIForm1::kOffLine;
    }

    void autoDetect_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("invalidFirst");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("message");
        const QString fail = QStringLiteral(
            "Please recheck Line connection and Device Setting of your device!\nOr Please restart "
            "power device.\nAnd then Retry [Auto Detect] again");
        QTest::newRow("nothing answers") << "" << 0 << false << 12 << fail;
        QTest::newRow("first port at 57600, found last")
            << "COM1" << 57600 << false << 12
            << "Detect Configuration Successfully!\nPorts: COM1 ,Baud Rate:57600\n"
               "ZQ,PSQ-3323,SN1,V1\n";
        QTest::newRow("leftovers rejected, asked again")
            << "COM2" << 9600 << true << 1
            << "Detect Configuration Successfully!\nPorts: COM2 ,Baud Rate:9600\n"
               "ZQ,PSQ-3323,SN1,V1\n";
    }
    void autoDetect() {
        QFETCH(QString, port);
        QFETCH(int, baud);
        QFETCH(bool, invalidFirst);
        QFETCH(int, attempts);
        QFETCH(QString, message);
        ShellFixture f;
        QStringList opened;
        int asked = 0;
        f.factory.ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(
                name,
                [&, port, baud, invalidFirst](const QString& p, int b, const QByteArray&) {
                    if (p != port || b != baud)
                        return QByteArray();
                    if (invalidFirst && asked++ == 0)
                        return QByteArray("Invalid Character.\n");
                    return QByteArray("ZQ,PSQ-3323,SN1,V1\n");
                },
                &opened);
        };
        dlgConfigRS232* dlg = f.main->rs232Dialog();
        opened.clear();
        dlg->cmdAutoConn_Click();
        QCOMPARE(f.prompter.texts, QStringList{message});
        const QStringList probes = opened.mid(2); // after the two listing opens
        QCOMPARE(probes.size(), attempts);
        if (attempts == 12) {
            QCOMPARE(probes.mid(0, 3), (QStringList{"COM2@9600", "COM1@9600", "COM2@4800"}));
            QCOMPARE(probes.last(), QStringLiteral("COM1@57600"));
        }
        if (!port.isEmpty()) {
            QCOMPARE(dlg->Combo1()->currentText(), port);
            QCOMPARE(dlg->Combo2()->currentText(), QString::number(baud));
        }
    }

    void noPortsFound() {
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM7")};
        f.factory.makeSerial = [](const QString& name) {
            auto* port = new QtSerialPort;
            port->setPortName(QStringLiteral("/nonexistent/") + name);
            return port;
        };
        f.main->rs232Dialog()->cmdAutoConn_Click();
        QCOMPARE(f.prompter.texts,
                 QStringList{"Your Device cannot find any connected device with Serial Port."});
    }
};

TRQ_TEST_MAIN(TestShell)
#include "tst_shell.moc"
