#include "core/settings.h"
#include "session/instrumentsession.h"
#include "support/windowfixture.h"
#include "ui/recordsetupdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

using namespace trq;
using namespace trq::test;

namespace {

struct SetupFixture {
    std::optional<LinkActivity> applied;
    ScriptedPrompter prompter;
    RecordSetupDialog dlg{[this](const LinkActivity& a) { applied = a; }, prompter};
    RecordSetup setup;
    SetupFixture() { clearSettings(); }
    // Runs the dialog, doing `step` once the dialog is up; presses OK unless
    // the step closed it.
    bool execute(const std::function<void()>& step, bool pressOk = true) {
        QTimer::singleShot(0, [&, step, pressOk] {
            step();
            if (pressOk && dlg.isVisible())
                dlg.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
            if (dlg.isVisible()) // left open on purpose: close it the second time
                dlg.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        });
        return dlg.run(setup);
    }
};

// The labels that end in a box's unit, on its row: where they stand, left
// or right of it.
QStringList unitsBeside(QWidget& dlg, QLineEdit* box) {
    const QRect b(box->mapTo(&dlg, QPoint()), box->size());
    QStringList sides;
    for (QLabel* l : dlg.findChildren<QLabel*>()) {
        const QRect r(l->mapTo(&dlg, QPoint()), l->size());
        if (l->text().trimmed().endsWith(QLatin1String("ms")) && r.center().y() >= b.top() &&
            r.center().y() <= b.bottom())
            sides << (r.left() > b.right() ? QStringLiteral("right") : QStringLiteral("left"));
    }
    return sides;
}

} // namespace

