// The graph window over its own record database, with the table window
// beside it and the main window's part played by the fixture.
#include "core/settings.h"
#include "session/graphseries.h"
#include "storage/csvexport.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/windowfixture.h"
#include "ui/envelopegraph.h"
#include "ui/graphwindow.h"
#include "ui/recordsetupdialog.h"
#include "ui/tablewindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QWheelEvent>
#include <qcustomplot.h>

using namespace trq;
using namespace trq::test;

namespace {

double minutes(double m) {
    return m * 60.0 / 86400.0;
}

// A shown window, so the mouse can reach its plot.
void show(WindowFixture& f) {
    f.graph->resize(1100, 760);
    f.graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.graph.get()));
    f.graph->plotWidget()->replot();
}

QPoint pixelOf(QCustomPlot* plot, double x, double y, bool current = false) {
    QCPAxis* value = current ? plot->yAxis2 : plot->yAxis;
    return {int(plot->xAxis->coordToPixel(x)), int(value->coordToPixel(y))};
}

// Rows of one channel: voltage, current and charge of sample i; a gap
// before sample gapAt.
void storeRows(WindowFixture& f, int n, const std::function<double(int)>& amps, int gapAt = -1) {
    for (int i = 0; i < n; ++i) {
        SampleRow r;
        r.seqNo = i;
        r.recTime = QStringLiteral("2026/12/06 10:00:00");
        r.volt[0] = QStringLiteral("2.000");
        r.curr[0] = QString::number(amps(i), 'f', 3);
        r.charge[0] = QString::number(0.01 * i);
        r.gap = i == gapAt;
        QVERIFY(f.store->appendSample(r));
    }
}

