// The front panel of each layout, worked with the mouse and the keyboard, as
// the simulated supply sees it.
#include "support/shellfixture.h"
#include "ui/numedit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace trq;
using namespace trq::test;

namespace {

// One user action on a panel: "V2=12.5" types a voltage into channel 2,
// "I", "P" a current or over-voltage; "O1" clicks channel 1's OCP switch;
// "indep" clicks the independent option.
void act(FrontPanel* panel, const QString& step, bool german) {
    if (step == QLatin1String("indep")) {
        QTest::mouseClick(panel->option(Coupling::Independent), Qt::LeftButton);
        return;
    }
    const int channel = step.mid(1, 1).toInt() - 1;
    if (step.startsWith(QLatin1Char('O'))) {
        QTest::mouseClick(panel->overCurrentSwitch(channel), Qt::LeftButton);
        return;
    }
    QString value = step.mid(3);
    if (german)
        value.replace(QLatin1Char('.'), QLatin1Char(','));
    NumEdit* edit = step.startsWith(QLatin1Char('V'))   ? panel->voltageEdit(channel)
                    : step.startsWith(QLatin1Char('I')) ? panel->currentEdit(channel)
                                                        : panel->overVoltageEdit(channel);
    ShellFixture::type(edit, value);
}

QPushButton* buttonOf(QWidget* window, const QString& text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestFrontPanel : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Each layout's panel has the channels and controls its profile names.
    void controlsFollowTheProfile_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("protection");
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<QString>("trackCaption");
        QTest::newRow("three-channel") << "PSQ-3323" << 3 << true << true << "TRACK";
        QTest::newRow("single-channel") << "SPQ-3610DNB" << 1 << true << false << "SERIES";
        QTest::newRow("two-channel") << "TRQ-3302" << 2 << false << false << "TRACK";
        QTest::newRow("four-channel") << "TRQ-7206S" << 4 << false << false << "TRACK";
    }
    void controlsFollowTheProfile() {
        QFETCH(QString, model);
        QFETCH(int, channels);
        QFETCH(bool, protection);
        QFETCH(bool, autoRun);
        QFETCH(QString, trackCaption);
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        FrontPanel* panel = f.panel();
        QCOMPARE(panel->channelCount(), channels);
        QCOMPARE(panel->overVoltageEdit(0) != nullptr, protection);
        QCOMPARE(panel->overCurrentSwitch(0) != nullptr, protection);
        QCOMPARE(panel->clearProtectionButton() != nullptr, protection);
        QCOMPARE(panel->autoRunSwitch() != nullptr, autoRun);
        QCOMPARE(panel->setsEdit() != nullptr, channels == 1);
        QCOMPARE(panel->option(Coupling::Tracking)->text(), trackCaption);
        QCOMPARE(panel->interfaceLabel()->text(),
                 QStringLiteral("RS-232 9600BPS / 8bits/None/1bits"));
    }

