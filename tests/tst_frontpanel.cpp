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

Q_DECLARE_METATYPE(trq::Coupling)

namespace {

// One user action on the window: "V2=12.5" types a voltage into channel 2,
// "I", "P" a current or over-voltage; "O1" clicks channel 1's OCP switch;
// "indep" clicks the independent option; "clear" the toolbar's
// clear-protection button.
void act(ShellFixture& f, const QString& step, bool german) {
    FrontPanel* panel = f.panel();
    if (step == QLatin1String("indep")) {
        QTest::mouseClick(panel->option(Coupling::Independent), Qt::LeftButton);
        return;
    }
    if (step == QLatin1String("clear")) {
        f.main->toolButton(MainWindow::Button::ClearError)->trigger();
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

} // namespace

class TestFrontPanel : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Each layout's panel has the channels and controls its profile names.
    // What the user types there reaches the supply in its family's texts,
    // with a decimal point even where the desktop writes a comma, and within
    // each channel's own limits; letters and a minus sign never get in.
    void userEditsReachTheWire_data() {
        // protection: over-voltage, over-current and clear-protection controls
        columns<QString, QStringList, QStringList, int, bool, bool, QString>(
            "model", "steps", "sent", "channels", "protection", "autoRun", "trackCaption");
        const QStringList three{"V2=12.5", "I3=1", "P1=20.125", "O2",       "O2",
                                "indep",   "V3=7", "V3=5.5",    "V1=-7abc", "clear"};
        const QStringList threeSent{":CHAN2:VOLT 12.5",        ":CHAN3:CURR 1.",
                                    ":CHAN1:PROT:VOLT 20.125", ":CHAN2:PROT:CURR 1",
                                    ":CHAN2:PROT:CURR 0",      ":OUTP:COUP:TRAC 0",
                                    ":CHAN3:VOLT 5.5", // 7 V is above channel 3's 6 V
                                    ":CHAN1:VOLT 7.",          ":OUTP:PROT:CLE"};
        const QStringList one{"V1=12.5", "I1=2.25", "P1=20", "O1", "O1", "V1=40", "clear"};
        const QStringList oneSent{":VOLT 12.5",   ":CURR 2.25",   ":VOLT:PROT 20",
                                  ":CURR:PROT 1", ":CURR:PROT 0", ":OUTP:PROT:CLE"};
        const QStringList two{"V1=12.5", "I2=1", "V2=31"};
        const QStringList twoSent{"VSET1:12.5", "ISET2:1."};
        // Channels 3 and 4 of the four-channel supply have fixed limits:
        // 10 V and 3 A, 5 V and 1 A; channel 1 has its record's 30 V.
        const QStringList four{"V1=30.001", "V1=30", "V3=5.5",   "I3=2.125", "V3=10.002", "V3=10",
                               "I3=3.002",  "I3=3",  "I4=1.002", "I4=1",     "V4=5.002",  "V4=5"};
        const QStringList fourSent{"VSET1:30.0", "VSET3:5.5", "ISET3:2.125", "VSET3:10.0",
                                   "ISET3:3.0",  "ISET4:1.0", "VSET4:5.0"};
        for (const char* locale : {"C", "de_DE"}) {
            QTest::addRow("three-channel %s", locale)
                << "PSQ-3323" << three << threeSent << 3 << true << true << "TRACK";
            QTest::addRow("single-channel %s", locale)
                << "SPQ-3610DNB" << one << oneSent << 1 << true << false << "SERIES";
            QTest::addRow("two-channel %s", locale)
                << "TRQ-3302" << two << twoSent << 2 << false << false << "TRACK";
            QTest::addRow("four-channel %s", locale)
                << "TRQ-7206S" << four << fourSent << 4 << false << false << "TRACK";
        }
    }
    void userEditsReachTheWire() {
        auto [model, steps, sent, channels, protection, autoRun, trackCaption] =
            fetch<QString, QStringList, QStringList, int, bool, bool, QString>(
                "model", "steps", "sent", "channels", "protection", "autoRun", "trackCaption");
        const bool german = QByteArray(QTest::currentDataTag()).endsWith("de_DE");
        QLocale::setDefault(german ? QLocale(QLocale::German) : QLocale::c());
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
        f.takeReceived();
        for (const QString& step : steps)
            act(f, step, german);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
    }

    // Replies are shown as the supply gave them and never sent back: a
    // setting outside an edit's limits unclamped, the protection state on
    // its switch (a setting that is no number is tst_session's, what the
    // user enters is bounded in userEditsReachTheWire).
    void repliesAreShownNotSentBack_data() {
        columns<QByteArray, bool>("protection", "on");
        QTest::newRow("protection on") << QByteArray("1") << true;
        QTest::newRow("protection off") << QByteArray("0") << false;
        QTest::newRow("protection unreadable") << QByteArray("x") << false;
    }
    void repliesAreShownNotSentBack() {
        auto [protection, on] = fetch<QByteArray, bool>("protection", "on");
        ShellFixture f;
        f.overrideReplies();
        f.overrides = {{":CHAN1:VOLT?", "40"}, {":CHAN1:PROT:CURR?", protection}};
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        QCOMPARE(panel->voltageEdit(0)->value(), 40.0);
        QCOMPARE(panel->currentEdit(1)->value(), f.instrument().channel(2).iset);
        QCOMPARE(panel->overCurrentSwitch(0)->isChecked(), on);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()),
                 (QStringList{":OUTP:STAT 0", ":OUTP:COUP:TRAC 0", ":SYST:AUTO:STAT 0",
                              ":OUTP:COUP:TRAC 0"}));
    }

    // What the supply is already doing when the initial query reads it, or
    // the coupling then chosen from the menu, shows on the panel, the menus
    // and the toolbar, and locks the coupled channel's edits as it says.
    void theSupplysStateShowsEverywhere_data() {
        // coupling: the supply's: 0 indep, 1 parallel, 2 tracking
        // chosen: from the menu, in turn
        columns<int, int, bool, MainWindow::Command, QList<MainWindow::Command>>(
            "output", "coupling", "autoRun", "modeItem", "chosen");
        using C = MainWindow::Command;
        const QList<C> none;
        QTest::newRow("parallel") << 0 << 1 << false << C::Parallel << none;
        QTest::newRow("tracking") << 0 << 2 << false << C::Tracking << none;
        QTest::newRow("running automatically") << 1 << 0 << true << C::Independent << none;
        QTest::newRow("then tracking from the menu")
            << 0 << 2 << false << C::Tracking << QList<C>{C::Parallel, C::Tracking};
    }
    void theSupplysStateShowsEverywhere() {
        auto [output, coupling, autoRun, modeItem, chosen] =
            fetch<int, int, bool, MainWindow::Command, QList<MainWindow::Command>>(
                "output", "coupling", "autoRun", "modeItem", "chosen");
        ShellFixture f;
        f.factory.prepare = [&](sim::Supply& s) {
            s.output = output != 0;
            s.coupling = chosen.isEmpty() ? coupling : 0;
            s.autoRun = autoRun;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        MainWindow& m = *f.main;
        for (MainWindow::Command item : chosen)
            m.action(item)->trigger();
        QVERIFY(f.waitReceived());
        QCOMPARE(m.action(MainWindow::Command::Output)->isChecked(), output != 0);
        QCOMPARE(m.toolButton(MainWindow::Button::Output)->isChecked(), output != 0);
        QCOMPARE(panel->outputSwitch()->isChecked(), output != 0);
        QCOMPARE(f.session->pollActive(), output != 0);
        QVERIFY(m.action(modeItem)->isChecked());
        QVERIFY(panel->option(f.session->supply().coupling())->isChecked());
        QCOMPARE(m.action(MainWindow::Command::AutoRun)->isChecked(), autoRun);
        QCOMPARE(panel->autoRunSwitch()->isChecked(), autoRun);
        // Running automatically, only output, automatic run and clear-protection
        // can be used; otherwise the coupling's rule holds.
        QCOMPARE(panel->voltageEdit(1)->isEnabled(), !autoRun);
        QCOMPARE(panel->voltageEdit(0)->isEnabled(), !autoRun && coupling == 0);
        QCOMPARE(panel->currentEdit(0)->isEnabled(), !autoRun && coupling != 1);
        QCOMPARE(panel->overCurrentSwitch(0)->isEnabled(), !autoRun && coupling != 1);
        QCOMPARE(panel->option(Coupling::Independent)->isEnabled(), !autoRun);
        QVERIFY(panel->outputSwitch()->isEnabled() && panel->autoRunSwitch()->isEnabled() &&
                panel->clearProtectionButton()->isEnabled());
        QCOMPARE(f.instrument().coupling, coupling);
        QCOMPARE(f.instrument().output, output != 0);
    }

    // With the output off no channel shows a reading, however it was switched.
    void fourChannelsBlankWithTheOutputOff_data() {
        QTest::addColumn<QString>("control");
        for (const char* control : {"menu", "panel"}) // the toolbar's is the menu's
            QTest::newRow(control) << QString::fromLatin1(control);
    }
    void fourChannelsBlankWithTheOutputOff() {
        QFETCH(QString, control);
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        FrontPanel* panel = f.panel();
        f.instrument().channel(4).vset = 2;
        f.session->poll().timer().setInterval(5);
        f.main->action(MainWindow::Command::Output)->trigger();
        QTRY_COMPARE(panel->voltageDisplay(3)->text(), QStringLiteral("2.000"));
        if (control == QLatin1String("menu"))
            f.main->action(MainWindow::Command::Output)->trigger();
        else
            QTest::mouseClick(panel->outputSwitch(), Qt::LeftButton);
        QVERIFY(!f.main->action(MainWindow::Command::Output)->isChecked());
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(panel->voltageDisplay(i)->text(), QString());
            QCOMPARE(panel->currentDisplay(i)->text(), QString());
        }
    }

    // The single-channel panel shows the coupling the supply was told: a
    // parallel or series choice goes out with one set at least (0 sets is
    // independent to the unit), the Sets edit tells the unit its number, and
    // 0 there is independent. The warning's No leaves the choice as it was.
    void singleChannelPanelShowsWhatTheSupplyWasTold_data() {
        // steps: an option's caption, or "sets=n" typed
        columns<QStringList, QStringList, Coupling, int>("steps", "sent", "shown", "sets");
        QTest::newRow("warning answered No")
            << QStringList{"no", "PARALLEL"} << QStringList() << Coupling::Independent << 0;
        QTest::newRow("series of two sets")
            << QStringList{"SERIES", "sets=2"} << QStringList{"SYST:CONF:MSL 1", "SYST:CONF:MSL 2"}
            << Coupling::Tracking << 2;
        QTest::newRow("no sets: independent")
            << QStringList{"SERIES", "sets=0"} << QStringList{"SYST:CONF:MSL 1", "SYST:CONF:MSL 0"}
            << Coupling::Independent << 0;
    }
    void singleChannelPanelShowsWhatTheSupplyWasTold() {
        auto [steps, sent, shown, sets] =
            fetch<QStringList, QStringList, Coupling, int>("steps", "sent", "shown", "sets");
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        FrontPanel* panel = f.panel();
        f.takeReceived();
        for (const QString& step : steps) {
            if (step == QLatin1String("no"))
                f.prompter.answers = {Prompter::Answer::No};
            else if (step.startsWith(QLatin1String("sets=")))
                ShellFixture::type(panel->setsEdit(), step.mid(5));
            else
                for (QRadioButton* b : panel->findChildren<QRadioButton*>())
                    if (b->text() == step)
                        QTest::mouseClick(b, Qt::LeftButton);
            QVERIFY(f.waitReceived());
        }
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
        QVERIFY(panel->option(shown)->isChecked());
        QCOMPARE(panel->setsEdit()->value(), sets);
        QCOMPARE(panel->setsEdit()->isEnabled(), shown != Coupling::Independent);
        QCOMPARE(f.instrument().sets, sets);  // what the unit holds
        QCOMPARE(f.prompter.texts.size(), 1); // the warning, once
    }
};

TRQ_TEST_MAIN(TestFrontPanel)
#include "tst_frontpanel.moc"
