#include "core/debugtrace.h"
#include "support/testsupport.h"
#include "ui/tracewindow.h"

#include <QAbstractItemModelTester>
#include <QApplication>

using trq::DebugTrace;

namespace {

QStringList fileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestDebugTrace : public QObject {
    Q_OBJECT
private slots:
    void listIsBoundedAndFileKeepsEverything() {
        DebugTrace trace(QStringLiteral("bounded.txt"));
        for (int i = 1; i <= DebugTrace::kMaxLines - 1; ++i)
            trace.print(QString::number(i));
        QCOMPARE(trace.rowCount(), DebugTrace::kMaxLines - 1);
        trace.print(QStringLiteral("20001"));
        QCOMPARE(trace.rowCount(), 0);
        trace.print(QStringLiteral("20002"));
        QCOMPARE(trace.lines(), QStringList{QStringLiteral("20002")});

        trace.flush();
        const QStringList lines = fileLines(QStringLiteral("bounded.txt"));
        QCOMPARE(lines.size(), 20003);
        QCOMPARE(lines.first(), QStringLiteral("Version: 1.1.0"));
        QCOMPARE(lines.at(20001), QStringLiteral("20001"));
        QCOMPARE(lines.last(), QStringLiteral("20002"));
    }

    void listModelIsConsistent() {
        DebugTrace trace(QStringLiteral("model.txt"));
        QAbstractItemModelTester tester(&trace,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 50; ++i)
            trace.print(QString::number(i));
        QCOMPARE(trace.rowCount(), 50);
        QCOMPARE(trace.index(49, 0).data().toString(), QStringLiteral("49"));
    }

    void eachStartReplacesTheLog() {
        {
            DebugTrace first(QStringLiteral("DODaLog.txt"));
            first.print(QStringLiteral("first run"));
        }
        {
            DebugTrace second(QStringLiteral("DODaLog.txt"));
            second.print(QStringLiteral("second run"));
        }
        QCOMPARE(fileLines(QStringLiteral("DODaLog.txt")),
                 (QStringList{QStringLiteral("Version: 1.1.0"), QStringLiteral("second run")}));
    }

    // At the size limit the file starts again; the one before is kept, the
    // one before that dropped, and no line is lost across a rotation.
    void rotationKeepsTheCurrentAndOnePreviousFile() {
        DebugTrace trace(QStringLiteral("rotated.txt"));
        trace.setMaxLogBytes(1000);
        for (int i = 0; i < 300; ++i)
            trace.print(QStringLiteral("line %1").arg(i, 4, 10, QLatin1Char('0')));
        trace.flush();
        QCOMPARE(QFileInfo(trace.previousLogPath()).fileName(), QStringLiteral("rotated.1.txt"));
        const QStringList current = fileLines(QStringLiteral("rotated.txt"));
        const QStringList previous = fileLines(QStringLiteral("rotated.1.txt"));
        for (const QString& file : {QStringLiteral("rotated.txt"), QStringLiteral("rotated.1.txt")})
            QVERIFY(QFileInfo(file).size() <= 1000);
        QCOMPARE(current.value(0), QStringLiteral("Version: 1.1.0"));
        QCOMPARE(current.value(1), QStringLiteral("(continued from rotated.1.txt)"));
        QCOMPARE(current.last(), QStringLiteral("line 0299"));
        // The previous file ends where the current one goes on.
        const int firstCurrent = current.value(2).mid(5).toInt();
        QCOMPARE(previous.last(),
                 QStringLiteral("line %1").arg(firstCurrent - 1, 4, 10, QLatin1Char('0')));
        QCOMPARE(QDir::current().entryList({QStringLiteral("rotated*")}).size(), 2);
    }

    void logIsCurrentAfterOneEventLoopTurn() {
        DebugTrace trace(QStringLiteral("live.txt"));
        trace.print(QStringLiteral("tick"));
        QCoreApplication::processEvents();
        QCOMPARE(fileLines(QStringLiteral("live.txt")).last(), QStringLiteral("tick"));
    }

    void unwritableLogStillFillsTheList() {
        DebugTrace trace(QStringLiteral("no/such/folder/log.txt"));
        QVERIFY(!trace.isLogOpen());
        trace.print(QStringLiteral("kept"));
        QCOMPARE(trace.lines(), QStringList{QStringLiteral("kept")});
    }
};

TRQ_TEST_MAIN(TestDebugTrace)
#include "tst_debugtrace.moc"
