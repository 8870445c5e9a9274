// The table window, on a live connection to a simulated supply and on its
// own database.
#include "session/labrecords.h"
#include "support/pgserver.h"
#include "support/shellfixture.h"
#include "support/windowfixture.h"
#include "ui/recordlist.h"
#include "ui/recordsetupdialog.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>

using namespace trq;
using namespace trq::test;

namespace {

struct TableFixture : ShellFixture {
    TableWindow* table = nullptr;
    RecordingEngine& engine() { return session->recording()->engine(); }
    bool start(const QString& model = QStringLiteral("PSQ-3323")) {
        if (!onLineSerial(model))
            return false;
        session->control().setOutput(true);
        table = main->tableWindow();
        // A recording starts with its first measurement of every channel.
        return table != nullptr && QTest::qWaitFor([&] { return session->supply().allMeasured(); });
    }
    void record(int ticks) {
        engine().arm(ticks - 1, 0, 0);
        main->run(MainWindow::Command::RecordStart);
        tick(ticks);
    }
    // A point is made only of readings that arrived. The test's ticks only:
    // one of the timer's between them would be a second without a reading.
    void tick(int n) {
        if (engine().timer().isActive())
            engine().timer().start(3600000);
        for (int i = 0; i < n; ++i) {
            const quint64 before = session->supply().readingCount();
            QVERIFY(
                QTest::qWaitFor([&] { return session->supply().readingCount() != before; }, 3000));
            engine().tick();
        }
    }
};

// Rows whose first sampling condition is each of the codes, two to a second.
void fillReasons(WindowFixture& f, const QString& reasons) {
    for (int i = 0; i < reasons.size(); ++i) {
        SampleRow r;
        r.seqNo = i;
        r.recTime = QStringLiteral("2026/12/06 10:00:%1").arg(i / 2, 2, 10, QLatin1Char('0'));
        r.volt = {QStringLiteral("1.000"), {}, {}, {}};
        r.curr = {QStringLiteral("0.100"), {}, {}, {}};
        r.reason[0] = reasons.at(i);
        QVERIFY(f.store->appendSample(r));
    }
    f.table->refill();
}

void clickCell(QTableView* grid, int row, int column) {
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

// A statement that must succeed and give no rows.
void exec(QSqlDatabase db, const char* statement) {
    QCOMPARE(sqlRows(db, QLatin1String(statement)), QStringList());
}

} // namespace

class TestTableWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // The filter shows the rows of each sampling condition. A comment goes
    // to every row of its second, in the grid as in the database, and only
    // once the database holds it. No to Save or Clear changes nothing; an
    // unreadable count is no "empty".
    void gridFilterCommentsAndRefusals() {
        WindowFixture f(1);
        fillReasons(f, QStringLiteral("0112333"));
        f.table->resize(900, 500);
        f.table->show();
        QComboBox* filter = f.table->filterList();
        QList<int> rows{f.table->model().rowCount()};
        for (int i = 1; i < filter->count(); ++i) {
            QTest::keyClick(filter, Qt::Key_Down);
            rows << f.table->model().rowCount();
        }
        QCOMPARE(rows, (QList<int>{7, 1, 2, 1, 3, 7}));

        const int comment = f.table->model().commentColumn();
        auto cell = [&](int r) { return f.table->model().index(r, comment).data().toString(); };
        clickCell(f.table->grid(), 3, comment);
        QVERIFY(f.table->commentPanel()->isVisible());
        QTest::keyClicks(f.table->commentBox(), QStringLiteral("ripple"));
        clickButton(f.table.get(), QStringLiteral("OK"));
        QCOMPARE((QStringList{cell(2), cell(3), cell(4)}), (QStringList{"ripple", "ripple", ""}));
        QCOMPARE(f.store->workingRows().at(2).comment, QStringLiteral("ripple"));
        exec(f.data.database(), "CREATE TRIGGER nocomment BEFORE UPDATE ON datatemp BEGIN SELECT "
                                "RAISE(ABORT, 'attempt to write a readonly database'); END");
        clickCell(f.table->grid(), 0, comment);
        QTest::keyClicks(f.table->commentBox(), QStringLiteral("lost"));
        clickButton(f.table.get(), QStringLiteral("OK"));
        QCOMPARE(cell(0), QString());

        f.prompter.answers = {Prompter::Answer::No, Prompter::Answer::No};
        clickButton(f.table.get(), QStringLiteral("Save"));
        clickButton(f.table.get(), QStringLiteral("Clear"));
        QVERIFY(f.store->records().isEmpty());
        QCOMPARE(f.store->workingCount().value_or(-1), 7);
        exec(f.data.database(), "ALTER TABLE datatemp RENAME TO datatemp_away");
        clickButton(f.table.get(), QStringLiteral("Clear"));
        clickButton(f.table.get(), QStringLiteral("Save"));
        QCOMPARE(f.table->model().rowCount(), 7);
        exec(f.data.database(), "ALTER TABLE datatemp_away RENAME TO datatemp");
        QCOMPARE(f.store->workingCount().value_or(-1), 7);
        // A failure says its cause; only its beginning is compared.
        static const QRegularExpression cause(QStringLiteral("caused by.*"));
        QCOMPARE(QStringList(f.prompter.texts).replaceInStrings(cause, QStringLiteral("caused by")),
                 (QStringList{"System Error caused by", "Do you want to save this record data?",
                              "Do you want to clear all of data records?", "System Error caused by",
                              "System Error caused by"}));
    }

