// The sequence window on a simulated supply, worked with the mouse: a file
// loaded and run, its steps on the wire, the panel's controls kept by the
// run, Stop, and closing the program with a run going.
#include "session/sessionsequence.h"
#include "support/shellfixture.h"
#include "ui/sequencewindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>

using namespace trq;
using namespace trq::test;

class TestSequenceWindow : public QObject {
    Q_OBJECT
private slots:
    void aLoadedFileRunsAndStops() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(f.quiet());
        f.takeReceived();
        QFile file(freshFolder(QStringLiteral("sequences")) + QStringLiteral("/charge.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("channel,voltage,current,output,dwell_s\n"
                   "1,1.5,0.5,on,3600\n"
                   "1,,,off,0\n");
        file.close();
        f.prompter.fileName = file.fileName();

        f.main->action(MainWindow::Command::Sequence)->trigger();
        SequenceWindow* w = f.main->sequenceWindow();
        QVERIFY(w && w->isVisible());
        clickButton(w, QStringLiteral("load"));
        QCOMPARE(w->findChild<QTableView*>()->model()->rowCount(), 2);
        QAbstractButton* run = buttonOf(w, QStringLiteral("run"));
        QTRY_VERIFY(run->isEnabled());

        f.waiter.frozen = true; // the first step lasts
        QTest::mouseClick(run, Qt::LeftButton);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), (QStringList{"VSET1:1.5", "ISET1:0.5", "OUT1"}));
        QVERIFY(!run->isEnabled() && buttonOf(w, QStringLiteral("stop"))->isEnabled());
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("progress"))->text().section(',', 0, 0),
                 QStringLiteral("Step 1 of 2"));
        f.main->updateStatus();
        QCOMPARE(f.main->statusText(), QStringLiteral("Sequence running: step 1 of 2"));

        // The panel's output switch while it runs: paused and asked; No
        // lets it go on, and the switch changes nothing.
        SequenceRunner& runner = f.session->sequence().runner();
        bool pausedWhenAsked = false;
        f.prompter.onAsk = [&] {
            pausedWhenAsked = runner.state() == SequenceRunner::State::Paused;
        };
        f.prompter.answers = {Prompter::Answer::No};
        QTest::mouseClick(f.panel()->outputSwitch(), Qt::LeftButton);
        QCOMPARE(f.prompter.texts,
                 QStringList{"A sequence is in control of the supply. Stop the sequence?"});
        QVERIFY(pausedWhenAsked);
        QVERIFY(runner.state() == SequenceRunner::State::Running);
        QVERIFY(f.panel()->outputSwitch()->isChecked());

        clickButton(w, QStringLiteral("stop"));
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), QStringList{"OUT0"});
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("state"))->text(),
                 QStringLiteral("Stopped: Stop was pressed."));
        QVERIFY(run->isEnabled());

        // Closing the program with a run going: the run's output-off leaves
        // the link before it closes.
        QTest::mouseClick(run, Qt::LeftButton);
        QTRY_VERIFY(f.instrument().output);
        // Nor is its link closed for another supply while it runs.
        f.prompter.texts.clear();
        f.main->goOnLine(InterfaceKind::Serial, {}, true);
        QCOMPARE(f.prompter.texts,
                 QStringList{"A sequence is running on this supply: stop it first."});
        QVERIFY(f.session->sequence().running() && f.session->isReady());
        f.main->close();
        QTRY_VERIFY(!f.main->isVisible());
        QVERIFY(!f.instrument().output);
        QCOMPARE(f.instrument().received.back(), QStringLiteral("OUT0"));
    }
};

TRQ_TEST_MAIN(TestSequenceWindow)
#include "tst_sequencewindow.moc"