QAbstractButton* buttonOf(QWidget* window, const QString& text) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestGraphWindow : public QObject {
    Q_OBJECT
private slots:
    // The mouse in the measurement mode: a press far from the cursors makes
    // the plot's cursor jump there, a press near the second cursor drags it.
    void cursorsFollowTheMouse() {
        WindowFixture f(2, 2); // 5 s per point
        f.fill(60, [](int, int i) { return 10.0 + (i % 7); });
        f.graph->redraw();
        show(f);
        QCustomPlot* plot = f.graph->plotWidget();
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Cursor Measurements")),
                          Qt::LeftButton);
        QCOMPARE(f.graph->mode(), int(GraphWindow::CursorMeasurements));
        const int ref = GraphWindow::kReference;
        // Click-to-jump: cursor 1 stands on the sample nearest the click.
        QTest::mouseClick(plot, Qt::LeftButton, {}, pixelOf(plot, 61.0 / 86400, 11));
        QCOMPARE(f.graph->cursorPosition(1).x() * 86400, 60.0);
        QCOMPARE(f.graph->xPositionBox()->text(), QStringLiteral("00:01:00"));
        QCOMPARE(f.table->model().highlight(), 12);
        // The second cursor is where cursor 1 was tied to it; drag it away.
        const QPointF second = f.graph->cursorPosition(ref);
        QTest::mousePress(plot, Qt::LeftButton, {}, pixelOf(plot, second.x(), second.y()));
        QTest::mouseMove(plot, pixelOf(plot, 200.0 / 86400, 12));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, pixelOf(plot, 200.0 / 86400, 12));
        QCOMPARE(f.graph->cursorPosition(ref).x() * 86400, 200.0);
        QCOMPARE(f.graph->cursorPosition(1).x() * 86400, 60.0); // stayed
        QCOMPARE(f.graph->periodBox()->text(), QStringLiteral("00:02:20"));
        QCOMPARE(f.table->model().highlight(), 40);
        // Pressing near cursor 1 picks cursor 1, the nearest.
        QTest::mousePress(plot, Qt::LeftButton, {}, pixelOf(plot, 60.0 / 86400, 11) + QPoint(3, 0));
        QTest::mouseMove(plot, pixelOf(plot, 30.0 / 86400, 11));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, pixelOf(plot, 30.0 / 86400, 11));
        QCOMPARE(f.graph->cursorPosition(1).x() * 86400, 30.0);
        QCOMPARE(f.graph->cursorPosition(ref).x() * 86400, 200.0);
    }

    // A redraw (View > Wave, a load, a new recording, another scale) keeps the
    // plot the cursor follows, so the mouse still moves it.
    void cursorsWorkAfterARedraw() {
        WindowFixture f(2, 2);
        f.fill(40);
        f.graph->redraw();
        show(f);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        f.graph->plotList()->setCurrentRow(2);
        f.graph->redraw();
        QCOMPARE(f.graph->plotList()->currentRow(), 2);
        QCustomPlot* plot = f.graph->plotWidget();
        QTest::mouseClick(plot, Qt::LeftButton, {}, pixelOf(plot, 100.0 / 86400, 2));
        QVERIFY(f.graph->cursorVisible(3));
        QCOMPARE(f.graph->cursorPosition(3).x() * 86400, 100.0);
        QCOMPARE(f.graph->xPositionBox()->text(), QStringLiteral("00:01:40"));
        QCOMPARE(f.table->model().highlight(), 20);
    }

    // Arrow keys in the plot list do what a click does.
    void arrowKeysChooseThePlotAsClicksDo() {
        WindowFixture f(2);
        f.fill(10);
        f.graph->redraw();
        show(f);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        QCOMPARE(f.shownCursors(), QList<int>{1});
        f.graph->plotList()->setFocus();
        QTest::keyClick(f.graph->plotList(), Qt::Key_Down);
        QCOMPARE(f.graph->plotList()->currentRow(), 1);
        QCOMPARE(f.shownCursors(), QList<int>{2});
        QCOMPARE(f.visiblePlots(), QList<int>{2});
        QTest::keyClick(f.graph->plotList(), Qt::Key_Down);
        QCOMPARE(f.shownCursors(), QList<int>{3});
        const QRect first = f.graph->plotList()->visualItemRect(f.graph->plotList()->item(0));
        QTest::mouseClick(f.graph->plotList()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(f.shownCursors(), QList<int>{1});
        QCOMPARE(f.visiblePlots(), QList<int>{1});
    }

    // During a recording the time axis keeps the newest point in view at the
    // chosen width, until the user zooms or pans; Refresh follows again.
    void timeAxisFollowsARecording() {
        WindowFixture f(1, 0); // 1 s per point, "5m"
        show(f);
        QCustomPlot* plot = f.graph->plotWidget();
        auto feed = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                SampleRow r;
                r.seqNo = i;
                r.volt[0] = QStringLiteral("1");
                f.recording().series().append(r);
            }
        };
        feed(0, 400);
        QCOMPARE(plot->xAxis->range().upper * 86400, 399.0);
        QCOMPARE(qRound(plot->xAxis->range().size() * 86400), 300);
        QWheelEvent wheel(QPointF(300, 200), plot->mapToGlobal(QPointF(300, 200)), {}, {0, 120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        QVERIFY(!f.graph->followsLive());
        const QCPRange zoomed = plot->xAxis->range();
        feed(400, 500);
        QCOMPARE(plot->xAxis->range(), zoomed);
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Refresh")), Qt::LeftButton);
        feed(500, 501);
        QCOMPARE(plot->xAxis->range().upper * 86400, 500.0);
    }

    // Every button and list click reaches its own action.
    void everyButtonReachesItsAction() {
        WindowFixture f(1);
        f.engine().setRemainingTicks(10);
        f.fill(3);
        f.graph->redraw();
        show(f);
        for (const char* name : {"Start", "Stop", "Setup", "Return"})
            QTest::mouseClick(buttonOf(f.graph.get(), QLatin1String(name)), Qt::LeftButton);
        QCOMPARE(f.calls, (QStringList{"start", "stop", "setup", "control"}));
        f.prompter.answers = {Prompter::Answer::Yes, Prompter::Answer::Yes};
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Save")), Qt::LeftButton);
        QCOMPARE(f.store->records().size(), 1);
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Load")), Qt::LeftButton);
        QVERIFY(f.graph->loadList()->isVisible());
        QListWidget* list = f.graph->loadList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QVERIFY(!f.graph->loadList()->isVisible());
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Delete")), Qt::LeftButton);
        list = f.graph->deleteList();
        QVERIFY(list->isVisible());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QVERIFY(f.store->records().isEmpty());
        f.prompter.fileName.clear();
        f.fill(2);
        f.graph->redraw();
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Export")), Qt::LeftButton);
        QCOMPARE(f.prompter.fileRequests.size(), 2);
        int printed = 0;
        f.prompter.onPrint = [&](QPrinter&) {
            ++printed;
            return false;
        };
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Print")), Qt::LeftButton);
        QCOMPARE(printed, 1);
        f.graph->plotWidget()->xAxis->setRange(0.2, 0.3);
        QTest::mouseClick(buttonOf(f.graph.get(), QStringLiteral("Refresh")), Qt::LeftButton);
        QCOMPARE(f.graph->plotWidget()->xAxis->range().upper, minutes(5));
    }

    void redrawPlotsEveryRowAtItsPeriod_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("period");
        QTest::newRow("1 ch, 1 s") << 1 << 0 << 1;
        QTest::newRow("2 ch, 30 s") << 2 << 4 << 30;
        QTest::newRow("3 ch, 10 mins") << 3 << 7 << 600;
        QTest::newRow("4 ch, 1 hour") << 4 << 9 << 3600;
    }
    void redrawPlotsEveryRowAtItsPeriod() {
        QFETCH(int, channels);
        QFETCH(int, scale);
        QFETCH(int, period);
        WindowFixture f(channels, scale);
        f.fill(10);
        f.graph->redraw();
        QCOMPARE(f.graph->secondsPerPoint(), period);
        QCOMPARE(f.graph->sampleCount(), 10);
        for (int k = 0; k < 8; ++k) {
            const QCPGraph* plot = f.graph->plot(k);
            const bool present = k < 2 * channels;
            QCOMPARE(plot->visible(), present);
            QCOMPARE(plot->data()->size(), present ? 10 : 0);
            if (!present)
                continue;
            QCOMPARE(plot->data()->constBegin()->key, 0.0);
            QCOMPARE((plot->data()->constEnd() - 1)->key, 9.0 * period / 86400);
        }
        // Channel 4 is drawn from the working table too.
        if (channels == 4)
            QCOMPARE((f.graph->plot(6)->data()->constEnd() - 1)->value, 4.0 + 9 * 0.25);
        QCOMPARE(f.graph->summaryList()->item(0)->text(),
                 QStringLiteral("Total Time:") + formatElapsed(9 * period));
        QCOMPARE(f.graph->summaryList()->count(), 3 + 2 * channels);
        QCOMPARE(f.graph->plotList()->count(), 2 * channels);
        // Minutes below a 60-second period, hours above.
        QCOMPARE(f.graph->timeLengthList()->itemText(0),
                 period < 60 ? QStringLiteral("5m") : QStringLiteral("1 Hr"));
    }

    void channelSetupEnablesBoxesAndPlots_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("enabled"); // boxes 0..enabled-1
        QTest::addColumn<QList<int>>("plots");
        QTest::newRow("1") << 1 << 2 << QList<int>{1, 2};
        QTest::newRow("2") << 2 << 4 << QList<int>{1, 2, 3, 4};
        QTest::newRow("4") << 4 << 8 << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
    }
    void channelSetupEnablesBoxesAndPlots() {
        QFETCH(int, channels);
        QFETCH(int, enabled);
        QFETCH(QList<int>, plots);
        WindowFixture f(3);
        f.graph->setChannelCount(channels);
        for (int k = 0; k < 8; ++k)
            QCOMPARE(f.graph->plotBox(k)->isEnabled(), k < enabled);
        QCOMPARE(f.visiblePlots(), plots);
    }

    void livePointsAreAppendedAndFollowTheBoxes() {
        WindowFixture f(2);
        f.graph->plotBox(3)->setChecked(false);
        f.graph->plotBoxClicked(3);
        f.fill(3, [](int, int i) { return 10.0 + i; });
        for (const SampleRow& row : f.store->workingRows())
            f.recording().series().append(row);
        QCOMPARE(f.graph->plot(0)->data()->size(), 3);
        QCOMPARE((f.graph->plot(2)->data()->constEnd() - 1)->value, 12.0);
        QCOMPARE(f.visiblePlots(), (QList<int>{1, 2, 3}));
        f.graph->redraw(); // a redraw keeps an unchecked plot hidden too
        QCOMPARE(f.visiblePlots(), (QList<int>{1, 2, 3}));
        QCOMPARE(f.graph->summaryList()->item(0)->text(), QStringLiteral("Total Time:0:0:2"));
        QCOMPARE(f.graph->summaryList()->item(3)->text(), QStringLiteral("CH1 Max:12V 0.1A"));
        // A new recording clears the display.
        f.recording().series().recordingStarted({}, {});
        QCOMPARE(f.graph->sampleCount(), 0);
        QCOMPARE(f.graph->plot(0)->data()->size(), 0);
        QCOMPARE(f.graph->startButton()->text(), QStringLiteral("Record..."));
        f.recording().series().recordingStopped({});
        QCOMPARE(f.graph->startButton()->text(), QStringLiteral("Start"));
    }

    void cursorModeChoosesTheFirstCheckedPlot() {
        WindowFixture f(2);
        QCOMPARE(f.graph->plotWidget()->selectionRectMode(), QCP::srmZoom); // "Zoom" at start
        f.fill(10);
        f.graph->redraw();
        for (int k : {0, 1, 2})
            f.graph->plotBox(k)->setChecked(false);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        QCOMPARE(f.graph->plotList()->currentItem()->text(), QStringLiteral("CH2 Cur"));
        QCOMPARE(f.visiblePlots(), QList<int>{4});
        QCOMPARE(f.shownCursors(), QList<int>{4});
        const QCPRange x = f.graph->plotWidget()->xAxis->range();
        // Half the channels' current range: TRQ-3302's 3 A.
        QCOMPARE(f.graph->cursorPosition(4), QPointF(x.center(), 3.0 / 2));
        QVERIFY(f.graph->cursorPanel()->isVisibleTo(f.graph.get()));
        const int coordinatesWidth = f.graph->cursorPanel()->width();
        QVERIFY(coordinatesWidth >= 3195 / 15);

        // No box checked: "CH1 Vol" and plot 1 alone.
        for (int k = 0; k < 4; ++k)
            f.graph->plotBox(k)->setChecked(false);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        QCOMPARE(f.graph->plotList()->currentRow(), 0);
        QCOMPARE(f.visiblePlots(), QList<int>{1});

        // Back to "Zoom": panel and cursors go, the plots stay as they are.
        f.graph->setMode(GraphWindow::CursorMeasurements);
        QCOMPARE(f.shownCursors(), (QList<int>{1, GraphWindow::kReference}));
        // Wider by the measurement boxes, and never clipping them.
        QVERIFY(f.graph->cursorPanel()->width() >= coordinatesWidth * 5715 / 3195 - 2);
        QVERIFY(f.graph->cursorPanel()->width() >=
                f.graph->cursorPanel()->minimumSizeHint().width());
        f.graph->setMode(GraphWindow::Zoom);
        QVERIFY(f.shownCursors().isEmpty());
        QVERIFY(!f.graph->cursorPanel()->isVisibleTo(f.graph.get()));
        QCOMPARE(f.visiblePlots(), QList<int>{1});
        QCOMPARE(f.graph->plotWidget()->selectionRectMode(), QCP::srmZoom);
    }

    void measurementReadsPeriodAndAmplitudeEitherWay() {
        WindowFixture f(3, 4); // 30 s per point
        // Readings whose difference is no exact binary fraction.
        f.fill(6, [](int, int i) { return i == 3 ? 12.995 : i == 5 ? 12.502 : 12.495; });
        f.graph->redraw();
        f.graph->setMode(GraphWindow::CursorMeasurements);
        QVERIFY(f.graph->cursorPanel()->width() >= 5715 / 15);
        const int ref = GraphWindow::kReference;
        const double at0 = 0.0, at90 = 90.0 / 86400;
        for (const auto& [first, second] : {std::pair{1, ref}, std::pair{ref, 1}}) {
            f.graph->moveCursor(first, first == 1 ? at0 : at90, 0);
            f.graph->moveCursor(second, second == 1 ? at0 : at90, 0);
            QCOMPARE(f.graph->periodBox()->text(), QStringLiteral("00:01:30"));
            QCOMPARE(f.graph->amplitudeBox()->text(), QStringLiteral("0.5"));
        }
        // A cursor stands on the nearest sample, and its row is selected.
        f.graph->moveCursor(1, 61.0 / 86400, 0);
        QCOMPARE(f.graph->xPositionBox()->text(), QStringLiteral("00:01:00"));
        QCOMPARE(f.graph->yPositionBox()->text(), QStringLiteral("12.495"));
        QCOMPARE(f.table->model().highlight(), 2);
        f.graph->moveCursor(ref, 150.0 / 86400, 0);
        QCOMPARE(f.table->model().highlight(), 5);
        QCOMPARE(f.graph->amplitudeBox()->text(), QStringLiteral("0.007"));
        // Choosing another plot ties the second cursor to it.
        f.graph->plotList()->setCurrentRow(2);
        f.graph->plotChosen();
        QCOMPARE(f.shownCursors(), (QList<int>{3, ref}));
        QCOMPARE(f.visiblePlots(), QList<int>{3});
    }

    void everyCursorMoveSelectsTheSampleRow() {
        // A loaded record: no points are buffered, the rows come from the table.
        WindowFixture f(1, 2); // 5 s per point
        f.fill(20);
        f.graph->redraw();
        f.graph->setMode(GraphWindow::CursorCoordinates);
        f.graph->moveCursor(1, 35.0 / 86400, 0);
        QCOMPARE(f.table->model().highlight(), 7);
        f.graph->moveCursor(1, 1.0, 0); // past the last sample: the last one
        QCOMPARE(f.table->model().highlight(), 19);
        f.graph->setMode(GraphWindow::Pan);
        QCOMPARE(f.graph->plotWidget()->selectionRectMode(), QCP::srmNone);
        QVERIFY(f.graph->plotWidget()->interactions().testFlag(QCP::iRangeDrag));
    }

    void refreshReappliesRangesAndHidesCursors() {
        WindowFixture f(2);
        f.fill(5);
        f.graph->redraw();
        f.graph->setMode(GraphWindow::CursorMeasurements);
        f.graph->plotWidget()->xAxis->setRange(0.2, 0.3); // zoomed
        f.graph->refresh();
        QCOMPARE(f.graph->plotWidget()->xAxis->range().upper, minutes(5));
        QVERIFY(f.shownCursors().isEmpty());
        QVERIFY(!f.graph->cursorPanel()->isVisibleTo(f.graph.get()));
        QCOMPARE(f.graph->mode(), int(GraphWindow::CursorMeasurements));
    }

    void startStopAndSetupFollowTheRecordMenu() {
        WindowFixture f;
        f.session->setOutput(false);
        f.graph->startClicked();
        f.graph->stopClicked();
        QCOMPARE(f.prompter.texts, QStringList(2, "Plase Turn on Device into Output(Run) Mode"));
        QVERIFY(f.calls.isEmpty());
        f.prompter.texts.clear();
        f.session->setOutput(true);
        f.graph->startClicked(); // no length set up yet
        QCOMPARE(f.prompter.texts, QStringList{"Plase setup the time length of record first."});
        QCOMPARE(f.calls, (QStringList{"setup"}));
        f.engine().setRemainingTicks(10);
        f.graph->startClicked();
        f.graph->stopClicked();
        f.graph->returnClicked();
        QCOMPARE(f.calls, (QStringList{"setup", "start", "stop", "control"}));
    }

    void setupRedisplaysOnlyWhenThePeriodChanges() {
        for (int scale = 0; scale < 10; ++scale) {
            WindowFixture f(1, scale);
            f.fill(3);
            f.graph->redraw();
            f.prompter.texts.clear();
            f.graph->setupClicked(); // closed without a change
            QCOMPARE(f.prompter.texts,
                     QStringList{"If you change record scale, system will reset display "});
            QCOMPARE(f.graph->sampleCount(), 3);
            f.scale() = scale == 0 ? 1 : 0;
            f.graph->setupClicked();
            QCOMPARE(f.graph->sampleCount(), 0);
        }
    }

    void saveLoadDeleteKeepTheTableFieldsInStep() {
        WindowFixture f(3, 4);
        f.graph->saveRecord();
        QCOMPARE(f.prompter.texts,
                 QStringList{"You must do record data first and then try this function again."});
        f.fill(4);
        f.graph->redraw();
        f.recording().record().setStartTime(QStringLiteral("2026/12/06 10:00:00"));
        f.recording().record().setEndTime(QStringLiteral("2026/12/06 10:02:00"));
        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("it's a ramp"));
        f.graph->timeLengthList()->setCurrentIndex(2);
        f.prompter.texts.clear();
        f.graph->saveRecord();
        QCOMPARE(f.prompter.texts, QStringList{"Do you want to save current record?"});
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        QCOMPARE(f.store->record("1")->recStyle, QStringLiteral("4"));
        QCOMPARE(f.store->record("1")->showStyle, QStringLiteral("2"));
        QCOMPARE(f.store->record("1")->comment, QStringLiteral("it's a ramp"));
        f.table->descriptionBox()->clear();
        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("renamed"));
        f.graph->saveRecord();
        QCOMPARE(f.prompter.texts.last(),
                 QStringLiteral("Do you want to replace existing data with current record?"));
        QCOMPARE(f.store->record("1")->comment, QStringLiteral("renamed"));

        // Load it back into a fresh working table and another scale.
        QVERIFY(f.store->clearWorking());
        f.scale() = 0;
        f.recording().record().clear();
        f.graph->openLoadList();
        QVERIFY(f.graph->loadList()->isVisibleTo(f.graph.get()));
        QCOMPARE(f.graph->loadList()->item(0)->text(),
                 QStringLiteral("1     2026/12/06 10:00:00    renamed                  "));
        f.graph->loadChosen(0);
        QVERIFY(!f.graph->loadList()->isVisibleTo(f.graph.get()));
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        QCOMPARE(f.table->descriptionBox()->text(), QStringLiteral("renamed"));
        QCOMPARE(f.table->endTimeBox()->text(), QStringLiteral("2026/12/06 10:02:00"));
        QCOMPARE(f.table->model().rowCount(), 4);
        QCOMPARE(f.scale(), 4);
        QCOMPARE(f.graph->secondsPerPoint(), 30);
        QCOMPARE(f.graph->sampleCount(), 4);
        QCOMPARE(f.graph->timeLengthList()->currentIndex(), 2);
        QCOMPARE(f.graph->plotWidget()->xAxis->range().upper, minutes(20));

        // Delete asks with number and start time, clears the graph, and the
        // working table is no saved record any more.
        f.prompter.texts.clear();
        f.graph->openDeleteList();
        f.graph->deleteChosen(0);
        QCOMPARE(f.prompter.texts, QStringList{"Do you want to delete Record of [Rec No: 1 Start "
                                               "Time:2026/12/06 10:00:00]"});
        QVERIFY(f.store->records().isEmpty());
        QCOMPARE(f.graph->sampleCount(), 0);
        QVERIFY(f.table->recordNumberBox()->text().isEmpty());
        f.graph->saveRecord();
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        f.graph->openLoadList(); // Escape closes a list without loading
        QTest::keyClick(f.graph->loadList(), Qt::Key_Escape);
        QVERIFY(!f.graph->loadList()->isVisibleTo(f.graph.get()));
    }

    void failedSaveShowsTheErrorAndNoNumber() {
        WindowFixture f;
        f.fill(2);
        QSqlQuery(f.data.database()).exec(QStringLiteral("drop table datamain"));
        f.graph->saveRecord();
        QVERIFY(f.prompter.texts.last().startsWith(QStringLiteral("System Error caused by ")));
        QVERIFY(f.table->recordNumberBox()->text().isEmpty());
    }

    void fourChannelMeasurementOnChannel4() {
        // The second cursor is its own: channel 4's voltage can be measured.
        WindowFixture f(4, 4);
        f.fill(4, [](int c, int i) { return c == 3 && i == 3 ? 20.0 : 18.0; });
        f.graph->redraw();
        QCOMPARE(f.graph->plotList()->count(), 8);
        f.graph->setMode(GraphWindow::CursorMeasurements);
        f.graph->plotList()->setCurrentRow(6); // "CH4 Vol"
        f.graph->plotChosen();
        f.graph->moveCursor(7, 0, 0);
        f.graph->moveCursor(GraphWindow::kReference, 90.0 / 86400, 0);
        QCOMPARE(f.graph->periodBox()->text(), QStringLiteral("00:01:30"));
        QCOMPARE(f.graph->amplitudeBox()->text(), QStringLiteral("2"));
    }

    void exportWritesTheWorkingTableOrNothing() {
        WindowFixture f(2);
        f.graph->exportCsv();
        QCOMPARE(f.prompter.texts, QStringList{"Please Record or Load existing data first!"});
        f.fill(3);
        f.graph->redraw();
        f.prompter.fileName.clear(); // the dialog is cancelled
        f.graph->exportCsv();
        QCOMPARE(f.prompter.fileRequests.value(1), QStringLiteral("Power文件(*.csv)"));
        QVERIFY(QDir(f.folder).entryList({QStringLiteral("*.csv")}, QDir::Files).isEmpty());
        f.prompter.fileName = f.folder + QStringLiteral("/out.csv");
        f.graph->exportCsv();
        QFile file(f.prompter.fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportCsv(2, f.store->workingRows()));
        QCOMPARE(f.prompter.texts.size(), 1);
    }

    void printPutsTheGraphInTheRectangleAndRestoresColours() {
        WindowFixture f(3);
        f.fill(10);
        f.graph->redraw();
        f.graph->resize(1000, 700);
        const QColor ch2 = f.graph->plot(2)->pen().color();
        const QColor ticks = f.graph->plotWidget()->xAxis->tickPen().color();
        const QString pdf = f.folder + QStringLiteral("/graph.pdf");
        f.prompter.onPrint = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        f.graph->print();
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(QFileInfo(pdf).size() > 1000);
        QCOMPARE(f.graph->plot(2)->pen().color(), ch2);
        QCOMPARE(f.graph->plotWidget()->xAxis->tickPen().color(), ticks);
        QVERIFY(f.graph->plotWidget()->xAxis2->visible());

        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (pdftoppm.isEmpty())
            QSKIP("pdftoppm is not installed");
        const QString png = f.folder + QStringLiteral("/page");
        QCOMPARE(QProcess::execute(pdftoppm, {"-r", "30", "-png", "-singlefile", pdf, png}), 0);
        const QImage page(png + QStringLiteral(".png"));
        QVERIFY(!page.isNull());
        QVERIFY(page.width() > page.height()); // landscape
        // Ink only inside the rectangle, filling most of it, and no colour.
        QRect ink;
        bool grey = true;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (const QColor c = page.pixelColor(x, y); qGray(c.rgb()) < 200) {
                    ink |= QRect(x, y, 1, 1);
                    grey = grey && std::abs(c.red() - c.green()) < 40 &&
                           std::abs(c.green() - c.blue()) < 40;
                }
        const QRect target(page.width() / 10, page.height() / 10, page.width() * 2 / 5,
                           page.height() * 2 / 5);
        QVERIFY(target.adjusted(-2, -2, 2, 2).contains(ink));
        QVERIFY(ink.width() > target.width() * 3 / 4 && ink.height() > target.height() * 3 / 4);
        QVERIFY(grey);
    }

    void printFailureIsReportedAndColoursComeBack() {
        WindowFixture f;
        const QColor ch1 = f.graph->plot(0)->pen().color();
        f.prompter.onPrint = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(f.folder + QStringLiteral("/no/such/folder/graph.pdf"));
            return true;
        };
        f.graph->print();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(QStringLiteral("cmdPrint_Click : ")));
        QCOMPARE(f.graph->plot(0)->pen().color(), ch1);
        f.prompter.texts.clear();
        f.prompter.onPrint = {}; // cancelled print dialog: nothing happens
        f.graph->print();
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void envelopeKeepsEveryColumnsExtremes() {
        // A million-point plot drawn from block summaries shows in every pixel
        // column the same lowest and highest value as all its points.
        QCustomPlot plot;
        plot.resize(300, 200);
        auto* g = new EnvelopeGraph(plot.xAxis, plot.yAxis);
        QRandomGenerator random(7);
        auto points = [&](int from, int n) {
            QVector<double> xs, ys;
            for (int i = from; i < from + n; ++i) {
                xs << i;
                ys << random.bounded(100.0) + (i % 9973 == 0 ? 500.0 : 0.0);
            }
            return std::pair{xs, ys};
        };
        auto check = [&] {
            plot.xAxis->setRange(0, g->dataCount());
            plot.replot();
            QMap<int, std::pair<double, double>> all, drawn;
            auto add = [&](QMap<int, std::pair<double, double>>& m, const QCPGraphData& d) {
                const int column = int(std::floor(plot.xAxis->coordToPixel(d.key)));
                const auto it = m.find(column);
                m[column] = it == m.end() ? std::pair{d.value, d.value}
                                          : std::pair{std::min(it->first, d.value),
                                                      std::max(it->second, d.value)};
            };
            for (const QCPGraphData& d : *g->data())
                add(all, d);
            const QVector<QCPGraphData> line = g->lineData();
            for (const QCPGraphData& d : line)
                add(drawn, d);
            QVERIFY(line.size() <= 4 * all.size());
            QCOMPARE(drawn, all);
        };
        auto [xs, ys] = points(0, 200000);
        g->setData(xs, ys, true);
        check();
        std::tie(xs, ys) = points(200000, 5000); // appended, as live points are
        g->addData(xs, ys, true);
        check();
        std::tie(xs, ys) = points(0, 150000);
        g->setData(xs, ys, true);
        g->dataReplaced();
        check();
    }

    // Weeks of points in summaries of bounded size: every sample's extremes
    // and sum kept, so the range statistics stay right.
    void longRecordingsKeepBoundedSummaries() {
        GraphSeries series(1);
        const qint64 n = 5 * GraphSeries::kMaxBuckets + 7;
        double sum = 0;
        for (qint64 i = 0; i < n; ++i) {
            SampleRow r;
            r.seqNo = i;
            const double v = i == 77777 ? 99.0 : double(i % 1000) / 100;
            sum += v;
            r.volt[0] = QString::number(v);
            r.curr[0] = QStringLiteral("0.5");
            r.gap = i == 40000;
            series.append(r);
        }
        QCOMPARE(series.count(), n);
        QVERIFY(series.bucketCount() <= GraphSeries::kMaxBuckets);
        QCOMPARE(series.stride(), qint64(8));
        QVERIFY(!series.value(PlotQuantity::Voltage, 0, 5));
        const GraphSeries::Stats all = series.stats(PlotQuantity::Voltage, 0, 0, n - 1);
        QCOMPARE(all.count, n);
        QCOMPARE(all.max, 99.0);
        QCOMPARE(all.min, 0.0);
        QVERIFY(std::abs(all.mean - sum / double(n)) < 1e-9);
        const GraphSeries::Stats power = series.stats(PlotQuantity::Power, 0, 8, 8 * 10 - 1);
        QCOMPARE(power.count, qint64(72));
        QCOMPARE(power.max, 0.79 * 0.5);
        QCOMPARE(power.min, 0.08 * 0.5);
        QCOMPARE(series.gaps(), std::vector<qint64>{40000});
    }

    // A lost link breaks the line and is marked; a limit event is marked
    // where it tripped.
    void gapsBreakTheLineAndEventsAreMarked() {
        WindowFixture f(1, 0);
        storeRows(
            f, 10, [](int) { return 0.5; }, 5);
        QVERIFY(f.store->addEvent({7, QStringLiteral("t"), 1, QStringLiteral("A"), 0.5, 0.4,
                                   QStringLiteral("Log only")}));
        f.graph->redraw();
        const QCPGraphDataContainer& data = *f.graph->plot(0)->data();
        QCOMPARE(data.size(), 11);
        auto nan = std::find_if(data.constBegin(), data.constEnd(),
                                [](const QCPGraphData& d) { return std::isnan(d.value); });
        QVERIFY(nan != data.constEnd());
        QVERIFY(nan->key > sampleX(4, 1) && nan->key < sampleX(5, 1));
        QCOMPARE(f.graph->markerCount(), 4); // a line and a label each
        f.graph->clearGraph();
        QCOMPARE(f.graph->markerCount(), 0);
    }

    // The second plot of a channel shows the chosen quantity; between the
    // cursors its mean, extremes and, for current and power, the integral.
    void rightAxisAndStatisticsBetweenCursors() {
        WindowFixture f(1, 4); // 30 s per point
        storeRows(f, 6, [](int i) { return 0.1 * (i + 1); });
        f.graph->redraw();
        show(f);
        QComboBox* right = f.graph->rightAxisList();
        right->setFocus();
        QTest::keyClick(right, Qt::Key_Down);
        QCOMPARE(f.graph->plotBox(1)->text(), QStringLiteral("Ch1 W"));
        QCOMPARE(f.graph->plotWidget()->yAxis2->label(), QStringLiteral("Power"));
        QCOMPARE((f.graph->plot(1)->data()->constBegin() + 2)->value, 2.0 * 0.3);
        QTest::keyClick(right, Qt::Key_Down);
        QCOMPARE((f.graph->plot(1)->data()->constBegin() + 4)->value, 0.04);
        QVERIFY(!f.graph->currentRangeList()->isEnabled());
        QTest::keyClick(right, Qt::Key_Up);
        QTest::keyClick(right, Qt::Key_Up);
        QCOMPARE(f.graph->plotBox(1)->text(), QStringLiteral("Ch1 A"));

        f.graph->setMode(GraphWindow::CursorMeasurements);
        f.graph->plotList()->setCurrentRow(1); // Ch1 A
        QCustomPlot* plot = f.graph->plotWidget();
        plot->replot();
        // Drag the plot's cursor to sample 1 and the second one to sample 4.
        QTest::mouseClick(plot, Qt::LeftButton, {}, pixelOf(plot, sampleX(1, 30), 0.2, true));
        f.graph->moveCursor(GraphWindow::kReference, sampleX(4, 30), 0);
        const QString text = f.graph->betweenCursors()->text();
        QVERIFY2(text.contains(QStringLiteral("4 points")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Mean: 0.35 A")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Min: 0.2 A")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Max: 0.5 A")), qPrintable(text));
        // 1.4 A over 30 s points: 1.4 * 30 / 3600 Ah.
        QVERIFY2(text.contains(QStringLiteral("Integral: 0.0116666666667 Ah")), qPrintable(text));
    }

    // Report... from the table window's button: a PDF with every header
    // field, the graph in colour and the comments; read back by poppler.
    void reportFromTheTableWindow() {
        WindowFixture f(2, 0);
        storeRows(f, 30, [](int i) { return 0.1 + 0.01 * i; });
        QVERIFY(f.store->setComment(QStringLiteral("2026/12/06 10:00:00"),
                                    QStringLiteral("load switched in")));
        QString error;
        const std::optional<QString> number =
            f.recording().record().saveAsNew(QStringLiteral("bench run 7"), 0, 0, &error);
        QVERIFY2(number, qPrintable(error));
        f.graph->redraw();
        show(f);
        QObject::connect(f.table.get(), &TableWindow::reportRequested, f.graph.get(),
                         &GraphWindow::report);
        f.prompter.fileName = f.folder + QStringLiteral("/report.pdf");
        QAbstractButton* report = buttonOf(f.table.get(), QStringLiteral("Report..."));
        QVERIFY(report);
        QTest::mouseClick(report, Qt::LeftButton);
        QCOMPARE(f.prompter.texts, QStringList());
        QCOMPARE(f.prompter.fileRequests.value(1), QStringLiteral("PDF (*.pdf)"));

        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), f.prompter.fileName, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(20000));
        const QString pdf = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& field :
             {QStringLiteral("Model"), QStringLiteral("TRQ-3302"), QStringLiteral("Interface"),
              QStringLiteral("Record"), *number, QStringLiteral("Description"),
              QStringLiteral("bench run 7"), QStringLiteral("Start"), QStringLiteral("End"),
              QStringLiteral("Scale"), QStringLiteral("1 second"),
              QStringLiteral("Point operation"), QStringLiteral("Statistics"),
              QStringLiteral("CH2"), QStringLiteral("0.39"), QStringLiteral("load switched in")})
            QVERIFY2(pdf.contains(field), qPrintable(field + QStringLiteral(" in:\n") + pdf));

        // The graph's area holds coloured lines, not a blank page.
        QProcess image;
        image.start(QStringLiteral("pdftoppm"),
                    {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
                     QStringLiteral("-singlefile"), f.prompter.fileName,
                     f.folder + QStringLiteral("/page")});
        QVERIFY(image.waitForFinished(20000));
        const QImage page(f.folder + QStringLiteral("/page.png"));
        QVERIFY(!page.isNull());
        int coloured = 0;
        for (int y = page.height() / 6; y < page.height() * 2 / 3; ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                coloured += c.saturation() > 60 ? 1 : 0;
            }
        QVERIFY2(coloured > 50, qPrintable(QString::number(coloured)));

        // A file that cannot be written is said, not taken for done.
        f.prompter.fileName = QStringLiteral("/nonexistent/folder/report.pdf");
        f.graph->report();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(
            QStringLiteral("The report could not be written: ")));
    }

    void firstActivationTakesTheStoredColours() {
        Settings::setValue(QLatin1String(RecordSetup::kSection), QStringLiteral("Ch2Color"),
                           QStringLiteral("255"));
        WindowFixture f;
        QCOMPARE(f.graph->lineColour(2), QColor(255, 0, 0));
        QCOMPARE(f.graph->lineColour(3), QColor(255, 0, 0));
        QCOMPARE(f.graph->plot(3)->pen().color(), QColor(255, 0, 0));
        f.graph->setChannelColours({"65280", "", "16711680", "0"});
        QCOMPARE(f.graph->lineColour(0), QColor(0, 255, 0));
        QCOMPARE(f.graph->plot(5)->pen().color(), QColor(0, 0, 255));
        QCOMPARE(f.graph->lineColour(2), QColor(255, 0, 0)); // empty: kept
        Settings::setValue(QLatin1String(RecordSetup::kSection), QStringLiteral("Ch2Color"),
                           QString());
    }
};

TRQ_TEST_MAIN(TestGraphWindow)
#include "tst_graphwindow.moc"