    // A working table of several pages: every row is where the store has
    // it, through the filter and after rows recorded now; a point after a
    // gap and a point with a limit event say so in colour and tooltip.
    void longTablesArePagedAndMarked() {
        WindowFixture f(2);
        QAbstractItemModelTester tester(&f.table->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int n = 3 * SampleTableModel::kPageRows; // the next row opens a page
        QVERIFY(f.data.database().transaction());
        SampleRow r;
        r.curr = {QStringLiteral("0.100"), QStringLiteral("0.200"), {}, {}};
        r.charge = {QStringLiteral("0.5"), QStringLiteral("0.00005"), {}, {}};
        r.energy = {QStringLiteral("1.5"), QStringLiteral("0.75"), {}, {}};
        for (int i = 0; i < n; ++i) {
            r.seqNo = i;
            r.recTime = QStringLiteral("2026/12/06 %1").arg(i);
            r.volt = {QString::number(i), QStringLiteral("2.000"), {}, {}};
            r.reason[0] = i % 3 == 0 ? u'1' : u'2';
            r.gap = i == 2500;
            r.diffLastTime = r.gap ? 42 : 1;
            QVERIFY(f.store->appendSample(r));
        }
        QVERIFY(f.data.database().commit());
        QVERIFY(f.store->addEvent(
            {1000, QStringLiteral("t"), 2, QStringLiteral("V"), 9, 8, QStringLiteral("Message")}));
        QVERIFY(f.store->addEvent(RecordEvent::step(1500, QStringLiteral("t"), 2,
                                                    QStringLiteral("Step 2 (2 of 9): CH1 5 V"))));
        f.table->refill();
        SampleTableModel& m = f.table->model();
        QCOMPARE(m.rowCount(), n);
        for (int row : {0, 1023, 1024, 2500, n - 1}) {
            QCOMPARE(m.data(m.index(row, 2)).toString(), QString::number(row));
            QCOMPARE(m.rowOfSeqNo(row), row);
        }
        // Charge and energy as the panel shows them: four decimals.
        QCOMPARE(m.data(m.index(5, m.commentColumn() + 3)).toString(), QStringLiteral("0.0001"));
        QCOMPARE(m.data(m.index(5, m.commentColumn() + 4)).toString(), QStringLiteral("0.7500"));
        auto background = [&](int row) {
            return m.data(m.index(row, 2), Qt::BackgroundRole).value<QBrush>().color();
        };
        QCOMPARE((QSet<QRgb>{background(2499).rgb(), background(2500).rgb(), background(1000).rgb(),
                             background(1500).rgb()})
                     .size(),
                 4); // plain, after a gap, a limit, a sequence's step
        QVERIFY(m.data(m.index(2500, 2), Qt::ToolTipRole).toString().contains(u"42 s"));
        QVERIFY(m.data(m.index(1000, 2), Qt::ToolTipRole).toString().contains(u"CH2 V"));
        QCOMPARE(m.data(m.index(1500, 2), Qt::ToolTipRole).toString(),
                 QStringLiteral("t: Step 2 (2 of 9): CH1 5 V"));
        QVERIFY(m.data(m.index(999, 2), Qt::ToolTipRole).isNull());

        // The first-channel condition "1": every third row, in order.
        m.show(f.store.get(), u'1');
        QCOMPARE(m.rowCount(), (n + 2) / 3);
        QCOMPARE(m.row(m.rowCount() - 1).seqNo, qint64((m.rowCount() - 1) * 3));
        QCOMPARE(m.rowOfSeqNo(3 * 700), 700);
        QCOMPARE(m.rowOfSeqNo(3 * 700 + 1), -1);
        // A row recorded now joins only if it meets the filter.
        SampleRow other;
        other.seqNo = n;
        other.reason[0] = u'2';
        m.appendRow(other);
        QCOMPARE(m.rowCount(), (n + 2) / 3);

        // Rows recorded now join the end of the pages already read, also on
        // a page of their own after a sample number that was left out; so do
        // the rows shown again.
        m.show(f.store.get());
        m.data(m.index(n - 1, 0));
        SampleRow live;
        live.seqNo = n + 1;
        live.volt = {QStringLiteral("7.000"), {}, {}, {}};
        QVERIFY(f.store->appendSample(live));
        for (bool shownAgain : {false, true}) {
            if (shownAgain)
                m.show(f.store.get());
            else
                m.appendRow(live);
            QCOMPARE(m.rowCount(), n + 1);
            QCOMPARE(m.data(m.index(n, 2)).toString(), QStringLiteral("7.000"));
            QCOMPARE(m.rowOfSeqNo(n + 1), n);
        }
    }

    // The two Generate buttons build test data from records 10018 and 10019.
    void generateBuildsTestData() {
        WindowFixture f(1);
        QSqlDatabase db = f.data.database();
        exec(db, "insert into datacopy (RecNo, SeqNo, RecTime) values "
                 "('10019', 0, '2026/12/06 10:00:00'), ('10019', 1, ''), ('10019', 2, '')");
        exec(db, "insert into datadetail (RecNo, SeqNo, RecTime, PVal, TimeTick) values "
                 "('10018', 0, '2026/12/06 09:00:00', '1.5', 0), "
                 "('10018', 1, '2026/12/06 09:00:01', '1.6', 1)");
        clickButton(f.table.get(), QStringLiteral("generateButton"));
        QCOMPARE(
            sqlRows(db, "select RecTime, TimeTick from datacopy where RecNo='10019' and SeqNo=2"),
            QStringList{"2026/12/06 10:02:00 120"});
        QCOMPARE(sqlRows(db, "select SeqNo, RecTime, PVal from datacopy where RecNo='10018' "
                             "order by SeqNo"),
                 (QStringList{"191 2026/12/06 09:15:55 1.5", "192 2026/12/06 09:16:01 1.6"}));
        clickButton(f.table.get(), QStringLiteral("generateCopiesButton"));
        QCOMPARE(sqlRows(db, "select count(*), max(SeqNo) from datacopy where RecNo='10018'"),
                 QStringList{"22 210"});
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // On an empty table Clear asks nothing and Save says there is nothing;
    // Start wants a length. A continuous one records until stopped, with no
    // planned end, shown in the status bar, and Start is not offered while
    // it runs; the setup dialog arms one of minutes, whose points the graph
    // draws at their own scale whatever the setup says later.
    void startWantsALengthFromTheRecordSetup() {
        TableFixture f;
        QVERIFY(f.start());
        f.table->clearData();
        f.table->save();
        f.main->run(MainWindow::Command::RecordStart);
        const QStringList said{"You need do record first and then try this again!",
                               "Please Setup Record the period first."};
        QCOMPARE(f.prompter.texts, said);
        RecordSetup setup = f.session->recordSetup();
        setup.continuous = true;
        f.session->recording()->arm(setup);
        f.main->run(MainWindow::Command::RecordStart);
        f.tick(3);
        QVERIFY(f.engine().isRecording());
        QCOMPARE(f.table->model().rowCount(), 3);
        QVERIFY(f.table->endTimeBox()->text().isEmpty());
        f.engine().setStartTime(f.engine().now().addSecs(-83));
        f.main->updateStatus();
        QCOMPARE(f.main->statusText(), QStringLiteral("Recording 0:01:23, points: 3"));
        QVERIFY(!f.main->action(MainWindow::Command::RecordStart)->isEnabled());
        f.main->run(MainWindow::Command::RecordStart); // as the graph's Start: nothing
        QCOMPARE(f.table->model().rowCount(), 3);
        {
            // Points waiting for a busy database are said there too.
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(f.store->fileName());
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
            f.tick(1);
            f.main->updateStatus();
            QVERIFY2(f.main->statusText().endsWith(QLatin1String("to be stored: 1")),
                     qPrintable(f.main->statusText()));
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        f.tick(1);
        f.main->updateStatus();
        QVERIFY2(f.main->statusText().endsWith(QLatin1String("points: 5")),
                 qPrintable(f.main->statusText()));
        f.main->run(MainWindow::Command::RecordStop);
        QVERIFY(!f.table->endTimeBox()->text().isEmpty());
        QCOMPARE(f.prompter.texts, said);
        QVERIFY(f.main->action(MainWindow::Command::RecordStart)->isEnabled());
        f.main->updateStatus();
        QCOMPARE(f.main->statusText(), QStringLiteral("Ready"));

        QTimer::singleShot(0, [&] {
            auto* dlg = f.main->recordSetupDialog();
            dlg->minutesList()->setCurrentIndex(2);
            dlg->scaleList()->setCurrentIndex(2);
            dlg->ok();
        });
        f.main->setUpRecording();
        QCOMPARE(f.engine().remainingTicks(), 120);
        f.main->run(MainWindow::Command::RecordStart);
        QVERIFY(f.engine().timer().isActive());
        f.tick(10); // two points of 5 s
        f.main->run(MainWindow::Command::RecordStop);
        f.session->recordSetup().scale = 0; // 1 s from now on
        f.main->showGraph();
        QCOMPARE(f.main->graphWindow()->summaryList()->item(1)->text(),
                 QStringLiteral("Time Slice: 5sec"));
    }

    // A recording fills the table and the graph, drawn when first shown,
    // where a chosen row is highlighted. It comes back after a restart with
    // its header: times, description, the record it came from, and whether
    // it is saved. Nothing unsaved is thrown away without asking, a refused
    // start clears nothing, a new recording is a new record on a clear
    // graph, and no record is loaded into a running one. Saving over and
    // loading back are tst_graphwindow's, the columns tst_recordstore's.
    void recordingsAreShownKeptAndNeverLostSilently() {
        const QString model = QStringLiteral("TRQ-7206S");
        TableFixture f;
        QVERIFY(f.start(model));
        SampleTableModel& m = f.table->model();
        // Number, time, four channels' V, I and condition, comment, four channels' Ah and Wh.
        QCOMPARE(m.columnCount(), 23);
        f.instrument().channel(3).vset = 2;
        f.instrument().channel(4).vset = 3;
        f.instrument().channel(4).iset = 1;
        QTRY_COMPARE(f.session->supply().channel(2).voltage.text(), QStringLiteral("2.000"));
        QTRY_COMPARE(f.session->supply().channel(3).voltage.text(), QStringLiteral("3.000"));
        f.record(4);
        QCOMPARE(m.rowCount(), 4);
        QCOMPARE(m.index(3, 11).data().toString(), QStringLiteral("3.000")); // CH4 V
        const GraphSeries& series = f.session->recording()->series();
        QCOMPARE(series.value(PlotQuantity::Voltage, 2, 3), std::optional<double>(2.0));
        f.main->showGraph();
        GraphWindow* g = f.main->graphWindow();
        QVERIFY(g && g->isVisible());
        QCOMPARE(g->plot(0)->data()->size(), 4);
        // Drawn on the first view: its activation comes before the redraw.
        QCOMPARE(g->summaryList()->item(0)->text(), QStringLiteral("Total Time:0:0:3"));
        f.table->selectSample(2);
        QCOMPARE(m.highlight(), 2);
        f.table->selectSample(4); // beyond the points: nothing
        QCOMPARE(m.highlight(), 2);
        QCOMPARE(m.index(2, 1).data(Qt::BackgroundRole).value<QBrush>().color(),
                 QColor(255, 192, 255));

        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("soak, bench 2"));
        const QString start = f.table->startTimeBox()->text();
        const QString end = f.table->endTimeBox()->text();
        QVERIFY(!start.isEmpty() && !end.isEmpty());
        f.session->control().setOutput(false);
        f.engine().arm(5, 0, 0);
        f.main->run(MainWindow::Command::RecordStart); // refused: the output is off
        QCOMPARE(f.prompter.texts,
                 QStringList{"Please setup Device into Auto Run mode and then try again!"});
        QCOMPARE(m.rowCount(), 4);

        f.session->reset();
        f.prompter.texts.clear(); // a shown box would read as a failed connection
        QVERIFY(f.start(model));  // a new table window on the same file
        QCOMPARE(f.table->model().rowCount(), 4);
        QCOMPARE((QStringList{f.table->startTimeBox()->text(), f.table->endTimeBox()->text(),
                              f.table->descriptionBox()->text()}),
                 (QStringList{start, end, "soak, bench 2"}));
        // Still unsaved: a new start asks before it throws the points away.
        f.prompter.answers = {Prompter::Answer::No};
        f.engine().arm(5, 0, 0);
        f.main->run(MainWindow::Command::RecordStart);
        QCOMPARE(f.prompter.texts, QStringList{"The current recording is not saved. Discard it?"});
        QVERIFY(!f.engine().timer().isActive());
        f.main->graphWindow()->timeLengthList()->setCurrentIndex(3); // saved with the record
        f.table->save();
        const RecordHeader saved = *f.store->record(QStringLiteral("1"));
        QCOMPARE(std::tuple(saved.startTime, saved.endTime, saved.showStyle),
                 std::tuple(start, end, QStringLiteral("3")));

        // A saved record, after a restart, is replaced on the next save.
        f.session->reset();
        f.prompter.texts.clear();
        QVERIFY(f.start(model));
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("1"));
        f.table->save();
        QCOMPARE(f.prompter.texts,
                 QStringList{"Do you replace existing data with current record?"});
        QCOMPARE(f.store->records().size(), 1);

        // Saved: a start asks nothing and begins a new record, and no load
        // mixes into it.
        f.prompter.texts.clear();
        f.main->showGraph();
        f.engine().arm(5, 0, 0);
        f.main->run(MainWindow::Command::RecordStart);
        QVERIFY(f.prompter.texts.isEmpty());
        QVERIFY(f.engine().timer().isActive());
        QCOMPARE(f.table->recordNumberBox()->text(), QString());
        f.table->openRecordList();
        f.main->graphWindow()->openLoadList();
        QCOMPARE(f.prompter.texts,
                 QStringList(2, "A recording is running. Stop it before loading a record."));
        QVERIFY(f.table->recordList()->isHidden());
        f.tick(1); // a point no record holds
        QCOMPARE(f.main->graphWindow()->plot(0)->data()->size(), 1);
        f.main->run(MainWindow::Command::RecordStop);
        f.prompter.texts.clear();
        f.table->openRecordList();
        f.prompter.answers = {Prompter::Answer::No};
        f.table->chooseRecord(0);
        QCOMPARE(f.prompter.texts, QStringList{"The current recording is not saved. Discard it?"});
        QCOMPARE(f.table->recordNumberBox()->text(), QString()); // nothing was loaded
        f.table->save();
        QCOMPARE(f.table->recordNumberBox()->text(), QStringLiteral("2"));
    }

    // With a lab database as the record store, the table window saves
    // there and lists every station's records, filtered as typed; a click
    // loads one back. While the server is away the points wait (said in the
    // status text), a save is refused with its reason and nothing is lost.
    void theLabDatabaseKeepsTheRecords() {
        PgServer server;
        QVERIFY2(server.error().isEmpty() && server.createDatabase(QStringLiteral("lab")),
                 qPrintable(server.error()));
        TableFixture f;
        QVERIFY(f.start());
        LabRecords lab(*f.session,
                       {true, server.address(QStringLiteral("lab")), QStringLiteral("bench-7")});
        QCOMPARE(lab.openNow(), std::nullopt);
        QCOMPARE(lab.statusText(), QStringLiteral("lab database"));
        f.record(3);
        f.main->run(MainWindow::Command::RecordStop);
        QTest::keyClicks(f.table->descriptionBox(), QStringLiteral("burn-in"));
        f.table->save();
        const QString number = f.table->recordNumberBox()->text();
        QVERIFY2(!number.isEmpty(), qPrintable(f.prompter.texts.join('\n')));
        QVERIFY(f.store->records().isEmpty()); // not in the local file

        f.table->openRecordList();
        QListWidget* list = f.table->recordList();
        QCOMPARE(list->count(), 1);
        QVERIFY2(list->item(0)->text().contains(QStringLiteral("burn-in")) &&
                     list->item(0)->text().endsWith(QStringLiteral("bench-7 / PSQ-3323")),
                 qPrintable(list->item(0)->text()));
        QLineEdit* filter = f.table->recordPicker()->filterBox();
        QTest::keyClicks(filter, QStringLiteral("..2020-01-01"));
        QCOMPARE(list->count(), 0);
        filter->clear();
        QTest::keyClicks(filter, QStringLiteral("bench-7"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(f.table->model().rowCount(), 3);
        f.store->clearWorking();
        f.table->refill();
        QCOMPARE(f.table->model().rowCount(), 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(f.table->model().rowCount(), 3);
        QCOMPARE(f.table->recordNumberBox()->text(), number);
        // Another record store: the list of this one's records closes.
        f.table->openRecordList();
        QVERIFY(f.table->recordPicker()->isVisibleTo(f.table));
        f.session->setRecordArchive(nullptr);
        QVERIFY(!f.table->recordPicker()->isVisibleTo(f.table));
        f.session->setRecordArchive(&lab.archive());

        QVERIFY(server.stop());
        f.prompter.answers = {Prompter::Answer::Yes};
        f.record(2);
        f.main->run(MainWindow::Command::RecordStop);
        QSignalSpy said(&lab, &LabRecords::statusChanged);
        lab.upload().sendNow();
        QVERIFY(said.wait(20000));
        QCOMPARE(said.back().front().toString(), QStringLiteral("lab database: 2 points waiting"));
        f.prompter.texts.clear();
        f.table->save();
        QCOMPARE(f.prompter.texts.size(), 2); // the question, then why not
        QVERIFY2(f.prompter.texts.back().startsWith(QStringLiteral("The lab database")),
                 qPrintable(f.prompter.texts.back()));
        QVERIFY(f.session->recording()->record().header().unsaved);
        QCOMPARE(f.store->workingCount(), 2);
    }

    // A link lost during a recording stops it before any box is shown, and
    // no point is made of old readings afterwards.
    void lostLinkStopsTheRecordingAtOnce() {
        TableFixture f;
        QVERIFY(f.start());
        f.engine().arm(3600, 0, 0);
        f.main->run(MainWindow::Command::RecordStart);
        f.engine().timer().setInterval(20);
        QTRY_VERIFY(f.table->model().rowCount() >= 2);
        bool recordingWhileShown = true;
        int rowsWhileShown = -1;
        int rowsAfterWaiting = -1;
        f.prompter.onAsk = [&] {
            if (rowsWhileShown >= 0)
                return;
            recordingWhileShown = f.engine().timer().isActive();
            rowsWhileShown = f.table->model().rowCount();
            QTest::qWait(200); // the user reads the box
            rowsAfterWaiting = f.table->model().rowCount();
        };
        const qsizetype storedBefore = f.store->workingCount().value_or(-1);
        f.factory.lastSerial->unplug();
        QTRY_VERIFY(!f.prompter.texts.isEmpty());
        QVERIFY(!recordingWhileShown);
        QCOMPARE(rowsAfterWaiting, rowsWhileShown);
        QVERIFY(f.store->workingCount().value_or(-1) <= storedBefore + 1);
    }
};

TRQ_TEST_MAIN(TestTableWindow)
#include "tst_tablewindow.moc"
