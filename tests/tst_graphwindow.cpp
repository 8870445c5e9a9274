// The graph window over its own record database, with the table window
// beside it and the main window's part played by the fixture.
#include "core/settings.h"
#include "storage/benchstore.h"
#include "storage/csvexport.h"
#include "support/windowfixture.h"
#include "ui/envelopegraph.h"
#include "ui/recordsetupdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QWheelEvent>
#include <qcustomplot.h>

#include <map>

using namespace trq;
using namespace trq::test;

namespace {

constexpr int kRef = GraphWindow::kReference; // the second cursor

// The windows over n rows of the fixture's readings at a scale.
struct Graph : WindowFixture {
    explicit Graph(int channels = 3, int scale = 0, int rows = 0,
                   const std::function<double(int, int)>& volts = {})
        : WindowFixture(channels, scale) {
        if (rows > 0) {
            fill(rows, volts);
            graph->redraw();
        }
    }
    // Shown, so the mouse can reach the plot.
    void show() {
        graph->resize(1100, 760);
        graph->show();
        QVERIFY(QTest::qWaitForWindowExposed(graph.get()));
        plot()->replot();
    }
    QCustomPlot* plot() const { return graph->plotWidget(); }
    const QCPGraphDataContainer& points(int k) const { return *graph->plot(k)->data(); }
    QCPGraphData last(int k) const { return *(points(k).constEnd() - 1); }
    QString summary(int row) const { return graph->summaryList()->item(row)->text(); }
    QPoint pixel(double seconds, double y, bool current = false) const {
        QCPAxis* value = current ? plot()->yAxis2 : plot()->yAxis;
        return {int(plot()->xAxis->coordToPixel(seconds)), int(value->coordToPixel(y))};
    }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(plot(), Qt::LeftButton, {}, from);
        QTest::mouseMove(plot(), to);
        QTest::mouseRelease(plot(), Qt::LeftButton, {}, to);
    }
    void click(const char* text, QWidget* window = nullptr) {
        clickButton(window ? window : graph.get(), QLatin1String(text));
    }
    static void clickItem(QListWidget* list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    double seconds(int cursor) const { return graph->cursorPosition(cursor).x(); }
    int highlight() const { return table->model().highlight(); }
    bool panelShown() const { return graph->cursorPanel()->isVisibleTo(graph.get()); }
};

// n rows: channel c's voltage volts(c, i) (without, channel 1's 2 V), channel
// 1's current amps(i) and its charge counter, at chargeFrom when the first
// was recorded; a gap before sample gapAt.
void storeRows(WindowFixture& f, int n, int gapAt, double chargeFrom,
               const std::function<double(int)>& amps,
               const std::function<double(int, int)>& volts = {}) {
    for (int i = 0; i < n; ++i) {
        SampleRow r;
        r.seqNo = i;
        r.recTime = QStringLiteral("2026/12/06 10:00:00");
        for (std::size_t c = 0; c < 4; ++c)
            if (volts || c == 0)
                r.volt[c] = QString::number(volts ? volts(int(c), i) : 2.0, 'f', 3);
        r.curr[0] = QString::number(amps(i), 'f', 3);
        r.charge[0] = QString::number(chargeFrom + 0.01 * i);
        r.gap = i == gapAt;
        QVERIFY(f.store->appendSample(r));
    }
}

// What a poppler tool writes of a PDF: its text, or its first page.
QByteArray poppler(const char* tool, const QStringList& arguments) {
    QProcess p;
    p.start(QLatin1String(tool), arguments);
    return p.waitForFinished(20000) ? p.readAllStandardOutput() : QByteArray();
}
QImage pdfPage(const QString& pdf, int dpi) {
    return QImage::fromData(
        poppler("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf}));
}

} // namespace

class TestGraphWindow : public QObject {
    Q_OBJECT
private slots:
    // A cursor mode starts at the first checked plot, plot 1 when none is,
    // its cursor amid the axes; "Zoom" hides the cursors, the plots stay.
    // Coordinates: arrow keys in the plot list choose the plot as a click
    // does, the choice survives a redraw (View > Wave, a load, another scale)
    // and the mouse moves its cursor. Measurements: a press far from the
    // cursors makes the plot's cursor jump there, a press near one drags that
    // one. Every move selects the sample's row.
    void mouseAndKeysMoveTheCursors() {
        Graph f(2, 2, 60, [](int, int i) { return 10.0 + (i % 7); }); // 5 s per point
        f.show();
        QCOMPARE(f.plot()->selectionRectMode(), QCP::srmZoom); // "Zoom" at start
        for (int k : {0, 1, 2})
            f.graph->plotBox(k)->setChecked(false);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        QCOMPARE(f.visiblePlots(), QList<int>{4});
        QCOMPARE(f.shownCursors(), QList<int>{4});
        // Half the channels' current range: TRQ-3302's 3 A.
        QCOMPARE(f.graph->cursorPosition(4), QPointF(f.plot()->xAxis->range().center(), 3.0 / 2));
        QVERIFY(f.panelShown());
        f.graph->plotBox(3)->setChecked(false);
        f.graph->setMode(GraphWindow::CursorCoordinates);
        QCOMPARE(f.visiblePlots(), QList<int>{1});
        QCOMPARE(f.shownCursors(), QList<int>{1});
        QListWidget* list = f.graph->plotList();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(f.shownCursors(), QList<int>{2});
        QTest::keyClick(list, Qt::Key_Down);
        f.graph->redraw(); // plot 3 stays chosen: the click moves its cursor
        QTest::mouseClick(f.plot(), Qt::LeftButton, {}, f.pixel(100, 11));
        QCOMPARE(f.shownCursors(), QList<int>{3});
        QCOMPARE(f.highlight(), 20);
        f.graph->moveCursor(3, 1e6, 0); // past the last sample: the last one
        QCOMPARE(f.highlight(), 59);
        Graph::clickItem(list, 0);
        QCOMPARE(f.shownCursors(), QList<int>{1});

        f.click("Cursor Measurements");
        QCOMPARE(f.shownCursors(), (QList<int>{1, kRef}));
        // Never clipping the measurement boxes.
        QVERIFY(f.graph->cursorPanel()->width() >=
                f.graph->cursorPanel()->minimumSizeHint().width());
        QTest::mouseClick(f.plot(), Qt::LeftButton, {}, f.pixel(61, 11));
        QCOMPARE(f.seconds(1), 60.0);
        const QPointF second = f.graph->cursorPosition(kRef);
        f.drag(f.pixel(second.x(), second.y()), f.pixel(200, 12));
        QCOMPARE(std::pair(f.seconds(1), f.seconds(kRef)), std::pair(60.0, 200.0));
        f.drag(f.pixel(60, 11) + QPoint(3, 0), f.pixel(30, 11));
        QCOMPARE(std::pair(f.seconds(1), f.seconds(kRef)), std::pair(30.0, 200.0));
        f.graph->setMode(GraphWindow::Zoom);
        QVERIFY(f.shownCursors().isEmpty() && !f.panelShown());
        QCOMPARE(f.visiblePlots(), QList<int>{1});
        QCOMPARE(f.plot()->selectionRectMode(), QCP::srmZoom);
        f.graph->setMode(GraphWindow::Pan); // the mouse drags the plot again
        QCOMPARE(f.plot()->selectionRectMode(), QCP::srmNone);
        QVERIFY(f.plot()->interactions().testFlag(QCP::iRangeDrag));
    }

    // Start and Stop want the output on, Start a length set up first (a
    // continuous recording has none); then the buttons run the main window's
    // commands. Live points join the plots, an unchecked one stays hidden
    // (also through a redraw), and a new recording clears them. The time
    // axis keeps the newest point in view at the chosen width until the user
    // zooms; Refresh follows again.
    void recordingFromTheGraphWindow() {
        Graph f(2); // 1 s per point, "5m"
        f.show();
        f.session->control().setOutput(false);
        f.click("Start");
        f.click("Stop");
        QVERIFY(f.calls.isEmpty());
        f.session->control().setOutput(true);
        f.click("Start");
        QCOMPARE(f.prompter.texts, (QStringList{"Plase Turn on Device into Output(Run) Mode",
                                                "Plase Turn on Device into Output(Run) Mode",
                                                "Plase setup the time length of record first."}));
        f.engine().arm(10, 0, 0);
        for (const char* name : {"Start", "Stop", "Setup", "Return"})
            f.click(name);
        f.engine().arm(RecordingEngine::kContinuous, 0, 0);
        f.click("Start");
        QCOMPARE(f.calls, (QStringList{"setup", "start", "stop", "setup", "control", "start"}));

        f.graph->plotBox(3)->setChecked(false);
        f.graph->plotBoxClicked(3);
        f.fill(3, [](int, int i) { return 10.0 + i; });
        GraphSeries& series = f.recording().series();
        for (const SampleRow& row : f.store->workingRows())
            series.append(row);
        QCOMPARE(f.points(0).size(), 3);
        QCOMPARE(f.last(2).value, 12.0);
        QCOMPARE(f.visiblePlots(), (QList<int>{1, 2, 3}));
        f.graph->redraw();
        QCOMPARE(f.visiblePlots(), (QList<int>{1, 2, 3}));
        QCOMPARE(f.summary(3), QStringLiteral("CH1 Max:12V 0.1A"));
        series.recordingStarted({}, {});
        QCOMPARE(f.points(0).size(), 0);
        QCOMPARE(f.graph->startButton()->text(), QStringLiteral("Record..."));

        QCPAxis* x = f.plot()->xAxis;
        auto feed = [&](int from, int to) {
            for (SampleRow r; from < to; ++from) {
                r.seqNo = from;
                r.volt[0] = QStringLiteral("1");
                series.append(r);
            }
        };
        feed(0, 400);
        QCOMPARE(std::pair(x->range().upper, qRound(x->range().size())), std::pair(399.0, 300));
        QWheelEvent wheel(QPointF(300, 200), f.plot()->mapToGlobal(QPointF(300, 200)), {}, {0, 120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.plot(), &wheel);
        const QCPRange zoomed = x->range();
        feed(400, 500);
        QCOMPARE(x->range(), zoomed);
        // Refresh puts the axis back and hides the cursors, in their mode.
        f.graph->setMode(GraphWindow::CursorMeasurements);
        f.click("Refresh");
        QCOMPARE(x->range().upper, 300.0);
        QVERIFY(f.shownCursors().isEmpty() && !f.panelShown());
        QCOMPARE(f.graph->mode(), int(GraphWindow::CursorMeasurements));
        feed(500, 501);
        QCOMPARE(x->range().upper, 500.0);
        series.recordingStopped({});
        QCOMPARE(f.graph->startButton()->text(), QStringLiteral("Start"));
    }

    // The channel count enables the plot boxes and shows the plots; a redraw
    // plots every row at the scale's period, and only a setup that changes
    // the period clears the display.
    void plotsFollowTheChannelsAndThePeriod_data() {
        columns<int, int, int>("channels", "scale", "period");
        row("1 ch, 1 s", 1, 0, 1);
        row("2 ch, 30 s", 2, 4, 30);
        row("3 ch, 10 mins", 3, 7, 600);
        row("4 ch, 1 hour", 4, 9, 3600);
    }
    void plotsFollowTheChannelsAndThePeriod() {
        auto [channels, scale, period] = fetch<int, int, int>("channels", "scale", "period");
        Graph f(channels, scale);
        f.graph->setChannelCount(1); // from fewer: boxes and plots come back
        f.graph->setChannelCount(channels);
        const QList<int> present = QList<int>{1, 2, 3, 4, 5, 6, 7, 8}.mid(0, 2 * channels);
        QCOMPARE(f.visiblePlots(), present);
        f.fill(10);
        f.graph->redraw();
        QCOMPARE(f.visiblePlots(), present);
        QCOMPARE(f.graph->plotList()->count(), 2 * channels);
        for (int k = 0; k < 8; ++k) {
            QCOMPARE(f.graph->plotBox(k)->isEnabled(), k < 2 * channels);
            QCOMPARE(f.points(k).size(), k < 2 * channels ? 10 : 0);
            if (k < 2 * channels)
                QCOMPARE(std::pair(f.points(k).constBegin()->key, f.last(k).key),
                         std::pair(0.0, 9.0 * period));
        }
        if (channels == 4) // channel 4 is drawn from the working table too
            QCOMPARE(f.last(6).value, 4.0 + 9 * 0.25);
        QCOMPARE(f.summary(0), QStringLiteral("Total Time:") + formatElapsed(9 * period));
        // Minutes below a 60-second period, hours above.
        QCOMPARE(f.graph->timeLengthList()->itemText(0),
                 period < 60 ? QStringLiteral("5m") : QStringLiteral("1 Hr"));
        f.graph->setupClicked(); // closed without a change
        QCOMPARE(f.prompter.texts,
                 QStringList{"If you change record scale, system will reset display "});
        QCOMPARE(f.graph->sampleCount(), 10);
        f.scale() = scale == 0 ? 1 : 0;
        f.graph->setupClicked();
        QCOMPARE(f.graph->sampleCount(), 0);
    }

    // Save, Load, Delete and Export through their buttons and lists; the
    // table window's record fields stay in step with the store. Save and
    // Load are the graph window's or the table window's, each with its
    // own questions.
    void recordOperationsKeepTheTableFieldsInStep_data() {
        columns<bool, QString, QString, QString>("onTable", "saveNew", "replace", "listed");
        row("graph window", false, QString("Do you want to save current record?"),
            QString("Do you want to replace existing data with current record?"),
            QString("1     2026/12/06 10:00:00    renamed                  "));
        row("table window", true, QString("Do you want to save this record data?"),
            QString("Do you replace existing data with current record?"),
            QString("1     2026/12/06 10: renamed                  "));
    }
    void recordOperationsKeepTheTableFieldsInStep() {
        auto [onTable, saveNew, replace, listed] =
            fetch<bool, QString, QString, QString>("onTable", "saveNew", "replace", "listed");
        Graph f(3, 4); // 30 s per point
        f.show();
        f.table->show();
        QWidget* records = onTable ? static_cast<QWidget*>(f.table.get()) : f.graph.get();
        QListWidget* list = onTable ? f.table->recordList() : f.graph->loadList();
        f.click("Save");
        f.click("Export");
        f.fill(4);
        f.graph->redraw();
        f.click("Export"); // the file dialog is cancelled
        QVERIFY(QDir(f.folder).entryList({QStringLiteral("*.csv")}, QDir::Files).isEmpty());
        f.prompter.fileName = f.folder + QStringLiteral("/out.csv");
        f.click("Export");
        QFile file(f.prompter.fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportCsv(3, f.store->workingRows()));
        QCOMPARE(f.prompter.texts,
                 (QStringList{"You must do record data first and then try this function again.",
                              "Please Record or Load existing data first!"}));

        f.recording().record().setStartTime(QStringLiteral("2026/12/06 10:00:00"));
        f.recording().record().setEndTime(QStringLiteral("2026/12/06 10:02:00"));
        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("it's a ramp"));
        f.graph->timeLengthList()->setCurrentIndex(2);
        f.prompter.texts.clear();
        f.click("Save", records);
        QCOMPARE(f.prompter.texts, QStringList{saveNew});
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        const RecordHeader saved = *f.store->record("1");
        QCOMPARE((QStringList{saved.recStyle, saved.showStyle, saved.comment}),
                 (QStringList{"4", "2", "it's a ramp"}));
        f.table->descriptionBox()->clear();
        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("renamed"));
        f.click("Save", records);
        QCOMPARE(f.prompter.texts.last(), replace);
        QCOMPARE(f.store->record("1")->comment, QStringLiteral("renamed"));

        // Load it back into a fresh working table and another scale. A load
        // whose copy fails changes nothing: no record is named that the next
        // save could overwrite. Escape closes the graph's list without loading.
        QVERIFY(f.store->clearWorking());
        f.scale() = 0;
        f.recording().record().clear();
        QSqlQuery db(f.data.database());
        QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER noload BEFORE INSERT ON datatemp BEGIN "
                                       "SELECT RAISE(ABORT, 'disk I/O error'); END")));
        f.click("Load", records);
        Graph::clickItem(list, 0);
        QVERIFY(f.prompter.texts.last().contains(QLatin1String("disk I/O error")));
        QVERIFY(f.table->recordNumberBox()->text().isEmpty());
        QVERIFY(db.exec(QStringLiteral("DROP TRIGGER noload")));
        if (!onTable) {
            f.click("Load");
            QTest::keyClick(list, Qt::Key_Escape);
            QVERIFY(!list->isVisible());
        }
        f.click("Load", records);
        QCOMPARE(list->item(0)->text(), listed);
        Graph::clickItem(list, 0);
        QVERIFY(!list->isVisible());
        QCOMPARE((QStringList{f.table->recordNumberBox()->text(), f.table->descriptionBox()->text(),
                              f.table->endTimeBox()->text()}),
                 (QStringList{"1", "renamed", "2026/12/06 10:02:00"}));
        QCOMPARE(f.table->model().rowCount(), 4);
        QCOMPARE(f.last(0).key, 3 * 30.0);
        QCOMPARE(f.plot()->xAxis->range().upper, 1200.0); // its own time length
        // At its own scale, the setup left as the user made it; after a
        // restart too.
        QCOMPARE(f.summary(1), QStringLiteral("Time Slice: 30sec"));
        QCOMPARE(f.scale(), 0);
        {
            Recording restarted(*f.session, *f.store, f.prompter, 3);
            GraphWindow again(*f.session, restarted, f.prompter, {});
            again.activate();
            again.redraw();
            QCOMPARE(again.summaryList()->item(1)->text(), QStringLiteral("Time Slice: 30sec"));
        }

        // Delete asks with number and start time, clears the graph, and the
        // working table is no saved record any more: its points are kept as
        // unsaved, and asked about before anything replaces them.
        f.prompter.texts.clear();
        f.click("Delete");
        Graph::clickItem(f.graph->deleteList(), 0);
        QCOMPARE(f.prompter.texts, QStringList{"Do you want to delete Record of [Rec No: 1 Start "
                                               "Time:2026/12/06 10:00:00]"});
        QVERIFY(f.store->records().isEmpty());
        QCOMPARE(f.graph->sampleCount(), 0);
        QVERIFY(f.table->recordNumberBox()->text().isEmpty());
        QVERIFY(f.store->workingHeader().value().unsaved);
        QCOMPARE(f.store->workingCount(), 4);
        f.prompter.answers = {Prompter::Answer::No};
        QVERIFY(!f.recording().record().mayDiscard());
        QCOMPARE(f.prompter.texts.last(),
                 QStringLiteral("The current recording is not saved. Discard it?"));
        // A save that fails says why and shows no number.
        QSqlQuery(f.data.database()).exec(QStringLiteral("drop table datamain"));
        f.click("Save");
        QVERIFY(f.prompter.texts.last().startsWith(QStringLiteral("System Error caused by ")));
        QVERIFY(f.table->recordNumberBox()->text().isEmpty());
    }

    // On paper, read back by poppler. Print puts the graph, without colour,
    // into the page's rectangle; the screen's colours come back whether it
    // printed, failed or was cancelled. Report... from the table window's
    // button: a PDF with every header field, the graph in colour, the charge
    // delivered during the record (the counter ran before it) and the
    // comments. A file that cannot be written is said, not taken for done.
    void printAndReportPutTheGraphOnPaper() {
        Graph f(2, 0);
        storeRows(f, 30, -1, 0.012, [](int i) { return 0.1 + 0.01 * i; });
        QVERIFY(f.store->setComment(QStringLiteral("2026/12/06 10:00:00"),
                                    QStringLiteral("load switched in")));
        QString error;
        const std::optional<QString> number =
            f.recording().record().saveAsNew(QStringLiteral("bench run 7"), 0, &error);
        QVERIFY2(number, qPrintable(error));
        f.graph->redraw();
        f.show();
        // Where a page's ink (darker than light grey) lies; its coloured pixels.
        auto inkOf = [](const QImage& page) {
            std::pair<QRect, int> ink;
            for (int y = 0; y < page.height(); ++y)
                for (int x = 0; x < page.width(); ++x) {
                    const QColor c = page.pixelColor(x, y);
                    ink.first |= qGray(c.rgb()) < 200 ? QRect(x, y, 1, 1) : QRect();
                    ink.second += c.saturation() > 60 ? 1 : 0;
                }
            return ink;
        };

        const QColor ch2 = f.graph->plot(2)->pen().color();
        const QColor ticks = f.plot()->xAxis->tickPen().color();
        QString pdf = f.folder + QStringLiteral("/graph.pdf");
        f.graph->setPrinterChoice([&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
        auto print = [&] {
            f.click("Print");
            QCOMPARE(f.graph->plot(2)->pen().color(), ch2);
            QCOMPARE(f.plot()->xAxis->tickPen().color(), ticks);
            QVERIFY(f.plot()->xAxis2->visible());
        };
        print();
        QVERIFY(f.prompter.texts.isEmpty());
        const QImage page = pdfPage(pdf, 30);
        QVERIFY(page.width() > page.height()); // landscape
        // Ink only inside the rectangle, filling most of it, and no colour.
        const auto [ink, coloured] = inkOf(page);
        const QRect target(page.width() / 10, page.height() / 10, page.width() * 2 / 5,
                           page.height() * 2 / 5);
        QVERIFY(target.adjusted(-2, -2, 2, 2).contains(ink));
        QVERIFY(ink.width() > target.width() * 3 / 4 && ink.height() > target.height() * 3 / 4);
        QCOMPARE(coloured, 0);
        pdf = f.folder + QStringLiteral("/no/such/folder/graph.pdf");
        print();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(QStringLiteral("Print failed: ")));
        f.graph->setPrinterChoice([](QPrinter&) { return false; }); // cancelled: nothing happens
        print();
        QCOMPARE(f.prompter.texts.size(), 1);

        f.prompter.texts.clear();
        QObject::connect(f.table.get(), &TableWindow::reportRequested, f.graph.get(),
                         &GraphWindow::report);
        f.prompter.fileName = f.folder + QStringLiteral("/report.pdf");
        f.click("Report...", f.table.get());
        QCOMPARE(f.prompter.texts, QStringList());
        const QString text =
            QString::fromUtf8(poppler("pdftotext", {"-layout", f.prompter.fileName, "-"}));
        const QStringList fields =
            QStringLiteral("Model|TRQ-3302|Interface|Record|Description|bench run 7|Start|End|"
                           "Scale|1 second|Point operation|Statistics|CH2|0.39|load switched "
                           "in")
                .split(QLatin1Char('|'))
            << *number;
        for (const QString& field : fields)
            QVERIFY2(text.contains(field), qPrintable(field + QStringLiteral(" in:\n") + text));
        // CH1's charge and energy: 0.012 Ah to 0.302 Ah is 0.29 Ah delivered.
        const QStringList ch1 = text.split(QLatin1Char('\n'))
                                    .filter(QRegularExpression(QStringLiteral("^\\s*CH1\\s")))
                                    .value(0)
                                    .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(ch1.mid(ch1.size() - 2), (QStringList{"0.29", "0"}));
        const int lines = inkOf(pdfPage(f.prompter.fileName, 100)).second; // not a blank page
        QVERIFY2(lines > 50, qPrintable(QString::number(lines)));
        f.prompter.fileName = QStringLiteral("/nonexistent/folder/report.pdf");
        f.graph->report();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(
            QStringLiteral("The report could not be written: ")));
    }

    // A bench's run is drawn whole on one time axis: the second supply's
    // points after its outage stand at their own times, not shifted onto
    // the first's samples; its plots are named by it, its cursor reads its
    // points, the statistics and the report name both supplies. One supply
    // can still be shown alone.
    void aBenchRunIsDrawnOnOneTimeAxis() {
        Graph f(3, 0);
        BenchStore bench(f.data);
        QVERIFY(setRunSupplies(bench,
                               {{1, "PSQ-3323", "PSQ-3323", "", "sim:PSQ-3323", 3},
                                {2, "rail", "TRQ-3302", "", "sim:TRQ-3302", 2}},
                               QStringLiteral("2026/12/06 10:00:00")));
        // The first supply every second, the rail at 0..2 s and 6..9 s.
        const QList<int> railTimes{0, 1, 2, 6, 7, 8, 9};
        for (int table : {1, 2})
            for (int i = 0; i < 10; ++i) {
                const int seqNo = table == 1 ? i : int(railTimes.indexOf(i));
                if (seqNo < 0)
                    continue;
                SampleRow r;
                r.seqNo = seqNo;
                r.timeTick = i;
                r.recTime = QStringLiteral("2026/12/06 10:00:%1").arg(i, 2, 10, QLatin1Char('0'));
                r.volt[0] = QString::number(table == 1 ? 1.0 + i : 10.0 + i);
                r.curr[0] = QStringLiteral("0.5");
                r.gap = table == 2 && i == 6;
                QVERIFY(bench.store(table)->appendSample(r));
            }
        f.recording().record().setBenchRecords(&bench);
        const auto unset = qScopeGuard([&] { f.recording().record().setBenchRecords(nullptr); });
        f.graph->redraw();
        f.show();
        const int marks = f.graph->markerCount();
        QComboBox* chooser = f.graph->supplyList();
        QCOMPARE(chooser->currentText(), QStringLiteral("All supplies"));
        QCOMPARE(f.graph->plotCount(), 16);
        QCOMPARE(f.graph->plotBox(8)->text(), QStringLiteral("rail CH1 V"));
        QVERIFY(!f.graph->plotBox(12)->isEnabled()); // the rail has two channels
        auto points = [&](int k) {
            return std::vector<QCPGraphData>(f.points(k).constBegin(), f.points(k).constEnd());
        };
        for (int k : {0, 8}) {
            QList<double> keys;
            for (const QCPGraphData& p : points(k))
                if (!qIsNaN(p.value)) {
                    QCOMPARE(p.value, (k == 0 ? 1.0 : 10.0) + p.key);
                    keys << p.key;
                }
            QCOMPARE(keys.size(), k == 0 ? 10 : 7);
        }
        // The rail's line breaks over its outage, and the break is marked.
        const std::vector<QCPGraphData> railPoints = points(8);
        QVERIFY(std::any_of(railPoints.begin(), railPoints.end(), [](const QCPGraphData& p) {
            return qIsNaN(p.value) && p.key > 2 && p.key < 6;
        }));
        QVERIFY(f.summary(0) == QStringLiteral("PSQ-3323"));
        QVERIFY(f.graph->summaryList()->findItems(QStringLiteral("rail"), Qt::MatchExactly).size());

        // The rail's voltage from 6 s to 9 s: four points, mean 17.5 V.
        f.graph->setMode(GraphWindow::CursorMeasurements);
        QListWidget* list = f.graph->plotList();
        const int rail =
            list->row(list->findItems(QStringLiteral("rail: CH1 Vol"), Qt::MatchExactly).value(0));
        QCOMPARE(rail, 6);
        Graph::clickItem(list, rail);
        QCOMPARE(f.shownCursors(), (QList<int>{9, kRef}));
        f.graph->moveCursor(9, 6.2, 0);
        f.graph->moveCursor(kRef, 9, 0);
        QCOMPARE(f.graph->cursorPosition(9), QPointF(6, 16));
        QVERIFY2(
            f.graph->betweenCursors()->text().startsWith(QStringLiteral("4 points\nMean: 17.5 V")),
            qPrintable(f.graph->betweenCursors()->text()));

        f.prompter.fileName = f.folder + QStringLiteral("/bench.pdf");
        f.graph->report();
        const QString text =
            QString::fromUtf8(poppler("pdftotext", {"-layout", f.prompter.fileName, "-"}));
        for (const char* field : {"PSQ-3323 CH3", "rail CH2", "TRQ-3302", "sim:TRQ-3302"})
            QVERIFY2(text.contains(QLatin1String(field)), qPrintable(field + text));

        // One supply alone: its eight plots, the cursors on them afresh;
        // all again, as they were.
        chooser->setFocus();
        QTest::keyClick(chooser, Qt::Key_End);
        QCOMPARE(chooser->currentText(), QStringLiteral("rail"));
        QCOMPARE(f.graph->plotCount(), 8);
        QCOMPARE(f.graph->plotBox(0)->text(), QStringLiteral("rail CH1 V"));
        QCOMPARE(f.graph->sampleCount(), 7);
        QCOMPARE(f.shownCursors(), (QList<int>{1, kRef}));
        QTest::keyClick(chooser, Qt::Key_Home);
        QCOMPARE(f.graph->plotCount(), 16);
        QCOMPARE(f.graph->markerCount(), marks);
    }

    // A million-point plot drawn from block summaries shows in every pixel
    // column the same lowest and highest value as all its points: set,
    // appended to as live points are, and replaced.
    void envelopeKeepsEveryColumnsExtremes() {
        QCustomPlot plot;
        plot.resize(300, 200);
        auto* g = new EnvelopeGraph(plot.xAxis, plot.yAxis);
        QRandomGenerator random(7);
        for (const auto& [from, n] :
             {std::pair{0, 200000}, std::pair{200000, 5000}, std::pair{0, 150000}}) {
            QVector<double> xs, ys;
            for (int i = from; i < from + n; ++i) {
                xs << i;
                ys << random.bounded(100.0) + (i % 9973 == 0 ? 500.0 : 0.0);
            }
            if (from > 0) {
                g->addData(xs, ys, true);
            } else {
                g->setData(xs, ys, true);
                g->dataReplaced();
            }
            plot.xAxis->setRange(0, g->dataCount());
            plot.replot();
            std::map<int, std::pair<double, double>> all, drawn;
            auto add = [&](std::map<int, std::pair<double, double>>& m, const QCPGraphData& d) {
                const int column = int(std::floor(plot.xAxis->coordToPixel(d.key)));
                auto& v = m.try_emplace(column, d.value, d.value).first->second;
                v = {std::min(v.first, d.value), std::max(v.second, d.value)};
            };
            for (const QCPGraphData& d : *g->data())
                add(all, d);
            const QVector<QCPGraphData> line = g->lineData();
            for (const QCPGraphData& d : line)
                add(drawn, d);
            QVERIFY(line.size() <= qsizetype(4 * all.size()));
            QVERIFY(drawn == all);
        }
    }

    // Weeks of points in summaries of bounded size: every sample's extremes
    // and sum kept, so the range statistics stay right.
    void longRecordingsKeepBoundedSummaries() {
        GraphSeries series(1);
        const qint64 n = 5 * GraphSeries::kMaxBuckets + 7;
        double sum = 0;
        SampleRow r;
        r.curr[0] = QStringLiteral("0.5");
        for (qint64 i = 0; i < n; ++i) {
            r.seqNo = i;
            const double v = i == 77777 ? 99.0 : double(i % 1000) / 100;
            sum += v;
            r.volt[0] = QString::number(v);
            r.gap = i == 40000 || i == 0; // the first has nothing to break from
            series.append(r);
        }
        QVERIFY(series.bucketCount() <= GraphSeries::kMaxBuckets);
        const GraphSeries::Stats all = series.stats(PlotQuantity::Voltage, 0, 0, n - 1);
        QCOMPARE(all.count, n);
        QCOMPARE(std::pair(all.min, all.max), std::pair(0.0, 99.0));
        QVERIFY(std::abs(all.mean - sum / double(n)) < 1e-9);
        const GraphSeries::Stats power = series.stats(PlotQuantity::Power, 0, 8, 8 * 10 - 1);
        QCOMPARE(power.count, qint64(72));
        QCOMPARE(std::pair(power.min, power.max), std::pair(0.08 * 0.5, 0.79 * 0.5));
        QCOMPARE(series.gaps(), std::vector<qint64>{40000});
    }

    // Cursor readouts and statistics over a gap and a limit event, on few
    // points and on more points than buckets (the points themselves are read
    // there). The second cursor is its own, so channel
    // 4's voltage (plot 7) is measured too; a gap within a bucket breaks the
    // line before it, keeping the points in time order.
    void cursorsMeasureAcrossGapsAndEvents_data() {
        columns<int, int, int, int, int>("channels", "plot", "samples", "gapAt", "breakBefore");
        row("CH1 V, 6 points", 3, 1, 6, 5, 5);
        row("CH4 V, more points than buckets", 4, 7, GraphSeries::kMaxBuckets + 10, 9001, 9000);
    }
    void cursorsMeasureAcrossGapsAndEvents() {
        auto [channels, plot, n, gapAt, breakBefore] =
            fetch<int, int, int, int, int>("channels", "plot", "samples", "gapAt", "breakBefore");
        Graph f(channels, 4); // 30 s per point
        // The measured plot's readings differ by no exact binary fraction.
        auto volts = [&](int c, int i) {
            return c != plot / 2 ? 1.0 : i == 3 ? 12.995 : i == 5 ? 12.502 : 12.495;
        };
        QVERIFY(f.data.database().transaction());
        storeRows(
            f, n, gapAt, 0, [](int i) { return i % 2 == 0 ? 0.3 : 0.1; }, volts);
        QVERIFY(f.data.database().commit());
        QVERIFY(f.store->addEvent({3, QStringLiteral("t"), 1, QStringLiteral("A"), 0.5, 0.4,
                                   QStringLiteral("Log only")}));
        QVERIFY(f.store->addEvent(
            RecordEvent::step(2, QStringLiteral("t"), 4, QStringLiteral("CH1 5 V"))));
        f.table->refill();
        f.graph->redraw();
        f.show();
        const QCPGraphDataContainer& data = f.points(0);
        QVERIFY(
            std::is_sorted(data.constBegin(), data.constEnd(), qcpLessThanSortKey<QCPGraphData>));
        if (n < GraphSeries::kMaxBuckets) // a point a sample and the break
            QCOMPARE(data.size(), n + 1);
        auto nan = std::find_if(data.constBegin(), data.constEnd(),
                                [](const QCPGraphData& d) { return std::isnan(d.value); });
        QVERIFY(nan != data.constEnd() && std::next(nan) != data.constEnd());
        QCOMPARE(std::pair(nan->key, std::next(nan)->key),
                 std::pair(double(breakBefore) * 30 - 15, double(breakBefore) * 30));
        QCOMPARE(f.graph->markerCount(), 6);                            // a line and a label each
        QCOMPARE(f.graph->plotBox(1)->text(), QStringLiteral("Ch1 A")); // named so at the start
        QComboBox* right = f.graph->rightAxisList();
        QTest::keyClick(right, Qt::Key_Down);
        QCOMPARE(f.plot()->yAxis2->label(), QStringLiteral("Power"));
        QCOMPARE(f.graph->plotBox(1)->text(), QStringLiteral("Ch1 W")); // its box follows
        QCOMPARE((f.points(1).constBegin() + 2)->value, volts(0, 2) * 0.3);
        QTest::keyClick(right, Qt::Key_Down);
        QCOMPARE((f.points(1).constBegin() + 4)->value, 0.04); // the charge counter
        QVERIFY(!f.graph->currentRangeList()->isEnabled());
        QTest::keyClick(right, Qt::Key_Up);
        QTest::keyClick(right, Qt::Key_Up); // current again: measured in A below
        QCOMPARE(f.graph->plotBox(1)->text(), QStringLiteral("Ch1 A"));

        f.graph->setMode(GraphWindow::CursorMeasurements);
        f.graph->plotList()->setCurrentRow(plot - 1);
        // Period and amplitude whichever cursor moved last.
        for (const auto& [first, second] : {std::pair{plot, kRef}, std::pair{kRef, plot}}) {
            f.graph->moveCursor(first, first == plot ? 0 : 90.0, 0);
            f.graph->moveCursor(second, second == plot ? 0 : 90.0, 0);
            QCOMPARE(f.graph->periodBox()->text(), QStringLiteral("00:01:30"));
            QCOMPARE(f.graph->amplitudeBox()->text(), QStringLiteral("0.5"));
        }
        // A cursor stands on the nearest sample and selects its row.
        f.graph->moveCursor(plot, 61.0, 0);
        QCOMPARE(f.graph->xPositionBox()->text(), QStringLiteral("00:01:00"));
        QCOMPARE(f.graph->yPositionBox()->text(), QStringLiteral("12.495"));
        f.graph->moveCursor(kRef, 150.0, 0);
        QCOMPARE(f.highlight(), 5);
        QCOMPARE(f.graph->amplitudeBox()->text(), QStringLiteral("0.007"));
        // Choosing another plot ties the second cursor to it.
        f.graph->plotList()->setCurrentRow(1); // Ch1 A
        QCOMPARE(f.shownCursors(), (QList<int>{2, kRef}));
        QCOMPARE(f.visiblePlots(), QList<int>{2});
        f.plot()->replot();
        // The plot's cursor to sample 1 by the mouse, the second one to sample 3.
        QTest::mouseClick(f.plot(), Qt::LeftButton, {}, f.pixel(30, 0.2, true));
        QCOMPARE(f.graph->yPositionBox()->text(), QStringLiteral("0.1"));
        f.graph->moveCursor(kRef, 90, 0);
        // 0.5 A over 30 s points: 0.5 * 30 / 3600 Ah.
        QCOMPARE(f.graph->betweenCursors()->text(),
                 QStringLiteral("3 points\nMean: 0.166667 A\nMin: 0.1 A\nMax: 0.3 A\n"
                                "Integral: 0.00416667 Ah"));
        for (int i : {n, n + 1}) {
            SampleRow live;
            live.seqNo = i;
            live.curr[0] = QString::number(0.1 * (i - n + 6));
            QVERIFY(f.store->appendSample(live));
            f.recording().series().append(live);
        }
        QCOMPARE(std::pair(f.last(1).key, f.last(1).value), std::pair(double(n + 1) * 30, 0.7));
        f.graph->clearGraph();
        QCOMPARE(f.graph->markerCount(), 0);
    }
};

TRQ_TEST_MAIN(TestGraphWindow)
#include "tst_graphwindow.moc"
