// The table window on a live connection to a simulated supply.
#include "graph/frmgraphicrecord.h"
#include "graph/graphrecord.h"
#include "record/dlgrecordlength.h"
#include "record/frmdatatable.h"
#include "support/shellfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <qcustomplot.h>

using namespace trq;
using namespace trq::test;

namespace {

struct TableFixture : ShellFixture {
    frmDataTable* table = nullptr;
    bool start(const QString& model = QStringLiteral("PSQ-3323")) {
        if (!onLineSerial(model))
            return false;
        main->DoOutput(true);
        table = main->tableWindow();
        return table != nullptr;
    }
    void record(int ticks) {
        table->engine().RecordPeriod(0, 0, 0, ticks - 1, 0, 0);
        main->mnuRecordStart_Click();
        for (int i = 0; i < ticks; ++i) {
            waitForReading(); // a point is made only of readings that arrived
            table->engine().TimerRecordData_Timer();
        }
    }
    void waitForReading() {
        const quint64 before = main->OperatorForm->readingCount();
        QVERIFY(
            QTest::qWaitFor([&] { return main->OperatorForm->readingCount() != before; }, 3000));
    }
};

} // namespace

class TestTableWindow : public QObject {
    Q_OBJECT
private slots:
    void startNeedsAnArmedLength() {
        TableFixture f;
        QVERIFY(f.start());
        f.main->mnuRecordStart_Click();
        QCOMPARE(f.prompter.texts, QStringList{"Please Setup Record the period first."});
    }

    void recordedRowsAppearAndAreSavedAsRecords() {
        TableFixture f;
        QVERIFY(f.start());
        f.instrument().channel(3).vset = 2;
        QTRY_VERIFY(!f.main->OperatorForm->measuredVoltage(2).isEmpty());
        f.record(4);
        QCOMPARE(f.table->model().rowCount(), 4);
        // The graph took every point and its Start button is back.
        QCOMPARE(f.main->graph()->voltage(2).size(), 4);
        QCOMPARE(f.main->graph()->voltage(2).last(), 2.0);
        QCOMPARE(f.main->graph()->startCaption(), QStringLiteral("Start"));
        QVERIFY(!f.table->txtStartTime()->text().isEmpty());

        f.main->graphWindow()->cmbXLength()->setCurrentIndex(3);
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdSave_Click();
        QCOMPARE(f.table->txtRecno()->text(), QStringLiteral("1"));
        QCOMPARE(RecordStore(f.data.database()).record(QStringLiteral("1"))->showStyle,
                 QStringLiteral("3")); // the graph's time length
        // Saving again replaces the same record, after asking.
        f.prompter.answers = {Prompter::Answer::Yes};
        QTest::keyClicks(f.table->txtDataDesc(), QStringLiteral("it's a test"));
        f.table->cmdSave_Click();
        QCOMPARE(f.prompter.texts.last(),
                 QStringLiteral("Do you replace existing data with current record?"));

        // Comment on row 3, then load the record back.
        f.table->beginComment(2);
        f.table->txtDataComment()->setText(QStringLiteral("spike"));
        f.table->cmdProcOK_Click();
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdSave_Click();
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdClear_Click();
        QCOMPARE(f.table->model().rowCount(), 0);
        f.table->cmdLoadRecord_Click();
        QCOMPARE(f.table->List1()->count(), 1);
        QVERIFY(f.table->List1()->item(0)->text().startsWith(QStringLiteral("1     ")));
        f.table->List1_Click(0);
        QCOMPARE(f.table->model().rowCount(), 4);
        QCOMPARE(f.table->txtDataDesc()->text(), QStringLiteral("it's a test"));
        const QAbstractItemModel& m = f.table->model();
        QCOMPARE(m.index(2, 11).data().toString(), QStringLiteral("spike"));
        QCOMPARE(m.index(0, 8).data().toString(), QStringLiteral("2.000"));
        QCOMPARE(m.index(0, 10).data().toString(), QStringLiteral("3")); // Reason3
        QVERIFY(f.table->List1()->isHidden());

        // A new recording is a new record: its save does not replace the loaded one.
        f.record(2);
        QCOMPARE(f.table->txtRecno()->text(), QString());
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdSave_Click();
        QCOMPARE(f.table->txtRecno()->text(), QStringLiteral("2"));
    }