    // What the user types reaches the supply in its family's texts, with a
    // decimal point even where the desktop writes a comma, and within each
    // channel's own limits.
    void userEditsReachTheWire_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("sent");
        const QStringList three{"V2=12.5", "I3=1",  "P1=20.125", "O2",
                                "O2",      "indep", "V3=7",      "V3=5.5"};
        const QStringList threeSent{":CHAN2:VOLT 12.5",        ":CHAN3:CURR 1.",
                                    ":CHAN1:PROT:VOLT 20.125", ":CHAN2:PROT:CURR 1",
                                    ":CHAN2:PROT:CURR 0",      ":OUTP:COUP:TRAC 0",
                                    ":CHAN3:VOLT 5.5"}; // 7 V is above channel 3's 6 V
        const QStringList one{"V1=12.5", "I1=2.25", "P1=20", "O1", "O1", "V1=40"};
        const QStringList oneSent{":VOLT 12.5", ":CURR 2.25", ":VOLT:PROT 20", ":CURR:PROT 1",
                                  ":CURR:PROT 0"};
        const QStringList two{"V1=12.5", "I2=1", "V2=31"};
        const QStringList twoSent{"VSET1:12.5", "ISET2:1."};
        const QStringList four{"V1=12", "V3=5.5", "I4=1", "V4=6", "I3=2.125"};
        const QStringList fourSent{"VSET1:12.0", "VSET3:5.5", "ISET4:1.0", "ISET3:2.125"};
        for (const char* locale : {"C", "de_DE"}) {
            QTest::addRow("three-channel %s", locale) << "PSQ-3323" << three << threeSent;
            QTest::addRow("single-channel %s", locale) << "SPQ-3610DNB" << one << oneSent;
            QTest::addRow("two-channel %s", locale) << "TRQ-3302" << two << twoSent;
            QTest::addRow("four-channel %s", locale) << "TRQ-7206S" << four << fourSent;
        }
    }
    void userEditsReachTheWire() {
        QFETCH(QString, model);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, sent);
        const bool german = QByteArray(QTest::currentDataTag()).endsWith("de_DE");
        QLocale::setDefault(german ? QLocale(QLocale::German) : QLocale::c());
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        f.takeReceived();
        for (const QString& step : steps)
            act(f.panel(), step, german);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
    }

    void lettersAndNegativeValuesCannotBeTyped() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.panel()->voltageEdit(0)->setValue(3);
        QTRY_COMPARE(f.instrument().channel(1).vset, 3.0);
        f.takeReceived();
        ShellFixture::type(f.panel()->voltageEdit(0), QStringLiteral("-5abc"));
        QCOMPARE(f.panel()->voltageEdit(0)->value(), 5.0); // only the digit got in
        QTRY_COMPARE(f.instrument().channel(1).vset, 5.0);
        QVERIFY(!f.takeReceived().contains(QStringLiteral(":CHAN1:VOLT -5")));
    }

    // The edits and maxima per channel come from the machine-type records,
    // with the four-channel supply's fixed limits for channels 3 and 4.
    void limitsPerChannel() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        FrontPanel* panel = f.panel();
        QCOMPARE(panel->voltageEdit(0)->maximum(), 30.0);
        QCOMPARE(panel->voltageEdit(2)->maximum(), 10.001);
        QCOMPARE(panel->currentEdit(2)->maximum(), 3.001);
        QCOMPARE(panel->voltageEdit(3)->maximum(), 5.001);
        QCOMPARE(panel->currentEdit(3)->maximum(), 1.001);
    }

    // A replied setting outside an edit's limits is shown as replied and never
    // sent back clamped; only what the user enters is bounded and sent.
    void repliedSettingsAreShownNotSentBack() {
        ShellFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:VOLT?", "40"}};
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.panel()->voltageEdit(0)->value(), 40.0);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()),
                 (QStringList{":OUTP:STAT 0", ":OUTP:COUP:TRAC 0", ":SYST:AUTO:STAT 0",
                              ":OUTP:COUP:TRAC 0"}));
        ShellFixture::type(f.panel()->voltageEdit(0), QStringLiteral("35")); // above 32 V
        ShellFixture::type(f.panel()->voltageEdit(0), QStringLiteral("20"));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList{":CHAN1:VOLT 20."});
    }

    // Over-current protection and clear-protection from every control that
    // offers them.
    void protectionFromEveryControl_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("ocpTexts");
        QTest::newRow("three-channel")
            << "PSQ-3323" << QStringList{":CHAN1:PROT:CURR 1", ":CHAN1:PROT:CURR 0"};
        QTest::newRow("single-channel")
            << "SPQ-3610DNB" << QStringList{":CURR:PROT 1", ":CURR:PROT 0"};
    }
    void protectionFromEveryControl() {
        QFETCH(QString, model);
        QFETCH(QStringList, ocpTexts);
        ShellFixture f;
        QVERIFY(f.onLineSerial(model));
        FrontPanel* panel = f.panel();
        f.takeReceived();
        QTest::mouseClick(panel->overCurrentSwitch(0), Qt::LeftButton);
        QTest::mouseClick(panel->overCurrentSwitch(0), Qt::LeftButton);
        QTest::mouseClick(panel->clearProtectionButton(), Qt::LeftButton);
        f.main->action(MainWindow::Command::ClearProtection)->trigger();
        f.main->toolButton(MainWindow::Button::ClearError)->trigger();
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()),
                 ocpTexts + QStringList(3, QStringLiteral(":OUTP:PROT:CLE")));
        QCOMPARE(f.instrument().channel(1).ocp, false);
    }

    // The supply's answer to the protection query drives the switch; it is
    // shown, never sent back.
    void protectionReplyDrivesTheSwitch_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("on");
        QTest::newRow("on") << QByteArray("1") << true;
        QTest::newRow("off") << QByteArray("0") << false;
        QTest::newRow("unreadable") << QByteArray("x") << false;
    }
    void protectionReplyDrivesTheSwitch() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, on);
        ShellFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:PROT:CURR?", reply}};
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.panel()->overCurrentSwitch(0)->isChecked(), on);
        QVERIFY(!f.takeReceived().join(QLatin1Char(' ')).contains(QStringLiteral("PROT:CURR ")));
    }

    // A setting reply that is no number leaves the edit as it was.
    void unreadableRepliesLeaveTheEditsAlone() {
        ShellFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:CURR?", "abc"}, {":CHAN1:PROT:VOLT?", "1.5x"}};
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.panel()->currentEdit(0)->value(), 0.0);
        QCOMPARE(f.panel()->overVoltageEdit(0)->value(), 0.0);
        QCOMPARE(f.panel()->currentEdit(1)->value(), f.instrument().channel(2).iset);
    }

    // The initial query reads what the supply is already doing and shows it
    // on the panel, the menus and the toolbar.
    void initialQueryTakesTheSupplysState_data() {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("coupling"); // the supply's: 0 indep, 1 parallel, 2 tracking
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<MainWindow::Command>("modeItem");
        QTest::newRow("already on") << 1 << 0 << false << MainWindow::Command::Independent;
        QTest::newRow("parallel") << 0 << 1 << false << MainWindow::Command::Parallel;
        QTest::newRow("tracking") << 0 << 2 << false << MainWindow::Command::Tracking;
        QTest::newRow("running automatically")
            << 1 << 0 << true << MainWindow::Command::Independent;
    }
    void initialQueryTakesTheSupplysState() {
        QFETCH(int, output);
        QFETCH(int, coupling);
        QFETCH(bool, autoRun);
        QFETCH(MainWindow::Command, modeItem);
        ShellFixture f;
        f.factory.prepare = [&](sim::Supply& s) {
            s.output = output != 0;
            s.coupling = coupling;
            s.autoRun = autoRun;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        MainWindow& m = *f.main;
        QCOMPARE(m.action(MainWindow::Command::Output)->isChecked(), output != 0);
        QCOMPARE(m.toolButton(MainWindow::Button::Output)->isChecked(), output != 0);
        QCOMPARE(panel->outputSwitch()->isChecked(), output != 0);
        QCOMPARE(f.session->pollTimer().isActive(), output != 0);
        QVERIFY(m.action(modeItem)->isChecked());
        QVERIFY(panel->option(f.session->coupling())->isChecked());
        QCOMPARE(m.action(MainWindow::Command::AutoRun)->isChecked(), autoRun);
        QCOMPARE(panel->autoRunSwitch()->isChecked(), autoRun);
        // Running automatically, only output, automatic run and clear-protection
        // can be used; otherwise the coupling's rule holds.
        QCOMPARE(panel->voltageEdit(1)->isEnabled(), !autoRun);
        QCOMPARE(panel->voltageEdit(0)->isEnabled(), !autoRun && coupling == 0);
        QCOMPARE(panel->option(Coupling::Independent)->isEnabled(), !autoRun);
        QVERIFY(panel->outputSwitch()->isEnabled());
        QVERIFY(panel->autoRunSwitch()->isEnabled());
        QVERIFY(panel->clearProtectionButton()->isEnabled());
        QCOMPARE(f.instrument().coupling, coupling);
        QCOMPARE(f.instrument().output, output != 0);
    }

    // The coupling chosen from the menu shows on the panel: the coupled
    // channel's edits lock as the coupling says.
    void couplingFromTheMenuLocksThePanel() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        f.main->action(MainWindow::Command::Parallel)->trigger();
        QVERIFY(panel->option(Coupling::Parallel)->isChecked());
        QVERIFY(!panel->voltageEdit(0)->isEnabled());
        QVERIFY(!panel->overCurrentSwitch(0)->isEnabled());
        QVERIFY(panel->voltageEdit(1)->isEnabled());
        f.main->action(MainWindow::Command::Tracking)->trigger();
        QVERIFY(panel->option(Coupling::Tracking)->isChecked());
        QVERIFY(!panel->voltageEdit(0)->isEnabled());
        QVERIFY(panel->currentEdit(0)->isEnabled());
    }

    // The automatic-run fields show what the supply replied.
    void autoRunFieldsShowTheReplies() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->setAutoRange(1, 4, 12);
        f.session->setDelay(15);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.panel()->autoRunField(2)->text(), QStringLiteral("12"));
        QCOMPARE(f.panel()->autoRunField(3)->text(), QStringLiteral("15"));
    }

    // With the output off no channel shows a reading, however it was switched.
    void fourChannelsBlankWithTheOutputOff_data() {
        QTest::addColumn<QString>("control");
        QTest::newRow("menu") << "menu";
        QTest::newRow("toolbar") << "toolbar";
        QTest::newRow("panel") << "panel";
    }
    void fourChannelsBlankWithTheOutputOff() {
        QFETCH(QString, control);
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        FrontPanel* panel = f.panel();
        f.instrument().channel(4).vset = 2;
        f.session->pollTimer().setInterval(5);
        f.main->action(MainWindow::Command::Output)->trigger();
        QTRY_COMPARE(panel->voltageDisplay(3)->text(), QStringLiteral("2.000"));
        if (control == QLatin1String("menu"))
            f.main->action(MainWindow::Command::Output)->trigger();
        else if (control == QLatin1String("toolbar"))
            f.main->toolButton(MainWindow::Button::Output)->trigger();
        else
            QTest::mouseClick(panel->outputSwitch(), Qt::LeftButton);
        QVERIFY(!f.main->action(MainWindow::Command::Output)->isChecked());
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(panel->voltageDisplay(i)->text(), QString());
            QCOMPARE(panel->currentDisplay(i)->text(), QString());
        }
    }

    // The four-channel panel's coupling follows the supply's own switch.
    void fourChannelPanelFollowsTheStatus() {
        ShellFixture f;
        f.overrideReplies();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        f.overrides = {{"STATUS?", "11111010"}};
        f.session->setPollCounter(8);
        f.session->pollTick();
        QVERIFY(f.panel()->option(Coupling::Tracking)->isChecked());
        QVERIFY(f.panel()->outputSwitch()->isChecked());
        QVERIFY(!f.panel()->voltageEdit(1)->isEnabled());
    }

    // The single-channel warning's No leaves the choice where it was.
    void singleChannelWarningNoKeepsTheChoice() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        f.prompter.answers = {Prompter::Answer::No};
        QTest::mouseClick(f.panel()->option(Coupling::Parallel), Qt::LeftButton);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.panel()->option(Coupling::Independent)->isChecked());
        QVERIFY(!f.panel()->setsEdit()->isEnabled());
        QVERIFY(f.main->action(MainWindow::Command::Independent)->isChecked());
    }

    // The panel's own buttons for memories and the automatic range open the
    // main window's dialogs.
    void panelButtonsOpenTheDialogs() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        for (const char* text : {"Save", "Change"}) {
            QPushButton* button = buttonOf(f.panel(), QLatin1String(text));
            QVERIFY2(button, text);
            bool shown = false;
            onNextModal<QDialog>([&shown](QDialog* d) {
                shown = true;
                d->reject();
            });
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY2(shown, text);
        }
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
    }
};

TRQ_TEST_MAIN(TestFrontPanel)
#include "tst_frontpanel.moc"
