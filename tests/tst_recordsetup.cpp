#include "record/dlgrecordlength.h"
#include "record/recordscale.h"
#include "shell/settings.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

using namespace trq;
using namespace trq::test;

namespace {

struct SetupFixture {
    QTimer round, waiting, writer;
    ScriptedPrompter prompter;
    dlgRecordLength dlg{{&round, &waiting, &writer}, prompter};
    SetupFixture() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope,
                  QString::fromLatin1(Settings::kApplication))
            .clear();
        writer.start(1000);
    }
    // Runs Execute, doing `step` once the dialog is up; presses OK unless
    // the step closed it.
    bool execute(const std::function<void()>& step, bool pressOk = true) {
        QTimer::singleShot(0, [&, step, pressOk] {
            step();
            if (pressOk && dlg.isVisible())
                dlg.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
            if (dlg.isVisible()) // left open on purpose: close it the second time
                dlg.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        });
        return dlg.Execute();
    }
};

} // namespace

class TestRecordSetup : public QObject {
    Q_OBJECT
private slots:
    void scalesFoldTheirOwnLength() {
        // "10 mins", "30 mins" and "1 Hour" are 600, 1800 and 3600 ticks.
        const int expected[] = {1, 2, 5, 10, 30, 60, 300, 600, 1800, 3600};
        for (std::size_t i = 0; i < kRecordScales.size(); ++i) {
            QCOMPARE(kRecordScales[i].ticksPerPoint, expected[i]);
            QCOMPARE(kRecordScales[i].graphSecondsPerPoint, expected[i]);
        }
    }

    void lengthLimitPerScale() {
        SetupFixture f;
        // Cancel in the message keeps the dialog open with the day still chosen.
        f.prompter.answers = {Prompter::Answer::Cancel};
        bool stayedOpen = false;
        QVERIFY(!f.execute(
            [&] {
                f.dlg.cmdScale()->setCurrentIndex(0);
                f.dlg.cmbDays()->setCurrentIndex(1);
                f.dlg.OKButton_Click();
                stayedOpen = f.dlg.isVisible() && f.dlg.cmbDays()->currentIndex() == 1;
            },
            false));
        QVERIFY(stayedOpen);
        QCOMPARE(f.prompter.texts.size(), 1);
        QCOMPARE(f.prompter.texts.first(),
                 QStringLiteral("The Max. Record Time Lenth must less than 8.9 Hours !\r\nChoose "
                                "<Cancle> to change other setting!"));
        // OK in the message takes the longest length allowed.
        QVERIFY(f.execute([&] {
            f.dlg.cmdScale()->setCurrentIndex(3);
            f.dlg.cmbDays()->setCurrentIndex(6);
        }));
        QCOMPARE(f.dlg.Days, 3);
        QVERIFY(f.prompter.texts.last().startsWith(
            QStringLiteral("The Max. Record Time Lenth must less than 3.8 day !")));
        // "10 mins" for seven days needs no message.
        const int before = int(f.prompter.texts.size());
        QVERIFY(f.execute([&] {
            f.dlg.cmdScale()->setCurrentIndex(7);
            f.dlg.cmbDays()->setCurrentIndex(7);
            f.dlg.cmbSeconds()->setCurrentIndex(7);
        }));
        QCOMPARE(int(f.prompter.texts.size()), before);
        QCOMPARE(f.dlg.Days, 7);
        QCOMPARE(f.dlg.Seconds, 35);
        // A stored 35 seconds comes back selected.
        QVERIFY(
            f.execute([&] { QCOMPARE(f.dlg.cmbSeconds()->currentText(), QStringLiteral("35")); }));
    }

    void timerBoxesSwitchTheTimers() {
        SetupFixture f;
        QVERIFY(f.execute([&] { f.dlg.txtWriter()->setText(QStringLiteral("0")); }));
        QVERIFY(!f.writer.isActive());
        QCOMPARE(f.writer.interval(), 1000); // the period is left alone
        QVERIFY(f.execute([&] { f.dlg.txtWriter()->setText(QStringLiteral("abc")); }));
        QCOMPARE(
            f.prompter.texts,
            QStringList{"Writer Timer Value should be numberic type and it is reset to 100ms"});
        QCOMPARE(f.dlg.txtWriter()->text(), QStringLiteral("100"));
        QVERIFY(f.writer.isActive());
        QVERIFY(f.round.isActive());
        QVERIFY(f.waiting.isActive());
    }

    void coloursTravelAsDecimalText() {
        QCOMPARE(dlgRecordLength::colourText(QColor(0, 192, 0)), QStringLiteral("49152"));
        QCOMPARE(dlgRecordLength::colourText(QColor(255, 255, 0)), QStringLiteral("65535"));
        QCOMPARE(dlgRecordLength::colourOf(QStringLiteral("12582912")), QColor(0, 0, 192));
        SetupFixture f;
        f.dlg.setColourPicker([](const QColor& preset) -> std::optional<QColor> {
            return preset == QColor(0, 192, 0) ? std::optional<QColor>(QColor(255, 0, 0))
                                               : std::nullopt;
        });
        QVERIFY(f.execute([&] { f.dlg.pickColourFor(0); }));
        QCOMPARE(f.dlg.ChColor[0], QStringLiteral("255"));
        QCOMPARE(f.dlg.txtChColor(0)->text(), QStringLiteral("255"));
        QCOMPARE(Settings::GetSetting(QStringLiteral("RECORDPERIOD"), QStringLiteral("Ch1Color")),
                 QStringLiteral("255"));
    }

    void cancelStoresNothing() {
        SetupFixture f;
        QVERIFY(!f.execute(
            [&] {
                f.dlg.cmdScale()->setCurrentIndex(5);
                f.dlg.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
            },
            false));
        QCOMPARE(Settings::GetSetting(QStringLiteral("RECORDPERIOD"), QStringLiteral("RecScale")),
                 QString());
    }
};

TRQ_TEST_MAIN(TestRecordSetup)
#include "tst_recordsetup.moc"