    void lastRecordingSurvivesANewConnection() {
        TableFixture f;
        QVERIFY(f.start());
        f.record(3);
        // Off line and on line again: a new table window on the same file.
        f.main->ResetAll();
        QVERIFY(f.start());
        QCOMPARE(f.table->model().rowCount(), 3);
    }

    void fourChannelRecordingsKeepChannelFour() {
        TableFixture f;
        QVERIFY(f.start(QStringLiteral("TRQ-7206S")));
        QCOMPARE(f.table->model().columnCount(), 15);
        QCOMPARE(f.table->model().headerData(11, Qt::Horizontal).toString(),
                 QStringLiteral("CH4:Voltage[V]"));
        f.instrument().channel(4).vset = 3;
        f.instrument().channel(4).iset = 1;
        QTRY_COMPARE(f.main->OperatorForm->measuredVoltage(3), QStringLiteral("3.000"));
        f.record(2);
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdSave_Click();
        f.prompter.answers = {Prompter::Answer::Yes};
        f.table->cmdClear_Click();
        f.table->cmdLoadRecord_Click();
        f.table->List1_Click(0);
        QCOMPARE(f.table->model().index(0, 11).data().toString(), QStringLiteral("3.000"));
    }

    void setupArmsTheEngine() {
        TableFixture f;
        QVERIFY(f.start());
        QTimer::singleShot(0, [&] {
            auto* dlg = f.main->recordSetupDialog();
            dlg->cmbMinuites()->setCurrentIndex(2);
            dlg->cmdScale()->setCurrentIndex(2);
            dlg->OKButton_Click();
        });
        f.main->mnuRecordPeriod_Click();
        QCOMPARE(f.table->engine().CountRecordCount, 120);
        f.main->mnuRecordStart_Click();
        QVERIFY(f.table->engine().TimerRecordData().isActive());
        f.main->mnuRecordStop_Click();
        QVERIFY(!f.table->engine().TimerRecordData().isActive());
    }

    void graphWindowDrawsTheWorkingTable() {
        TableFixture f;
        QVERIFY(f.start());
        f.record(10);
        f.main->mnuWave_Click();
        frmGraphicRecord* g = f.main->graphWindow();
        QVERIFY(g && g->isVisible());
        QCOMPARE(g->plot(0)->data()->size(), 10);
        // Drawn on the first view: its activation comes before the redraw.
        QCOMPARE(g->lstWave()->item(0)->text(), QStringLiteral("Total Time:0:0:9"));
        // Live points are appended, not redrawn.
        f.table->engine().RecordPeriod(0, 0, 0, 1, 0, 0);
        f.main->mnuRecordStart_Click();
        f.waitForReading();
        f.table->engine().TimerRecordData_Timer();
        QCOMPARE(g->plot(0)->data()->size(), 1); // a new recording starts a clear graph
        QCOMPARE(g->cmbXLength()->itemText(0), QStringLiteral("5m"));
    }

    void graphSecondsPerPointFollowTheScale() {
        const int expected[] = {1, 2, 5, 10, 30, 60, 300, 600, 1800, 3600};
        for (int i = 0; i < 10; ++i)
            QCOMPARE(GraphRecord::secondsPerPoint(i), expected[i]);
    }

    void clearOnAnEmptyTableAsksNothing() {
        TableFixture f;
        QVERIFY(f.start());
        f.table->cmdClear_Click();
        QVERIFY(f.prompter.texts.isEmpty());
        f.table->cmdSave_Click();
        QCOMPARE(f.prompter.texts,
                 QStringList{"You need do record first and then try this again!"});
    }

    void rowSelectedHighlights() {
        TableFixture f;
        QVERIFY(f.start());
        f.record(12);
        f.table->RowSelected(10);
        QCOMPARE(f.table->model().highlight(), 10);
        f.table->RowSelected(12); // beyond the points: nothing
        QCOMPARE(f.table->model().highlight(), 10);
        const QModelIndex cell = f.table->model().index(10, 1);
        QCOMPARE(cell.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 192, 255));
    }
};

TRQ_TEST_MAIN(TestTableWindow)
#include "tst_tablewindow.moc"