class TestRecordSetup : public QObject {
    Q_OBJECT
private slots:
    // OK in the length check's message takes the longest length allowed;
    // "10 mins" for seven days needs no message, nor does a continuous
    // recording, which has no length. What was chosen comes back.
    void lengthLimitPerScaleAndContinuous() {
        SetupFixture f;
        QVERIFY(f.execute([&] {
            f.dlg.scaleList()->setCurrentIndex(3);
            f.dlg.daysList()->setCurrentIndex(6);
        }));
        QCOMPARE(f.dlg.values().days, 3);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.last().startsWith(
            QStringLiteral("The Max. Record Time Lenth must less than 3.8 day !")));
        QVERIFY(f.execute([&] {
            f.dlg.scaleList()->setCurrentIndex(7);
            f.dlg.daysList()->setCurrentIndex(7);
            f.dlg.secondsList()->setCurrentIndex(7);
        }));
        QCOMPARE(f.dlg.values().days, 7);
        QCOMPARE(f.dlg.values().seconds, 35);
        QVERIFY(f.execute([&] {
            QCOMPARE(f.dlg.secondsList()->currentText(), QStringLiteral("35"));
            f.dlg.scaleList()->setCurrentIndex(0); // seven days of 1 s
            QTest::mouseClick(f.dlg.continuousBox(), Qt::LeftButton, {},
                              QPoint(4, f.dlg.continuousBox()->height() / 2));
            QVERIFY(!f.dlg.daysList()->isEnabled());
            QLineEdit* hours = f.dlg.partHoursBox()->findChild<QLineEdit*>();
            hours->selectAll();
            QTest::keyClicks(hours, QStringLiteral("6"));
        }));
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.setup.continuous);
        QCOMPARE(f.setup.partHours, 6);
        RecordSetup again;
        again.load();
        QVERIFY(again.continuous);
        QCOMPARE(again.partHours, 6);
        QVERIFY(!f.execute([&] { QVERIFY(f.dlg.continuousBox()->isChecked()); }, false));
    }

    // Each timer box has its unit after it; "0" stops its timer, a text that
    // is no number is set back.
    void timerBoxesSwitchTheTimers() {
        SetupFixture f;
        QVERIFY(f.execute([&] {
            for (QLineEdit* box :
                 {f.dlg.roundTimeBox(), f.dlg.waitingTimeBox(), f.dlg.writerTimeBox()})
                QCOMPARE(unitsBeside(f.dlg, box), QStringList{"right"});
            f.dlg.writerTimeBox()->setText(QStringLiteral("0"));
        }));
        QVERIFY(f.applied == (LinkActivity{true, true, false}));
        QVERIFY(f.execute([&] { f.dlg.writerTimeBox()->setText(QStringLiteral("abc")); }));
        QCOMPARE(
            f.prompter.texts,
            QStringList{"Writer Timer Value should be numberic type and it is reset to 100ms"});
        QCOMPARE(f.dlg.writerTimeBox()->text(), QStringLiteral("100"));
        QVERIFY(f.applied == LinkActivity{});
    }

    // A picked colour is kept as decimal text, red the low byte, and the
    // graph's plots and legend take the stored ones at their first
    // activation; an empty entry keeps a channel's colour.
    void coloursReachTheGraph() {
        SetupFixture f;
        f.dlg.setColourPicker([](const QColor& preset) -> std::optional<QColor> {
            return preset == QColor(0, 192, 0) ? std::optional<QColor>(QColor(255, 0, 0))
                                               : std::nullopt;
        });
        QVERIFY(f.execute([&] { f.dlg.pickColourFor(0); }));
        QCOMPARE(f.dlg.values().colours[0], QStringLiteral("255"));
        QCOMPARE(f.dlg.colourBox(0)->text(), QStringLiteral("255"));
        QCOMPARE(Settings::instance().channelColour(1), QStringLiteral("255"));
        WindowFixture w;
        QCOMPARE(w.graph->lineColour(1), QColor(255, 0, 0));
        QCOMPARE(w.graph->plot(1)->pen().color(), QColor(255, 0, 0));
        w.graph->setChannelColours({"", "65280", "16711680", "0"});
        QCOMPARE(w.graph->lineColour(0), QColor(255, 0, 0)); // empty: kept
        QCOMPARE(w.graph->lineColour(2), QColor(0, 255, 0));
        QCOMPARE(w.graph->plot(5)->pen().color(), QColor(0, 0, 255));
    }

    // Cancel in the length check's message keeps the dialog open with the
    // day still chosen; leaving it then by Escape, the close box or Cancel
    // applies and stores nothing of what was chosen.
    void refusedLengthIsNeverApplied_data() {
        QTest::addColumn<QByteArray>("way");
        for (const char* way : {"Escape", "close box", "Cancel"})
            QTest::newRow(way) << QByteArray(way);
    }
    void refusedLengthIsNeverApplied() {
        QFETCH(QByteArray, way);
        SetupFixture f;
        f.prompter.answers = {Prompter::Answer::Cancel};
        bool stayedOpen = false;
        QVERIFY(!f.execute(
            [&] {
                f.dlg.scaleList()->setCurrentIndex(0);
                f.dlg.daysList()->setCurrentIndex(1);
                QTest::mouseClick(f.dlg.findChild<QPushButton*>(QStringLiteral("OKButton")),
                                  Qt::LeftButton);
                stayedOpen = f.dlg.isVisible() && f.dlg.daysList()->currentIndex() == 1;
                if (way == "Escape")
                    QTest::keyClick(&f.dlg, Qt::Key_Escape);
                else if (way == "close box")
                    f.dlg.close();
                else
                    f.dlg.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
            },
            false));
        QVERIFY(stayedOpen);
        QCOMPARE(f.prompter.texts,
                 QStringList{"The Max. Record Time Lenth must less than 8.9 Hours !\r\nChoose "
                             "<Cancle> to change other setting!"});
        for (const char* key : {"Days", "RecScale"})
            QCOMPARE(storedText(QStringLiteral("RECORDPERIOD/") + QLatin1String(key)), QString());
        QCOMPARE(f.dlg.values().days, 0);
        QVERIFY(!f.applied); // no timer was switched either
    }

    // The colour picker opens on a click, Enter or Space in a colour box, never
    // because the box got the focus (it gets it back when the picker closes).
    void colourPickerOpensOnlyWhenAsked() {
        SetupFixture f;
        int opened = 0;
        f.dlg.setColourPicker([&](const QColor&) -> std::optional<QColor> {
            ++opened;
            return std::nullopt;
        });
        QVERIFY(f.execute([&] {
            QLineEdit* box = f.dlg.colourBox(1);
            f.dlg.activateWindow();
            box->setFocus(Qt::TabFocusReason);
            QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
            QApplication::sendEvent(box, &focusIn);
            QTest::qWait(20);
            QCOMPARE(opened, 0);
            QTest::mouseClick(box, Qt::LeftButton);
            QTRY_COMPARE(opened, 1);
            QTest::keyClick(box, Qt::Key_Return);
            QTRY_COMPARE(opened, 2);
            QTest::keyClick(box, Qt::Key_Space);
            QTRY_COMPARE(opened, 3);
            QTest::keyClick(box, Qt::Key_A);
            QTest::qWait(20);
            QCOMPARE(opened, 3);
        }));
    }
};

TRQ_TEST_MAIN(TestRecordSetup)
#include "tst_recordsetup.moc"
