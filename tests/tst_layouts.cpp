// The single-channel and legacy panels as the simulated supply sees them.
#include "panels/frmlayout1.h"
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

// One user action on a panel: "V2=12.5" types a voltage into channel 2,
// "I", "P" a current or over-voltage; "O1" clicks channel 1's OCP switch;
// "indep" clicks the independent option.
void act(FrontPanel* panel, const QString& step, bool german) {
    if (step == QLatin1String("indep")) {
        panel->optIndep()->click();
        return;
    }
    const int channel = step.mid(1, 1).toInt() - 1;
    if (step.startsWith(QLatin1Char('O'))) {
        panel->tbnOCP(channel)->click();
        return;
    }
    QString value = step.mid(3);
    if (german)
        value.replace(QLatin1Char('.'), QLatin1Char(','));
    NumEdit* edit = step.startsWith(QLatin1Char('V'))   ? panel->numVoltage(channel)
                    : step.startsWith(QLatin1Char('I')) ? panel->numCurrent(channel)
                                                        : panel->numOVP(channel);
    ShellFixture::type(edit, value);
}

} // namespace

class TestLayouts : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

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
            act(f.main->OperatorForm, step, german);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
    }

    // Over-current protection and clear-protection from every control that
    // offers them, and the protection reply driving the switch.
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
        FrontPanel* panel = f.main->OperatorForm;
        f.takeReceived();
        QTest::mouseClick(panel->tbnOCP(0), Qt::LeftButton);
        QTest::mouseClick(panel->tbnOCP(0), Qt::LeftButton);
        QPushButton* clear = nullptr;
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->text() == QLatin1String("Clear Protection"))
                clear = b;
        QTest::mouseClick(clear, Qt::LeftButton);
        f.main->menuItem(QStringLiteral("mnuClearErrorOfProtection"))->trigger();
        f.main->toolButton(QStringLiteral("ClearError"))->trigger();
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()),
                 ocpTexts + QStringList(3, QStringLiteral(":OUTP:PROT:CLE")));
        QCOMPARE(f.instrument().channel(1).ocp, false);

        // The supply's answer to the protection query drives the switch.
        ReplyField* reply = qobject_cast<frmLayout1*>(panel)
                                ? qobject_cast<frmLayout1*>(panel)->txtOCP(0)
                                : qobject_cast<frmLayout2*>(panel)->txtOCP(0);
        for (const auto& [text, on] :
             {std::pair{"1", true}, {"0", false}, {"1", true}, {"x", false}}) {
            reply->setText(QLatin1String(text));
            QCOMPARE(panel->tbnOCP(0)->isChecked(), on);
        }
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList()); // a reply is shown, never sent back
    }

    // An instrument error switches the output off at once: the off command is
    // on the wire while the message is still up, and polling has stopped.
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("gpib");
        QTest::addColumn<QString>("refused");
        for (bool gpib : {false, true}) {
            QTest::addRow("three-channel %s", gpib ? "GPIB" : "serial")
                << "PSQ-3323" << gpib << ":CHAN1:VOLT 99";
            QTest::addRow("single-channel %s", gpib ? "GPIB" : "serial")
                << "SPQ-3610DNB" << gpib << ":VOLT 99";
        }
    }
    void instrumentErrorSwitchesTheOutputOffBeforeTheBox() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        QFETCH(QString, refused);
        ShellFixture f;
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        f.main->DoOutput(true);
        QTRY_VERIFY(f.instrument().output);
        bool offWhileShown = false;
        bool pollingWhileShown = true;
        f.prompter.onAsk = [&] {
            offWhileShown = QTest::qWaitFor([&] { return !f.instrument().output; }, 3000);
            pollingWhileShown = f.main->QueryTimer().isActive();
        };
        f.main->sendCommand(refused);
        QTRY_VERIFY(!f.prompter.texts.isEmpty());
        QCOMPARE(f.prompter.texts, QStringList{"Error detected: '-222,\"Data out of range\"'"});
        QVERIFY(offWhileShown);
        QVERIFY(!pollingWhileShown);
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
    }

    // A junk line after the error query's clean answer is line noise, not an
    // instrument error: the output stays on and nothing is shown.
    void lineNoiseIsNoInstrumentError() {
        ShellFixture f;
        f.factory.rewrite = [](const QByteArray& written, const QByteArray& reply) {
            return written.startsWith(":SYST:ERR?") ? reply + "\x13\xfe#\x7f\r" : reply;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->DoOutput(true);
        f.main->QueryTimer().setInterval(5);
        qsizetype errorQueries = 0;
        QVERIFY(QTest::qWaitFor([&] {
            errorQueries += f.takeReceived().count(QStringLiteral(":SYST:ERR?"));
            return errorQueries >= 3;
        }));
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(f.instrument().output);
        QVERIFY(f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
    }

    // A replied setting outside an edit's limits is shown as replied and never
    // sent back clamped; only what the user enters is bounded and sent.
    void repliedSettingsAreShownNotSentBack() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = panelOf<frmLayout1>(f);
        f.takeReceived();
        panel->txtSetVolt(0)->setText(QStringLiteral("40"));
        QCOMPARE(panel->numVoltage(0)->value(), 40.0);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        ShellFixture::type(panel->numVoltage(0), QStringLiteral("35")); // above the 32 V limit
        ShellFixture::type(panel->numVoltage(0), QStringLiteral("20"));
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList{":CHAN1:VOLT 20."});
    }

    // A status reply of the wrong length or with other characters than the
    // flag digits changes nothing on a live supply.
    void garbledStatusChangesNothing_data() {
        QTest::addColumn<QString>("reply");
        QTest::newRow("short, tracking bits") << "1110";
        QTest::newRow("one byte dropped, output 0") << "0010010";
        QTest::newRow("a NUL inside") << QString::fromLatin1("0001\x00"
                                                             "0010",
                                                             9);
        QTest::newRow("one flag too many") << "110100000";
        QTest::newRow("letters") << "1101x000";
    }
    void garbledStatusChangesNothing() {
        QFETCH(QString, reply);
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        auto* panel = panelOf<frmLayout4>(f);
        f.main->DoOutput(true);
        f.main->QueryTimer().stop();
        QVERIFY(f.waitReceived());
        f.takeReceived();
        panel->txtStatus()->setText(reply);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        QVERIFY(panel->tbnOutput()->isChecked());
        QCOMPARE(panel->modeCode(), int(Coupling::Independent));
        QVERIFY(panel->optIndep()->isChecked());
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
        auto* panel = panelOf<frmLayout4>(f);
        f.instrument().channel(4).vset = 2;
        f.main->QueryTimer().setInterval(5);
        f.main->menuItem(QStringLiteral("mnuOutput"))->trigger();
        QTRY_COMPARE(panel->txtVoltage(3)->text(), QStringLiteral("2.000"));
        if (control == QLatin1String("menu"))
            f.main->menuItem(QStringLiteral("mnuOutput"))->trigger();
        else if (control == QLatin1String("toolbar"))
            f.main->toolButton(QStringLiteral("Output"))->trigger();
        else
            QTest::mouseClick(panel->tbnOutput(), Qt::LeftButton);
        QVERIFY(!f.main->menuItem(QStringLiteral("mnuOutput"))->isChecked());
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(panel->txtVoltage(i)->text(), QString());
            QCOMPARE(panel->txtCurrent(i)->text(), QString());
        }
    }

    // A four-channel supply that ends its lines with LF alone is read whole.
    void fourChannelsTakeAnyLineEnd() {
        ShellFixture f;
        f.factory.rewrite = [](const QByteArray&, QByteArray reply) {
            return reply.replace("\r\n", "\n");
        };
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-7206S")));
        auto* panel = panelOf<frmLayout4>(f);
        f.instrument().channel(1).vset = 1.5;
        f.main->QueryTimer().setInterval(5);
        f.main->DoOutput(true);
        QTRY_COMPARE(panel->txtVoltage(0)->text(), QStringLiteral("1.500"));
    }

    // The single-channel panel sends its current and over-voltage edits only
    // once a measured reply has come in, not because of its own start-up text.
    void singleChannelWaitsForItsFirstReadings() {
        ShellFixture f;
        bool silent = true;
        f.factory.rewrite = [&](const QByteArray& written, const QByteArray& reply) {
            return silent && written.startsWith(":MEAS:") ? QByteArray() : reply;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("SPQ-3610DNB")));
        auto* panel = panelOf<frmLayout2>(f);
        f.takeReceived();
        ShellFixture::type(panel->numCurrent(0), QStringLiteral("2"));
        ShellFixture::type(panel->numOVP(0), QStringLiteral("20"));
        ShellFixture::type(panel->numVoltage(0), QStringLiteral("5"));
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), QStringList{":VOLT 5"});
        silent = false;
        f.main->QueryTimer().setInterval(5);
        f.main->DoOutput(true);
        QTRY_VERIFY(!panel->txtCurrent(0)->text().isEmpty());
        ShellFixture::type(panel->numCurrent(0), QStringLiteral("2"));
        ShellFixture::type(panel->numOVP(0), QStringLiteral("21"));
        f.main->DoOutput(false);
        QVERIFY(f.waitReceived());
        const QStringList sent = commandsOnly(f.takeReceived());
        QVERIFY(sent.contains(QStringLiteral(":CURR 2")));
        QVERIFY(sent.contains(QStringLiteral(":VOLT:PROT 21")));
    }

    // The initial query reads what the supply is already doing and shows it.
    void initialQueryTakesTheSupplysState_data() {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("coupling"); // the supply's: 0 indep, 1 parallel, 2 tracking
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<QString>("modeItem");
        QTest::newRow("already on") << 1 << 0 << false << "mnuIndep";
        QTest::newRow("parallel") << 0 << 1 << false << "mnuParallel";
        QTest::newRow("tracking") << 0 << 2 << false << "mnuTrack";
        QTest::newRow("running automatically") << 1 << 0 << true << "mnuIndep";
    }
    void initialQueryTakesTheSupplysState() {
        QFETCH(int, output);
        QFETCH(int, coupling);
        QFETCH(bool, autoRun);
        QFETCH(QString, modeItem);
        ShellFixture f;
        f.factory.prepare = [&](sim::Supply& s) {
            s.output = output != 0;
            s.coupling = coupling;
            s.autoRun = autoRun;
        };
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        auto* panel = panelOf<frmLayout1>(f);
        MDIForm1& m = *f.main;
        QCOMPARE(m.menuItem(QStringLiteral("mnuOutput"))->isChecked(), output != 0);
        QCOMPARE(m.toolButton(QStringLiteral("Output"))->isChecked(), output != 0);
        QCOMPARE(panel->tbnOutput()->isChecked(), output != 0);
        QCOMPARE(m.QueryTimer().isActive(), output != 0);
        QVERIFY(m.menuItem(modeItem)->isChecked());
        QCOMPARE(m.menuItem(QStringLiteral("mnuAutoRun"))->isChecked(), autoRun);
        QCOMPARE(panel->tbnAutoRun()->isChecked(), autoRun);
        // Running automatically, only output, automatic run and clear-protection
        // can be used; otherwise the coupling mode's rule holds.
        QCOMPARE(panel->numVoltage(1)->isEnabled(), !autoRun);
        QCOMPARE(panel->numVoltage(0)->isEnabled(), !autoRun && coupling == 0);
        QVERIFY(panel->tbnOutput()->isEnabled());
        QCOMPARE(f.instrument().coupling, coupling);
        QCOMPARE(f.instrument().output, output != 0);
    }

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
